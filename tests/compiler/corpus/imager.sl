imager background(color bgcolor = color (0.1, 0.1, 0.2))
{
    Ci += (1 - alpha) * bgcolor;
    Oi = 1;
    alpha = 1;
}
