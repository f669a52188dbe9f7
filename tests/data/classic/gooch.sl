/* Gooch tones: cool where the surface turns from the light, warm where it
 * faces it, blended by the diffuse term. */
surface gooch(color cool = color (0, 0, .55), warm = color (.6, .6, 0); float alpha = .25, beta = .5)
{
    normal Nf = faceforward(normalize(N), I);
    color Ct = 0;
    illuminance(P, Nf, 3.1415926) {
        float k = (1 + (normalize(L) . Nf)) / 2;
        Ct += mix(cool + alpha * Cs, warm + beta * Cs, k);
    }
    Oi = Os;
    Ci = Os * Ct;
}
