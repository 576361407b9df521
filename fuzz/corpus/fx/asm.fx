technique T { pass p { PixelShader = asm { ps_2_0 }; } }
