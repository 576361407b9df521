//-----------------------------------------------------------------------------
// PP_SSAO.fx - screen-space ambient occlusion, first link of the tower's
// ambient-occlusion chain (render/post_process.h).
//
// For each pixel of geometry, count how many of 100 nearby pixels are at
// least as bright in red as the pixel itself: a pixel in a crease is darker
// than most of its surroundings, one on an open face is not. The count, as
// a fraction, scaled to 0 .. 0.75, is the pixel's openness; the next link
// multiplies the lit colour by it.
//
// Inputs: the chain binds every one of the four textures below to every
// link, so each file declares all four and uses what it needs.
//   g_txSceneColor  the chain's running image (here: the lit colour target)
//   g_txSrcPosition view x, y and view z / focal plane length; z >= 1 is
//                   background (the target is cleared to white)
// Texture set 0 (Tex) covers the region the previous link wrote: here the
// whole target.
//-----------------------------------------------------------------------------

texture g_txSrcColor;
texture g_txSrcNormal;
texture g_txSrcPosition;
texture g_txSceneColor;

float2 g_PixelSize;         // (1/W, 1/H); declared for the chain, unused here
// One design pixel (of 1024 x 768) in texture coordinates: the taps reach
// over the same part of the picture at any screen size.
float2 g_DesignPixelSize;

// The chain's own sampler defaults are clamp; these files wrap, so taps that
// fall off one edge read the other.
sampler2D g_samSceneColor = sampler_state
{
    Texture   = <g_txSceneColor>;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    MipFilter = LINEAR;
    AddressU  = WRAP;
    AddressV  = WRAP;
};

sampler2D g_samSrcPosition = sampler_state
{
    Texture   = <g_txSrcPosition>;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    MipFilter = LINEAR;
    AddressU  = WRAP;
    AddressV  = WRAP;
};

// Shader model 3: 100 dependent taps and a loop are past what ps_2_0 holds.
// The taps use tex2Dlod at level 0: the targets have one level, and an
// explicit level keeps the sampling well defined inside the branch, where
// screen-space derivatives are not.
float4 Filter(float2 Tex : TEXCOORD0) : COLOR0
{
    float p = tex2Dlod(g_samSceneColor, float4(Tex, 0.0f, 0.0f)).r;
    float z = tex2Dlod(g_samSrcPosition, float4(Tex, 0.0f, 0.0f)).z;

    // Background (z = 1 after the clear) and pixels already at full red come
    // out white: nothing to darken.
    if (z < 1.0f && p < 1.0f)
    {
        float o = 0.0f;
        // Ten by ten taps two design pixels apart, -10 .. 8 in both directions: not
        // centred on the pixel, and the pixel itself is one of them. The
        // radius grows from 1x at z = 0 to 2x at z = -1, the far plane.
        for (float x = -10.0f; x < 10.0f; x += 2.0f)
        {
            for (float y = -10.0f; y < 10.0f; y += 2.0f)
            {
                float2 vOffset = float2(x * g_DesignPixelSize.x, y * g_DesignPixelSize.y) * (1.0f - z);
                float s = tex2Dlod(g_samSceneColor, float4(Tex + vOffset, 0.0f, 0.0f)).r;
                if (s >= p)
                    o += 0.01f;
            }
        }
        // Never fully open: a quarter of the light is always taken.
        o *= 0.75f;
        return float4(o, o, o, 1.0f);
    }
    return float4(1.0f, 1.0f, 1.0f, 1.0f);
}

technique PostProcess
{
    pass p0
    {
        VertexShader = null;
        PixelShader  = compile ps_3_0 Filter();
        // A full-screen filter: the scene's depth must not hide any of it.
        ZEnable      = false;
    }
}
