// Runs short instruction sequences of the interpreter in a throw-away
// surface shader and answers its result variables.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/shading/shader_support.h"

namespace optest {

// The result variables every test shader has: a float r, a triple c and a
// matrix m, in that order at the start of the parameter block.
struct Results {
    std::vector<uint32_t> block;
    float r() const { return at(0); }
    Point c() const { return Point(at(1), at(2), at(3)); }
    Matrix4 m() const
    {
        Matrix4 out;
        for (int i = 0; i < 16; ++i) out.m[i] = at(4 + i);
        return out;
    }
    float at(size_t word) const { return word < block.size() ? shadertest::word_float(block[word]) : -999.0f; }
    uint32_t word(size_t w) const { return w < block.size() ? block[w] : 0xdeadbeefu; }
};

// Loads "code" (instructions separated by ';') with the result variables
// and the extra declarations, and runs it on sv.
inline Results run_ops(const std::string &code, ShadingPoint &sv, const std::string &decls = "")
{
    static int serial = 0;
    velktest::TempDir dir;
    std::string name = "optest" + std::to_string(serial++);
    std::string body;
    for (char ch : code) body += ch == ';' ? '\n' : ch;
    std::string text = "surface " + name + "\nparam\tfloat\tr\t0\nparam\tcolor\tc\t0 0 0\n" +
                       "param\tmatrix\tm\t0\n" + decls + "code\n" + body + "\nreturn\n";
    Results res;
    Shader *s = shadertest::load_text(dir, name, text);
    EXPECT_NE(s, nullptr) << text;
    if (!s) return res;
    res.block = shadertest::run(s, sv);
    return res;
}

inline Results run_ops(const std::string &code, const std::string &decls = "")
{
    ShadingPoint sv;
    return run_ops(code, sv, decls);
}

// Table rows: code that leaves a float (or a triple) on the stack, and the
// value it must be (to a millionth of its size, at least 1e-6). Each row runs
// with a sentinel pushed first, which must still be there afterwards.
struct FloatCase {
    const char *code;
    float expected;
};
struct TripleCase {
    const char *code;
    Point expected;
};

inline float tolerance(float expected)
{
    return 1e-6f * std::fmax(1.0f, std::fabs(expected));
}

template <size_t N>
void check_cases(const FloatCase (&cases)[N], const std::string &decls = "")
{
    for (const FloatCase &fc : cases) {
        ShadingPoint sv;
        Results res = run_ops(std::string("pushif 99;") + fc.code + ";popf r;popf s", sv, decls);
        EXPECT_NEAR(res.r(), fc.expected, tolerance(fc.expected)) << fc.code;
        EXPECT_EQ(sv.s, 99.0f) << "stack balance: " << fc.code;
    }
}

template <size_t N>
void check_cases(const TripleCase (&cases)[N], const std::string &decls = "")
{
    for (const TripleCase &tc : cases) {
        ShadingPoint sv;
        Results res = run_ops(std::string("pushif 99;") + tc.code + ";popc c;popf s", sv, decls);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(res.c()[i], tc.expected[i], tolerance(tc.expected[i])) << tc.code << " [" << i << "]";
        EXPECT_EQ(sv.s, 99.0f) << "stack balance: " << tc.code;
    }
}

} // namespace optest
