/* Marble: veins of turbulence across x, coloured through a spline from
 * white through grey-green to dark veins, with a polished highlight. */
#define OCTAVES 4

float turbulence(point p)
{
    float sum = 0, freq = 1, i;
    for (i = 0; i < OCTAVES; i += 1) {
        sum += abs(noise(p * freq) - .5) / freq;
        freq *= 2;
    }
    return sum;
}

surface marble(float Ka = 1, Kd = .7, Ks = .3, roughness = .1, veinfreq = 1.37, veinscale = 3)
{
    point PP = transform("shader", P) * veinfreq;
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    float x = xcomp(PP) + veinscale * turbulence(PP);
    float ch = .5 + .5 * sin(x * 3.14159265);
    color Ct = spline(ch, color (.9, .9, .88), color (.9, .9, .88), color (.7, .75, .7),
                      color (.45, .5, .45), color (.2, .22, .2), color (.2, .22, .2));

    Oi = Os;
    Ci = Os * (Ct * (Ka * ambient() + Kd * diffuse(Nf)) + Ks * specular(Nf, V, roughness));
}
