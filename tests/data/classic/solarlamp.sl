/* Sun: parallel light from a direction given as an elevation and an
 * azimuth, in degrees, about the light's z axis. */
light solarlamp(float intensity = 1, elevation = 90, azimuth = 0; color lightcolor = 1)
{
    float e = radians(elevation), a = radians(azimuth);
    vector towards = vector (cos(e) * cos(a), cos(e) * sin(a), sin(e));
    solar(-towards, 0) {
        Cl = intensity * lightcolor;
    }
}
