/* Sky: light from everywhere, stronger in the sky's colour than in the
 * ground's, as an ambient light. */
light skylight(float intensity = 1, skyfraction = .75; color skycolor = color (.6, .7, 1),
               groundcolor = color (.3, .25, .2))
{
    Cl = intensity * mix(groundcolor, skycolor, skyfraction);
    L = 0;
}
