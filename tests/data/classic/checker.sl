/* Checker: squares of two colours alternating in s and t. */
surface checker(float Ka = 1, Kd = 1, frequency = 4; color blackcolor = color (.05, .05, .05))
{
    normal Nf = faceforward(normalize(N), I);
    float odd = mod(floor(s * frequency) + floor(t * frequency), 2);
    color Ct = mix(Cs, blackcolor, odd);

    Oi = Os;
    Ci = Os * Ct * (Ka * ambient() + Kd * diffuse(Nf));
}
