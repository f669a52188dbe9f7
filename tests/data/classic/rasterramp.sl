/* Raster ramp: red rises across the frame and green up it, whatever the
 * resolution; the frame's size comes from the "Format" option. */
surface rasterramp()
{
    uniform float format[3];
    color Ct = color (1, 0, 1);
    if (option("Format", format) != 0) {
        point raster = transform("raster", P);
        Ct = color (xcomp(raster) / format[0], 1 - ycomp(raster) / format[1], format[2] / 4);
    }
    Oi = 1;
    Ci = Ct;
}
