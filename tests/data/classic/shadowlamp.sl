/* Shadowed lamp: a point light that casts its own shadows, whatever the
 * shadow attribute says. */
light shadowlamp(float intensity = 1, samples = 1; color lightcolor = 1;
                 point from = point "shader" (0, 0, 0))
{
    illuminate(from) {
        Cl = intensity * lightcolor / (L . L) * areashadow(Ps, samples);
    }
}
