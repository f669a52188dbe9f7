/* A light with every light statement. */
light lights(float intensity = 1; color lightcolor = 1;
             point from = point "shader" (0, 0, 0); point to = point "shader" (0, 0, 1);
             float coneangle = radians(30); string __category = "spot";
             output float __nonspecular = 0)
{
    vector axis = normalize(to - from);
    illuminate(from)
        Cl = intensity * lightcolor / (L . L);
    illuminate(from, axis, coneangle) {
        float cosangle = (L . axis) / length(L);
        Cl = intensity * lightcolor * smoothstep(cos(coneangle), 1, cosangle);
    }
    solar()
        Cl = lightcolor;
    solar(axis, 0)
        Cl += intensity;
    Ol = 1;
}
