r<
>w;