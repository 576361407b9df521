float a[0] = 1;
float b[ = 2;
