/* Diffuse body in the surface colour with a highlight in its own colour. */
surface plastic(float Ka = 1, Kd = .5, Ks = .5, roughness = .1;
                color specularcolor = 1)
{
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);

    Oi = Os;
    Ci = Os * (Cs * (Ka * ambient() + Kd * diffuse(Nf))
               + specularcolor * Ks * specular(Nf, V, roughness));
}
