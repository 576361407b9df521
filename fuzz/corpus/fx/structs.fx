struct VS_OUT { float4 p : POSITION; };
cbuffer cb { float x; };
typedef float4 col;
static const float k[2] = {1, 2};
/* open comment
float a