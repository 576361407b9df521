//-----------------------------------------------------------------------------
// PP_ColorDownFilter4.fx - first link of the bloom chain: the colour target
// shrunk to a quarter of its width and height, each output pixel the mean
// of a 4 x 4 block of screen pixels.
//
//   g_txSceneColor  the running image, here the scene's colour target, read
//                   through texture set 0 (Tex), the whole target
//
// The pass annotations tell the chain to shrink its quad to a quarter in
// each direction: the result fills the top-left W/4 x H/4 of the target,
// and the following links work on that corner alone (a sixteenth of the
// pixels to blur).
//-----------------------------------------------------------------------------

texture g_txSrcColor;
texture g_txSrcNormal;
texture g_txSrcPosition;
texture g_txSceneColor;

// One texel of the target, (1/W, 1/H), at any screen size: the filter
// averages exact texels, and a quarter of the target is a quarter whatever
// its size.
float2 g_PixelSize;

sampler2D g_samSceneColor = sampler_state
{
    Texture   = <g_txSceneColor>;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    MipFilter = LINEAR;
    AddressU  = WRAP;
    AddressV  = WRAP;
};

// Output pixel (x, y) of the quarter quad samples at the corner shared by
// screen pixels 4x+1 and 4x+2 (and likewise in y); half-pixel and
// one-and-a-half-pixel steps from there land on the centres of screen
// pixels 4x .. 4x+3, so each tap reads one texel, unfiltered.
static const float2 kOffsets[16] =
{
    float2( 1.5f, -1.5f), float2( 1.5f, -0.5f), float2( 1.5f, 0.5f), float2( 1.5f, 1.5f),
    float2( 0.5f, -1.5f), float2( 0.5f, -0.5f), float2( 0.5f, 0.5f), float2( 0.5f, 1.5f),
    float2(-0.5f, -1.5f), float2(-0.5f, -0.5f), float2(-0.5f, 0.5f), float2(-0.5f, 1.5f),
    float2(-1.5f, -1.5f), float2(-1.5f, -0.5f), float2(-1.5f, 0.5f), float2(-1.5f, 1.5f),
};

float4 DownFilter(float2 Tex : TEXCOORD0) : COLOR0
{
    float4 vSum = 0.0f;
    for (int i = 0; i < 16; i++)
    {
        vSum += tex2D(g_samSceneColor, Tex + g_PixelSize * kOffsets[i]);
    }
    return vSum / 16.0f;
}

technique PostProcess
{
    pass p0 < float fScaleX = 0.25f; float fScaleY = 0.25f; >
    {
        VertexShader = null;
        PixelShader  = compile ps_2_0 DownFilter();
    }
}
