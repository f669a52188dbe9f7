// A small derivative-free minimiser (pattern search with exploratory moves)
// over a few float coordinates. The objective is a main function plus two
// optional penalties held in one process-wide slot set, so one minimisation
// runs at a time.
#pragma once
#include <functional>

// An objective or penalty over a point of n floats.
typedef std::function<float(const float *p)> ObjectiveFunction;

// Sets the slots; g and h may be empty.
void set_objective(ObjectiveFunction f, ObjectiveFunction g = nullptr, ObjectiveFunction h = nullptr);

// f(p) + 1000 g(p) + 1000 h(p), leaving out empty slots (0 without f).
float penalty_objective(const float *p);

// From base, tries each coordinate one step up and one step down in turn and
// keeps what lowers the objective; the result goes to p.
void exploratory_moves(float *p, int n, const float *base, const float *steps);

// Minimises from start with the given steps (scaled in place) until the first
// step is not above the tolerance or after max_iterations. The result point
// goes to result (never worse than the best point found); returns the
// objective there, and the iterations done when iterations is not null.
float pattern_search(const float *start, float *steps, float *result, int n,
                     int max_iterations, float tolerance, int *iterations = nullptr);

// out = 2b - a, component by component.
void reflect_point(const float *a, const float *b, float *out, int n);
// dst = src for n floats.
void copy_floats(float *dst, const float *src, int n);
