/* Flat colour: the surface colour at its own opacity, no lighting. */
surface constant()
{
    Oi = Os;
    Ci = Os * Cs;
}
