// Hooke and Jeeves pattern search.
#include "shading/minimise.h"

#include <vector>

namespace {

struct ObjectiveSlots {
    ObjectiveFunction f, g, h;
};

ObjectiveSlots &slots()
{
    static ObjectiveSlots s;
    return s;
}

} // namespace

void set_objective(ObjectiveFunction f, ObjectiveFunction g, ObjectiveFunction h)
{
    ObjectiveSlots &s = slots();
    s.f = std::move(f);
    s.g = std::move(g);
    s.h = std::move(h);
}

float penalty_objective(const float *p)
{
    const ObjectiveSlots &s = slots();
    float value = s.f ? s.f(p) : 0.0f;
    if (s.g) value += 1000.0f * s.g(p);
    if (s.h) value += 1000.0f * s.h(p);
    return value;
}

void reflect_point(const float *a, const float *b, float *out, int n)
{
    for (int i = 0; i < n; ++i) out[i] = 2.0f * b[i] - a[i];
}

void copy_floats(float *dst, const float *src, int n)
{
    for (int i = 0; i < n; ++i) dst[i] = src[i];
}

void exploratory_moves(float *p, int n, const float *base, const float *steps)
{
    std::vector<float> plus(base, base + n), minus(base, base + n), candidate(base, base + n);
    copy_floats(p, base, n);
    for (int i = 0; i < n; ++i) {
        bool plus_better = false;
        float plus_value = p[i] + steps[i];
        plus[i] = plus_value;
        if (penalty_objective(plus.data()) < penalty_objective(p)) {
            candidate[i] = plus_value;
            plus_better = true;
        } else {
            plus[i] = p[i];
        }

        minus[i] = p[i] - steps[i];
        if (penalty_objective(minus.data()) < penalty_objective(p))
            p[i] = minus[i];
        else
            minus[i] = p[i];

        if (plus_better && penalty_objective(candidate.data()) < penalty_objective(p))
            p[i] = plus_value;
    }
}

float pattern_search(const float *start, float *steps, float *result, int n,
                     int max_iterations, float tolerance, int *iterations)
{
    std::vector<float> base(start, start + n), explore_from(start, start + n);
    copy_floats(result, start, n);
    float t = n > 0 ? steps[0] : 0.0f;
    int done = 0;
    while (t > tolerance && done < max_iterations) {
        exploratory_moves(result, n, explore_from.data(), steps);
        ++done;
        if (penalty_objective(result) < penalty_objective(base.data())) {
            reflect_point(base.data(), result, explore_from.data(), n);   // pattern move
            copy_floats(base.data(), result, n);
            for (int i = 0; i < n; ++i) steps[i] *= 2.0f;
            t *= 2.0f;
        } else {
            copy_floats(explore_from.data(), base.data(), n);
            for (int i = 0; i < n; ++i) steps[i] *= 0.5f;
            t *= 0.5f;
        }
    }
    // Cut off by the iteration limit right after a pattern move, the last
    // explored point can be worse than the base; the base is the answer then.
    float value = penalty_objective(result);
    float base_value = penalty_objective(base.data());
    if (base_value < value) {
        copy_floats(result, base.data(), n);
        value = base_value;
    }
    if (iterations) *iterations = done;
    return value;
}
