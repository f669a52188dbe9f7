/* Metal that also mirrors an environment map (looked up in world space). */
surface shinymetal(float Ka = 1, Ks = 1, Kr = 1, roughness = .1;
                   string texturename = "")
{
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    vector D = reflect(I, Nf);
    color env = 0;

    D = vtransform("world", D);
    if (texturename != "")
        env = color environment(texturename, D);
    Oi = Os;
    Ci = Os * Cs * (Ka * ambient() + Ks * (specular(Nf, V, roughness) + Kr * env));
}
