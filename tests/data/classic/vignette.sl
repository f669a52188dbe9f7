/* Vignette: darkens the picture towards its corners; the frame's size
 * comes from the "Format" option. */
imager vignette(float strength = 1)
{
    uniform float format[3];
    option("Format", format);
    float x = xcomp(P) / format[0] - .5, y = ycomp(P) / format[1] - .5;
    float fade = clamp(1 - strength * 2 * (x * x + y * y), 0, 1);
    Ci *= fade;
}
