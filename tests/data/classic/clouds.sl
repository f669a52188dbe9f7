/* Clouds: fractal noise over a blue sky, white where the sum is high. */
surface clouds(float octaves = 5, scale = .53, coverage = -.2, density = .6;
               color skycolor = color (.15, .3, .8), cloudcolor = color (1, 1, 1))
{
    point PP = transform("shader", P) * scale;
    float sum = 0, amp = 1, freq = 1, i;
    for (i = 0; i < octaves; i += 1) {
        sum += amp * (2 * noise(PP * freq) - 1);
        amp *= .5;
        freq *= 2.03;
    }
    Oi = 1;
    Ci = mix(skycolor, cloudcolor, smoothstep(coverage, density, sum));
}
