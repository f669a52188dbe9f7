/* Brick: staggered courses of bricks in s and t with mortar between. */
surface brick(float Ka = 1, Kd = 1, brickwidth = .375, brickheight = .1875, mortar = .125;
              color brickcolor = color (.6, .2, .15), mortarcolor = color (.5, .5, .5))
{
    normal Nf = faceforward(normalize(N), I);
    float bw = brickwidth + mortar, bh = brickheight + mortar;
    float ss = s / bw, tt = t / bh;
    /* every other course is shifted by half a brick */
    if (mod(tt * .5, 1) >= .5)
        ss += .5;
    ss -= floor(ss);
    tt -= floor(tt);
    float mw = .5 * mortar / bw, mh = .5 * mortar / bh;
    float inside = (step(mw, ss) - step(1 - mw, ss)) * (step(mh, tt) - step(1 - mh, tt));
    color Ct = mix(mortarcolor, brickcolor, inside);

    Oi = Os;
    Ci = Os * Ct * (Ka * ambient() + Kd * diffuse(Nf));
}
