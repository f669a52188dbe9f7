/* Screen: a lattice of wires, opaque on the wires and open between them. */
surface screen(float Ka = 1, Kd = .75, Ks = .4, roughness = .1, density = .5, frequency = 4;
               color specularcolor = 1)
{
    normal Nf = faceforward(normalize(N), I);
    vector V = -normalize(I);
    if (mod(s * frequency, 1) < density || mod(t * frequency, 1) < density) {
        Oi = 1;
        Ci = Cs * (Ka * ambient() + Kd * diffuse(Nf)) + specularcolor * Ks * specular(Nf, V, roughness);
    } else {
        Oi = 0;
        Ci = 0;
    }
}
