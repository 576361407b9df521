//-----------------------------------------------------------------------------
// PP_ColorCombine.fx - copies the scene's colour target, untouched.
//
// Loaded with the other filters; no chain of the show runs it. It stays a
// complete link, usable anywhere in a chain: it reads g_txSrcColor through
// texture set 0 (Tex), which is the whole target while the chain is at
// full size.
//-----------------------------------------------------------------------------

texture g_txSrcColor;
texture g_txSrcNormal;
texture g_txSrcPosition;
texture g_txSceneColor;

float2 g_PixelSize;   // (1/W, 1/H); declared for the chain, unused here

sampler2D g_samSrcColor = sampler_state
{
    Texture   = <g_txSrcColor>;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    MipFilter = LINEAR;
    AddressU  = WRAP;
    AddressV  = WRAP;
};

float4 Combine(float2 Tex : TEXCOORD0) : COLOR0
{
    return tex2D(g_samSrcColor, Tex);
}

technique PostProcess
{
    pass p0
    {
        VertexShader = null;
        PixelShader  = compile ps_2_0 Combine();
        ZEnable      = false;
    }
}
