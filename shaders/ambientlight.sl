/* Light arriving equally from every direction. */
light ambientlight(float intensity = 1; color lightcolor = 1)
{
    Cl = intensity * lightcolor;
}
