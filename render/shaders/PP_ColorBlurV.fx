//-----------------------------------------------------------------------------
// PP_ColorBlurV.fx - vertical half of a separable Gaussian blur, third link of
// the bloom chain (after PP_ColorBrightPass.fx); PP_ColorBlurH.fx is the other half.
//
//   g_txSceneColor  the running image, read through texture set 0 (Tex),
//                   which the chain points at the quarter-size region the
//                   previous link wrote; this pass writes the same region
//
// Offsets are whole design pixels (1024 x 768) of the target, so at quarter
// size every tap lands on a texel centre of the small image and the linear
// filter adds nothing. At 2048 x 1536 a design pixel is two texels: the taps
// reach as far over the picture as at 1024 x 768, every other texel.
//-----------------------------------------------------------------------------

texture g_txSrcColor;
texture g_txSrcNormal;
texture g_txSrcPosition;
texture g_txSceneColor;

float2 g_PixelSize;         // (1/W, 1/H); declared for the chain, unused here
float2 g_DesignPixelSize;   // one design pixel in texture coordinates, (1/1024, 1/768)

// Wrap, as every filter of the chains: taps past the quarter region read
// the cleared rest of the target (0), past the target's edge its far side,
// which is cleared too.
sampler2D g_samSceneColor = sampler_state
{
    Texture   = <g_txSceneColor>;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    MipFilter = LINEAR;
    AddressU  = WRAP;
    AddressV  = WRAP;
};

// 13 taps, offset k = -6 .. 6 design pixels, x: offset, y: weight. The weights are
// the normal density with standard deviation 2 (one pixel of the quarter
// image is four screen pixels, so the glow spreads about 8 screen pixels
// each way), rounded to six decimals. They sum to 0.998975, not 1: a flat
// image loses a tenth of a per cent per pass, which nobody sees.
static const float2 kTaps[13] =
{
    float2(-6.0f, 0.002216f),
    float2(-5.0f, 0.008764f),
    float2(-4.0f, 0.026995f),
    float2(-3.0f, 0.064759f),
    float2(-2.0f, 0.120985f),
    float2(-1.0f, 0.176033f),
    float2( 0.0f, 0.199471f),
    float2( 1.0f, 0.176033f),
    float2( 2.0f, 0.120985f),
    float2( 3.0f, 0.064759f),
    float2( 4.0f, 0.026995f),
    float2( 5.0f, 0.008764f),
    float2( 6.0f, 0.002216f),
};

float4 PostProcessPS(float2 Tex : TEXCOORD0) : COLOR0
{
    float4 vColor = 0.0f;
    for (int i = 0; i < 13; i++)
    {
        vColor += kTaps[i].y * tex2D(g_samSceneColor, Tex + float2(0.0f, kTaps[i].x) * g_DesignPixelSize);
    }
    return vColor;
}

technique PostProcess
{
    pass p0
    {
        VertexShader = null;
        PixelShader  = compile ps_2_0 PostProcessPS();
        // The glow must not be cut by the mesh's depth.
        ZEnable      = false;
    }
}
