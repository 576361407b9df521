float4x4 m : WORLDVIEWPROJECTION;
row_major float3x4 r = float3x4(1,0,0,0, 0,1,0,0, 0,0,1,0);
vector<float, 4> v = 1.5e-3f;
matrix<float,4,4> w;
uniform const bool4 q = {true, false, TRUE, FALSE};
