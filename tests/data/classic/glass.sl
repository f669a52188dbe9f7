/* Glass: the reflected and the refracted rays traced and weighted by the
 * Fresnel terms, with a small highlight. */
surface glass(float Ks = .5, Kr = 1, Kt = 1, roughness = .05, eta = 1.5; color transmitcolor = 1)
{
    normal Nf = faceforward(normalize(N), I);
    vector In = normalize(I), V = -In;
    float kr, kt;
    vector R, T;
    float ratio = (I . N < 0) ? 1 / eta : eta;
    fresnel(In, Nf, ratio, kr, kt, R, T);
    kt = 1 - kr;
    color reflected = trace(P, R);
    color refracted = trace(P, T);

    Oi = 1;
    Ci = Ks * specular(Nf, V, roughness) + Kr * kr * reflected + Kt * kt * transmitcolor * refracted;
}
