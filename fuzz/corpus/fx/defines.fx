#define A A
#define B(x) x
float a = A;
float b = B(1);
#define C 1 \
 + 2
float c = C;
