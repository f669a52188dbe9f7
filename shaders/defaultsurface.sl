/* Bound when a scene names no surface: lit as if by a light at the eye. */
surface defaultsurface(float Kd = .8, Ka = .2)
{
    float d = normalize(I) . normalize(N);

    Oi = Os;
    Ci = Os * Cs * (Ka + Kd * d * d);
}
