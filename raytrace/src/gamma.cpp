// Incomplete gamma function by series or continued fraction, whichever
// converges faster for the arguments.
#include "raytrace/gamma.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace {

const int ITMAX = 100;
const double EPS = 3.0e-7;

// Reports and answers NaN, which no caller can take for a probability.
float fail(const char *message)
{
    std::fputs(message, stderr);
    std::fflush(stderr);
    return std::numeric_limits<float>::quiet_NaN();
}

} // namespace

float gammln(float xx)
{
    static const double cof[6] = {76.18009173, -86.50532033, 24.01409822,
                                  -1.231739516, 0.120858003e-2, -0.536382e-5};
    double x = double(xx) - 1.0;
    double tmp = x + 5.5;
    tmp -= (x + 0.5) * std::log(tmp);
    double ser = 1.0;
    for (int j = 0; j < 6; ++j) {
        x += 1.0;
        ser += cof[j] / x;
    }
    return float(-tmp + std::log(2.50662827465 * ser));
}

float gser(float a, float x)
{
    if (x <= 0.0f) {
        if (x < 0.0f) return fail("x less than 0 in routine GSER\n");
        return 0.0f;
    }
    double gln = gammln(a);
    double ap = a;
    double del = 1.0 / a, sum = del;
    for (int n = 1; n <= ITMAX; ++n) {
        ap += 1.0;
        del *= x / ap;
        sum += del;
        if (std::fabs(del) < std::fabs(sum) * EPS)
            return float(sum * std::exp(-x + a * std::log(double(x)) - gln));
    }
    return fail("a too large, ITMAX too small in routine GSER\n");
}

float gcf(float a, float x)
{
    double gln = gammln(a);
    double gold = 0.0, g = 0.0, fac = 1.0, b1 = 1.0, b0 = 0.0, a0 = 1.0, a1 = x;
    for (int n = 1; n <= ITMAX; ++n) {
        double an = n;
        double ana = an - a;
        a0 = (a1 + a0 * ana) * fac;
        b0 = (b1 + b0 * ana) * fac;
        double anf = an * fac;
        a1 = x * a0 + anf * a1;
        b1 = x * b0 + anf * b1;
        if (a1 != 0.0) {
            fac = 1.0 / a1;
            g = b1 * fac;
            if (std::fabs((g - gold) / g) < EPS)
                return float(std::exp(-x + a * std::log(double(x)) - gln) * g);
            gold = g;
        }
    }
    return fail("a too large, ITMAX too small in routine GCF\n");
}

float gammq(float a, float x)
{
    // Written so that NaN arguments are refused too.
    if (!(x >= 0.0f) || !(a > 0.0f)) return fail("Invalid arguments in routine GAMMP\n");
    if (x < a + 1.0f) return 1.0f - gser(a, x);   // NaN stays NaN
    return gcf(a, x);
}
