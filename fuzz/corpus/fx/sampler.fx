texture t < string ResourceName = "a.png"; int Width = 0x10; >;
sampler s = sampler_state { Texture = <t>; MipFilter = LINEAR; AddressU[0] = Clamp; };
string Desc = "x";
