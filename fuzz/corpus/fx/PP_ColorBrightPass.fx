//-----------------------------------------------------------------------------
// PP_ColorBrightPass.fx - second link of the bloom chain: keeps only what is
// bright enough to glow, tone-mapped to at most a quarter.
//
//   g_txSceneColor  the running image, the quarter-size down-filtered
//                   colour, read through texture set 0 (Tex), which the
//                   chain points at that quarter; this pass writes the same
//                   quarter
//-----------------------------------------------------------------------------

texture g_txSrcColor;
texture g_txSrcNormal;
texture g_txSrcPosition;
texture g_txSceneColor;

float2 g_PixelSize;   // (1/W, 1/H); declared for the chain, unused here

// The scene's average luminance, as a tone mapper would measure it. The show
// never measures or sets it: the default fixes the exposure.
float g_Luminance = 0.06f;

static const float kMiddleGray   = 0.18f;  // the grey the average is mapped to
static const float kWhiteCutoff  = 0.8f;   // mapped value that reaches white
static const float kBrightOffset = 5.0f;   // what must be exceeded to glow
static const float kBrightScale  = 10.0f;  // where the glow saturates
static const float kGlowStrength = 0.25f;  // the strongest glow

sampler2D g_samSceneColor = sampler_state
{
    Texture   = <g_txSceneColor>;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    MipFilter = LINEAR;
    AddressU  = WRAP;
    AddressV  = WRAP;
};

// Component-wise on all four channels, alpha too: a background pixel
// (alpha 0) stays at alpha 0 and the alpha test keeps it out of the target.
float4 BrightPassFilter(float2 Tex : TEXCOORD0) : COLOR0
{
    float4 vColor = tex2D(g_samSceneColor, Tex);

    // Expose: middle grey / average luminance, about 2.95 with the default.
    vColor *= kMiddleGray / (g_Luminance + 0.001f);
    // Reinhard-style boost that lets values near the white cut-off grow.
    vColor *= (1.0f + (vColor / (kWhiteCutoff * kWhiteCutoff)));
    // Only what is left above the offset glows: an input of about 0.5074
    // reaches exactly the offset, anything at or below it gives 0.
    vColor -= kBrightOffset;
    vColor = max(vColor, 0.0f);
    // x / (10 + x): rises from 0 towards 1 without reaching it.
    vColor /= (kBrightScale + vColor);

    return vColor * kGlowStrength;
}

technique PostProcess
{
    pass p0
    {
        VertexShader = null;
        PixelShader  = compile ps_2_0 BrightPassFilter();
    }
}
