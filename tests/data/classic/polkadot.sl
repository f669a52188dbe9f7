/* Polka dots: a disc in the middle of every cell of an s-t grid. */
surface polkadot(float Ka = 1, Kd = 1, frequency = 2, radius = .3;
                 color dotcolor = color (1, .8, 0))
{
    normal Nf = faceforward(normalize(N), I);
    float ss = mod(s * frequency, 1) - .5, tt = mod(t * frequency, 1) - .5;
    float indot = 1 - step(radius, sqrt(ss * ss + tt * tt));
    color Ct = mix(Cs, dotcolor, indot);

    Oi = Os;
    Ci = Os * Ct * (Ka * ambient() + Kd * diffuse(Nf));
}
