transformation twist(float angle = 0.5)
{
    P = rotate(P, angle * zcomp(P), point (0, 0, 0), point (0, 0, 1));
}
