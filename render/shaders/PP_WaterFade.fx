//-----------------------------------------------------------------------------
// PP_WaterFade.fx - a picture seen through moving water: the intro and exit
// screens (fx2d/intro_screens.cpp) fade their pictures in and out with it.
//
//   g_txSrcColor   the picture, drawn as one quad over the screen
//   g_txSrcNormal  a tiling normal map of small waves; red and green hold
//                  the slope, 0.5 meaning flat
//   g_UV1Offset,   where the two samples of the normal map are taken,
//   g_UV2Offset    scrolled over time in different directions so the
//                  ripples never settle into one pattern
//   g_UVScale      how far the waves bend the picture, in texture widths:
//                  1 at the start of a fade, 0 when fully shown
//   g_Alpha        the picture's coverage, 0 .. 1
//   g_PixelSize    set by the 2D layer for every filter; not read here
//   g_TextureSize, the picture's size in texels and screen pixels per
//   g_TexelScale   texel, set by the 2D layer when the screen is larger than
//                  1024 x 768: the picture is then enlarged sharp, as 2d.fx
//                  draws pictures (each texel a block of pixels, one soft
//                  pixel between two), so that a one-texel line is one
//                  design pixel wide at any size. Scale 0, the default:
//                  plain bilinear, as at 1024 x 768
//
// Both samplers wrap: the scrolled normal map repeats without end, and a
// picture bent past its edge shows its other side rather than a smear.
//-----------------------------------------------------------------------------

texture g_txSrcColor;
texture g_txSrcNormal;

float  g_Alpha = 1.0f;
float  g_UVScale = 0.0f;
float2 g_UV1Offset = float2(0.0f, 0.0f);
float2 g_UV2Offset = float2(0.0f, 0.0f);
float2 g_PixelSize;
float2 g_TextureSize = float2(1.0f, 1.0f);
float2 g_TexelScale = float2(0.0f, 0.0f);

sampler2D g_samSrcColor = sampler_state
{
    Texture   = <g_txSrcColor>;
    MipFilter = LINEAR;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    AddressU  = WRAP;
    AddressV  = WRAP;
};

sampler2D g_samSrcNormal = sampler_state
{
    Texture   = <g_txSrcNormal>;
    MipFilter = LINEAR;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    AddressU  = WRAP;
    AddressV  = WRAP;
};

float4 Filter(float2 Tex : TEXCOORD0) : COLOR0
{
    // Two slopes summed lie in 0 .. 2 per component; minus one centres
    // them on "flat", so the picture moves either way by up to g_UVScale.
    float2 vBend = tex2D(g_samSrcNormal, Tex + g_UV1Offset).rg
                 + tex2D(g_samSrcNormal, Tex + g_UV2Offset).rg;
    vBend = (vBend - float2(1.0f, 1.0f)) * g_UVScale;

    float2 vUV = Tex + vBend;
    if (g_TexelScale.x > 0.0f)
    {
        // 2d.fx's PS_PosColTexSharp, on the bent coordinate.
        float2 vTexel = vUV * g_TextureSize;
        float2 vFromCentre = frac(vTexel) - 0.5f;
        float2 vInner = 0.5f - 0.5f / g_TexelScale;
        float2 vShift = (vFromCentre - clamp(vFromCentre, -vInner, vInner)) * g_TexelScale;
        vUV = (floor(vTexel) + 0.5f + vShift) / g_TextureSize;
    }
    float4 vColor = tex2D(g_samSrcColor, vUV);
    vColor.a = g_Alpha;
    return vColor;
}

technique PostProcess
{
    pass p0
    {
        VertexShader = null;
        PixelShader  = compile ps_3_0 Filter();
        ZEnable      = false;
    }
}
