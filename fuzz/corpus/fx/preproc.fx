#include "common.fxh"
#define PI 3.14159
#define TWICE(x) ((x) * 2)
#if defined(FUZZ) && FUZZ > 0
float g_a = TWICE(PI);
#elif 0
float g_b;
#else
float g_c;
#endif
TEX(g_tex)
#undef PI
#line 40 "other.fx"
#pragma warning(disable: 3206)
float4 PS(float2 t : TEXCOORD0) : COLOR0 { return tex2D(g_texS, t) * g_a * g_common; }
technique T { pass p { PixelShader = compile ps_2_0 PS(); } }
