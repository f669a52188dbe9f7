// Log gamma and the regularised incomplete gamma function, which set the
// variance thresholds of adaptive pixel sampling. Invalid arguments and
// non-convergence print their message on standard error and answer NaN.
#pragma once

// ln(gamma(x)) for x > 0 (Lanczos series).
float gammln(float x);
// P(a, x) by its series; for x < a + 1.
float gser(float a, float x);
// Q(a, x) by its continued fraction; for x >= a + 1.
float gcf(float a, float x);
// Q(a, x) = 1 - P(a, x); needs x >= 0 and a > 0.
float gammq(float a, float x);
