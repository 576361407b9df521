float a = (1 + 2) * -(3 / 4) - +5;
float b = ((((((((1))))))));
float c = {{{{1}}}};
float d = float4(1,2,3,4,);
