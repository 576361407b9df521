//-----------------------------------------------------------------------------
// PP_ColorCombine4.fx - last link of the bloom chain: the quarter-size glow,
// enlarged back to the whole target, times the sharp colour.
//
//   g_txSceneColor  the running image: the blurred bright pass in the
//                   top-left quarter, read through texture set 0 (Tex),
//                   which the chain points at that quarter
//   g_txSrcColor    the scene's colour target through set 1 (Tex2), whole
//
// The pass annotations tell the chain to grow the quad by 4 in each
// direction, so it writes the whole target again and the chain ends at
// full size, as the present step needs.
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

// Component-wise on all four channels: the glow shows only where the sharp
// image has colour, and its alpha carries the colour target's alpha, 0
// outside the mesh, where the alpha test then keeps the pixel cleared.
float4 Combine(float2 Tex : TEXCOORD0, float2 Tex2 : TEXCOORD1) : COLOR0
{
    return tex2D(g_samSceneColor, Tex) * tex2D(g_samSrcColor, Tex2);
}

technique PostProcess
{
    pass p0 < float fScaleX = 4.0f; float fScaleY = 4.0f; >
    {
        VertexShader = null;
        PixelShader  = compile ps_2_0 Combine();
    }
}
