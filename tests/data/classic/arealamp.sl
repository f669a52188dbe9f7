/* Area lamp: every point of the light's surface radiates from its front
 * side, with the cosine at the emitter and the square of distance. */
light arealamp(float intensity = 1; color lightcolor = 1)
{
    illuminate(P, N, 1.5707963) {
        Cl = intensity * lightcolor * (normalize(L) . normalize(N)) / (L . L);
    }
}
