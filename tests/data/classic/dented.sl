/* Dents: the surface pushed in by a fractal of noise. */
displacement dented(float Km = 2, scale = 2.37)
{
    point PP = transform("shader", P) * scale;
    float size = 1, magnitude = 0, i;
    for (i = 0; i < 5; i += 1) {
        magnitude += abs(.5 - noise(PP * size)) / size;
        size *= 2.1;
    }
    P -= Km * magnitude * normalize(N);
    N = calculatenormal(P);
}
