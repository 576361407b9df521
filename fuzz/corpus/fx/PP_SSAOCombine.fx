//-----------------------------------------------------------------------------
// PP_SSAOCombine.fx - second link of the ambient-occlusion chain: the
// occlusion term times the lit colour.
//
//   g_txSceneColor  the running image: the occlusion term of PP_SSAO.fx,
//                   grey, read through texture set 0 (Tex)
//   g_txSrcColor    the scene's lit colour target, read through set 1
//                   (Tex2), which always spans the whole target
//-----------------------------------------------------------------------------

texture g_txSrcColor;
texture g_txSrcNormal;
texture g_txSrcPosition;
texture g_txSceneColor;

float2 g_PixelSize;   // (1/W, 1/H); declared for the chain, unused here

sampler2D g_samSceneColor = sampler_state
{
    Texture   = <g_txSceneColor>;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    MipFilter = LINEAR;
    AddressU  = WRAP;
    AddressV  = WRAP;
};

sampler2D g_samSrcColor = sampler_state
{
    Texture   = <g_txSrcColor>;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    MipFilter = LINEAR;
    AddressU  = WRAP;
    AddressV  = WRAP;
};

// The whole running image, alpha included, scaled by one number: the red
// channel of the lit colour. The occlusion term is opaque grey, so the
// result's alpha is that red too: background (white in both) stays white
// and opaque, while the tower, a few tenths red, is blended over the back
// buffer by the present step as well as darkened.
float4 Combine(float2 Tex : TEXCOORD0, float2 Tex2 : TEXCOORD1) : COLOR0
{
    return tex2D(g_samSceneColor, Tex) * tex2D(g_samSrcColor, Tex2).r;
}

technique PostProcess
{
    pass p0
    {
        VertexShader = null;
        PixelShader  = compile ps_2_0 Combine();
    }
}
