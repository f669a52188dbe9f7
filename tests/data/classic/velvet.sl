/* Velvet: a sheen scattered back towards the light and a brighter rim
 * where the surface turns away from the viewer. */
surface velvet(float Ka = .05, Kd = .1, backscatter = .1, edginess = 10, roughness = .1;
               color sheen = .25)
{
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    color shiny = 0;
    illuminance(P, Nf, 1.5707963) {
        vector Ln = normalize(L);
        float cosine = max(Ln . V, 0);
        shiny += pow(cosine, 1 / roughness) * backscatter * Cl * sheen;
        cosine = max(Nf . V, 0);
        float sine = sqrt(1 - cosine * cosine);
        shiny += pow(sine, edginess) * (Ln . Nf) * Cl * sheen;
    }
    Oi = Os;
    Ci = Os * (Cs * (Ka * ambient() + Kd * diffuse(Nf)) + shiny);
}
