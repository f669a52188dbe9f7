/* Granite: a sum of the absolute deviations of noise over many octaves,
 * speckles of every size. */
surface granite(float Ka = .2, Kd = .8, scale = 2.37)
{
    point PP = transform("shader", P) * scale;
    normal Nf = faceforward(normalize(N), I);
    float sum = 0, freq = 1, i;
    for (i = 0; i < 6; i += 1) {
        sum += abs(.5 - noise(4 * freq * PP)) / freq;
        freq *= 2;
    }
    Oi = Os;
    Ci = Os * Cs * sum * (Ka * ambient() + Kd * diffuse(Nf));
}
