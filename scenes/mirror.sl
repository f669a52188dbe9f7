/* A mirror for the example scenes: what a reflected ray sees, plus a faint
   diffuse body and a highlight. */
surface mirror(float Ka = 0, Kd = 0, Ks = .5, Kr = 1, roughness = .05;
               color specularcolor = 1)
{
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    vector R = reflect(normalize(I), Nf);

    Oi = Os;
    Ci = Os * (Cs * (Ka * ambient() + Kd * diffuse(Nf))
               + specularcolor * (Ks * specular(Nf, V, roughness) + Kr * trace(P, R)));
}
