// Small helpers of the arithmetic and mathematics operations: typed access
// to operand symbols and whole-group replacement of the stack top. A triple
// on the stack has x on top (lowest address); the first word returned by
// slstack.top_ptr(n) is the top word.
#pragma once
#include <cstring>

#include "ri_common/vecmath.h"
#include "shading/interp.h"

namespace opstack {

// Replaces the top `in` words with `n` result words, result[0] landing on
// top: the result takes the place of the deepest input words.
inline void replace(int in, const float *result, int n)
{
    if (n > in) slstack.push_space(n - in);
    else if (n < in) slstack.drop(in - n);
    std::memcpy(slstack.top_ptr(n), result, 4 * static_cast<size_t>(n));
}
inline void replace(int in, float f) { replace(in, &f, 1); }
inline void replace(int in, const Point &p) { replace(in, p.data(), 3); }
inline void replace(int in, const Matrix4 &m) { replace(in, m.m, 16); }

// The top n words for reading, however many (checked like top_ptr: too few
// words report an underflow and answer null).
float *words(int n);

// A triple or a matrix read from stack words or a symbol.
inline Point triple(const float *w) { return Point(w[0], w[1], w[2]); }
inline Matrix4 matrix(const float *w) { return Matrix4(w); }

// 1.0 or 0.0, the truth results of comparisons and tests.
inline float truth(bool b) { return b ? 1.0f : 0.0f; }

} // namespace opstack
