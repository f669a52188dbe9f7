/* Toon: light quantised into flat bands. Lights too dim to matter are
 * skipped, and once a point is saturated no further light is asked. */
surface toon(float threshold = .1, bands = 10)
{
    normal Nf = faceforward(normalize(N), I);
    float lit = 0;
    illuminance(P, Nf, 1.5707963) {
        float contribution = (normalize(L) . Nf) * comp(Cl, 0);
        if (contribution < threshold)
            continue;
        lit += contribution;
        if (lit >= 1)
            break;
    }
    Oi = Os;
    Ci = Os * Cs * floor(lit * bands + .5) / bands;
}
