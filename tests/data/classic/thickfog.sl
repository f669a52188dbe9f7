/* Fog: the light along the ray decays exponentially with distance and the
 * fog's own colour takes its place. */
volume thickfog(float distance = 4; color fogcolor = color (.5, .5, .6))
{
    float transmit = exp(-length(I) / distance);
    Ci = mix(fogcolor, Ci, transmit);
    Oi = mix(color (1, 1, 1), Oi, transmit);
}
