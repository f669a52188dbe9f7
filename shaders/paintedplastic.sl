/* Plastic whose diffuse colour is multiplied by a texture map over (s, t). */
surface paintedplastic(float Ka = 1, Kd = .5, Ks = .5, roughness = .1;
                       color specularcolor = 1; string texturename = "")
{
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    color paint = 1;

    if (texturename != "")
        paint = color texture(texturename);
    Oi = Os;
    Ci = Os * (Cs * paint * (Ka * ambient() + Kd * diffuse(Nf))
               + specularcolor * Ks * specular(Nf, V, roughness));
}
