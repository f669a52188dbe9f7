/* Background: a colour behind everything that left the pixel open. */
imager background(color bgcolor = color (.2, .3, .4))
{
    Ci += (1 - alpha) * bgcolor;
    Oi = 1;
    alpha = 1;
}
