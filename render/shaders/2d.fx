//-----------------------------------------------------------------------------
// 2d.fx - the flat quads of the 2D layer (fx2d/draw2d.cpp): plain colour,
// and texture times colour in two flavours.
//
// Space: g_OrthogonalMatrix takes pixel coordinates (origin top left, y
// down) to clip space. The 2D layer itself draws pre-transformed (POSITIONT)
// vertices, which skip the vertex shaders below altogether, so both ways
// put vertex (x, y) at back-buffer pixel (x, y).
//-----------------------------------------------------------------------------

texture  g_Texture;
float4x4 g_OrthogonalMatrix;

// Linear everywhere, and clamped: a picture drawn at its own size samples
// texel centres (the 2D layer rounds its corners to half pixels), and
// coordinates past the edge repeat the edge rather than wrap.
sampler texSampler0 = sampler_state
{
    Texture   = <g_Texture>;
    MipFilter = LINEAR;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
    AddressU  = CLAMP;
    AddressV  = CLAMP;
};

struct VS_OUTPUT_POSCOL
{
    float4 Position : POSITION;
    float4 Color    : COLOR0;
};

struct VS_OUTPUT_POSCOLTEX
{
    float4 Position : POSITION;
    float4 Color    : COLOR0;
    float2 TexCoord : TEXCOORD0;
};

VS_OUTPUT_POSCOL VS_PosCol(float4 Position : POSITION, float4 Color : COLOR0)
{
    VS_OUTPUT_POSCOL Out;
    Out.Position = mul(Position, g_OrthogonalMatrix);
    Out.Color    = Color;
    return Out;
}

float4 PS_PosCol(float4 Color : COLOR0) : COLOR0
{
    return Color;
}

VS_OUTPUT_POSCOLTEX VS_PosColTex(float4 Position : POSITION, float4 Color : COLOR0, float2 TexCoord : TEXCOORD0)
{
    VS_OUTPUT_POSCOLTEX Out;
    Out.Position = mul(Position, g_OrthogonalMatrix);
    Out.Color    = Color;
    Out.TexCoord = TexCoord;
    return Out;
}

float4 PS_PosColTex(float4 Color : COLOR0, float2 TexCoord : TEXCOORD0) : COLOR0
{
    return tex2D(texSampler0, TexCoord) * Color;
}

// A picture enlarged by the screen's scale (2048 x 1536 draws every design
// pixel as 2 x 2): each texel fills its own block of pixels and only the
// pixel that straddles two texels mixes them, over one screen pixel. Plain
// bilinear enlargement would smear a one-texel line over three or four
// pixels at half its strength; here it stays a line one design pixel wide
// (two pixels at 2x, exactly the 1x picture's pixels doubled) and at
// fractional scales (1440 x 1080) gets one soft edge pixel instead of
// jagged 1-or-2-pixel steps.
//   g_TextureSize  the picture's size in texels
//   g_TexelScale   screen pixels per texel, each at least 1 (the 2D layer
//                  uses this technique only when enlarging)
float2 g_TextureSize = float2(1.0f, 1.0f);
float2 g_TexelScale = float2(1.0f, 1.0f);

float4 PS_PosColTexSharp(float4 Color : COLOR0, float2 TexCoord : TEXCOORD0) : COLOR0
{
    float2 vTexel = TexCoord * g_TextureSize;
    float2 vFloor = floor(vTexel);
    // Distance from the texel's centre; within 0.5 - 0.5 / scale of it a
    // pixel sees the texel alone, beyond it the blend to the neighbour runs
    // over the last half screen pixel on each side.
    float2 vFromCentre = frac(vTexel) - 0.5f;
    float2 vInner = 0.5f - 0.5f / g_TexelScale;
    float2 vShift = (vFromCentre - clamp(vFromCentre, -vInner, vInner)) * g_TexelScale;
    return tex2D(texSampler0, (vFloor + 0.5f + vShift) / g_TextureSize) * Color;
}

// For pictures whose brightness is their shape (white ink on black): the
// ink's mean brightness becomes its coverage, scaled by the colour's alpha.
float4 PS_PosColTexAlpha(float4 Color : COLOR0, float2 TexCoord : TEXCOORD0) : COLOR0
{
    float4 Result = tex2D(texSampler0, TexCoord) * Color;
    Result.a = Color.a * ((Result.r + Result.g + Result.b) / 3.0f);
    return Result;
}

technique PosCol2D
{
    pass Single_Pass
    {
        VertexShader = compile vs_2_0 VS_PosCol();
        PixelShader  = compile ps_2_0 PS_PosCol();
    }
}

technique PosColTex2D
{
    pass Single_Pass
    {
        VertexShader = compile vs_2_0 VS_PosColTex();
        PixelShader  = compile ps_2_0 PS_PosColTex();
    }
}

technique PosColTex2DSharp
{
    pass Single_Pass
    {
        VertexShader = compile vs_2_0 VS_PosColTex();
        PixelShader  = compile ps_2_0 PS_PosColTexSharp();
    }
}

technique PosColTex2DAlpha
{
    pass Single_Pass
    {
        VertexShader = compile vs_2_0 VS_PosColTex();
        PixelShader  = compile ps_2_0 PS_PosColTexAlpha();
    }
}
