/* Ripples: rings spreading from a centre in shader space, moving the
 * surface along its normal. */
displacement ripple(float Km = .15, wavelength = 2; point centre = point "shader" (4, 4, 0))
{
    float r = distance(transform("shader", P), centre);
    P += Km * sin(r * 6.2831853 / wavelength) * normalize(N);
    N = calculatenormal(P);
}
