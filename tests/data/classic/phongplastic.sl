/* Plastic with a Phong highlight in the light's colour. */
surface phongplastic(float Ka = 1, Kd = .6, Ks = .4, size = 20; color specularcolor = 1)
{
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    Oi = Os;
    Ci = Os * (Cs * (Ka * ambient() + Kd * diffuse(Nf)) + specularcolor * Ks * phong(Nf, V, size));
}
