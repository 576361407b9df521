float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return 1; }
technique T < bool b = true; > { pass { PixelShader = compile ps_2_0 PS(); VertexShader = NULL; ZEnable = FALSE; } pass p1 {} };
