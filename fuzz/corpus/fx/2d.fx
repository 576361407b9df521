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

technique PosColTex2DAlpha
{
    pass Single_Pass
    {
        VertexShader = compile vs_2_0 VS_PosColTex();
        PixelShader  = compile ps_2_0 PS_PosColTexAlpha();
    }
}
