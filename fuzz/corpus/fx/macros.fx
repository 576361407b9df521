#define N 4
#define HALF (1.0 / 2)
float a[N] = {HALF, 2, 3, -N};
float2 b[2][2] = {{1,2},{3,4},{5,6},{7,8}};
