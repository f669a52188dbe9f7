/* Moves the surface along its normal by a texture map's value. */
displacement bumpy(float Km = 1; string texturename = "")
{
    float amp = 0;

    if (texturename != "")
        amp = Km * float texture(texturename, s, t);
    P += amp * normalize(N);
    N = calculatenormal(P);
}
