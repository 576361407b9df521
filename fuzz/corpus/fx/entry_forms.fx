static const int N = 2;
float2 g_aOffs[N * 2] = { {-1, -1}, {1, -1}, {-1, 1}, {1, 1}, };
void VS(float3 p : POSITION, uniform float s, out float4 o : POSITION, out float f : FOG) { o = float4(p * s, 1); f = s; }
float4 PS(float2 v : VPOS, float face : VFACE, uniform float3 c) : COLOR0 { return float4(c * face, v.x); }
technique T { pass p { VertexShader = compile vs_2_0 VS(0.5 * N); PixelShader = compile ps_3_0 PS(float3(1, 0, 0)); } }
