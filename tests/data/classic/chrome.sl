/* Chrome: a mirror whose reflection is traced, tinted by the surface colour. */
surface chrome(float Kr = 1, Ks = 0, roughness = .05)
{
    normal Nf = faceforward(normalize(N), I);
    vector In = normalize(I);
    Oi = 1;
    Ci = Cs * (Kr * trace(P, reflect(In, Nf)) + Ks * specular(Nf, -In, roughness));
}
