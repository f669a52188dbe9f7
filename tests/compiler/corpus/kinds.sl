/* The other shader kinds: one file each is the rule, so this one holds a
   displacement; the volume, imager and transformation kinds are below. */
displacement kinds(float Km = .1)
{
    float amp = Km * noise(P * 4);
    P += amp * normalize(N);
    N = calculatenormal(P);
}
