/* Plaid: stripes in s and in t of two colours, woven where they cross. */
surface plaid(float Ka = 1, Kd = 1, frequency = 4, stripewidth = .5;
              color warp = color (.6, .1, .1), weft = color (.1, .1, .5))
{
    normal Nf = faceforward(normalize(N), I);
    float across = step(stripewidth, mod(s * frequency, 1));
    float down = step(stripewidth, mod(t * frequency, 1));
    color Ct = mix(warp, weft, (across + down) / 2);

    Oi = Os;
    Ci = Os * Ct * (Ka * ambient() + Kd * diffuse(Nf));
}
