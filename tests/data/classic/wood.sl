/* Wood: growth rings around the y axis of shader space, the radius wobbled
 * by noise so that the rings wander, light early wood and dark late wood. */
surface wood(float Ka = 1, Kd = .8, ringscale = 4.3, wobble = .25;
             color lightwood = color (.69, .44, .25), darkwood = color (.35, .22, .08))
{
    point PP = transform("shader", P);
    normal Nf = faceforward(normalize(N), I);
    float x = xcomp(PP), z = zcomp(PP);
    float r = sqrt(x * x + z * z) * ringscale;
    r += wobble * noise(PP * 1.7);
    r = mod(r, 1);
    /* sharp edge where the late wood ends, soft where it begins */
    float late = smoothstep(0, .7, r) - smoothstep(.85, 1, r);
    color Ct = mix(lightwood, darkwood, late);

    Oi = Os;
    Ci = Os * Ct * (Ka * ambient() + Kd * diffuse(Nf));
}
