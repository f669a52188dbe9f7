/* Spot lamp: a point light inside a cone whose edge fades between two
 * angles, falling off with the square of distance. */
light spotlamp(float intensity = 1; color lightcolor = 1;
               point from = point "shader" (0, 0, 0), to = point "shader" (0, 0, 1);
               float coneangle = .5, penumbra = .1)
{
    uniform vector axis = normalize(to - from);
    illuminate(from, axis, coneangle) {
        float cosangle = (L . axis) / length(L);
        float edge = smoothstep(cos(coneangle), cos(coneangle - penumbra), cosangle);
        Cl = edge * intensity * lightcolor / (L . L);
    }
}
