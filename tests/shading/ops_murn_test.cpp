// Shaders from the compiler run through the interpreter: the operand order
// the compiler emits meets the order the operations expect.
#include <gtest/gtest.h>

#include "tests/ri/error_capture.h"
#include "tests/shading/sl_support.h"

namespace {

const char *const SUITE = R"(
surface opsuite(output float f_mod = 0; output float f_round = 0; output float f_spline0 = 0;
                output float f_spline1 = 0; output float f_div = 0; output float f_arr = 0;
                output color c_hsv = 0; output float f_sqrt = 1; output float f_cmp = 0;
                output float f_min = 0; output float f_pow = 0; output float f_sub = 0;
                output color c_div = 0; output float f_feq = 1; output float f_clamp = 0;
                output float f_deriv = 0;)
{
    float a[3] = {5, 6, 7};
    float i = 2.9, zero = 0, seven = 7;
    f_mod = mod(-1, 3);
    f_round = round(-0.5);
    f_spline0 = spline(0, 10, 20, 30, 40);
    f_spline1 = spline(1, 10, 20, 30, 40);
    f_div = (seven + 0) / zero;
    f_arr = a[i] + a[i - 5.6] * 100 + a[i + 5] * 10000;
    c_hsv = ctransform("hsv", "rgb", color(0, 1, 1));
    f_sqrt = sqrt(-4);
    f_cmp = (1 < 2) ? 1 : 0;
    f_min = min(3, 1, 2);
    f_pow = pow(2, 3);
    f_sub = (i + 7.1) - 4;
    c_div = color(6, 4, 2) / color(2, 0, 1);
    f_feq = (1 == color(1, 1, 2)) ? 1 : 0;
    f_clamp = clamp(5, 0, 1) + smoothstep(1, 2, 1.5) * 10;
    f_deriv = Du(u * 2) + Deriv(u, v);
}
)";

} // namespace

TEST(OpsFromCompiler, SuiteOfLibraryCalls)
{
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "opsuite", SUITE);
    ASSERT_NE(s, nullptr);

    velktest::ErrorCapture capture;
    ShadingPoint sv;
    std::vector<uint32_t> block = shadertest::run(s, sv);
    auto param = [&](const char *name, int i = 0) { return sltest::param(s, block, name)[i]; };
    EXPECT_EQ(param("f_mod"), 2.0f);
    EXPECT_EQ(param("f_round"), 0.0f);
    EXPECT_EQ(param("f_spline0"), 20.0f);
    EXPECT_EQ(param("f_spline1"), 30.0f);
    EXPECT_EQ(param("f_div"), 7.0f);
    EXPECT_EQ(param("f_arr"), 7 + 5 * 100 + 7 * 10000.0f);
    EXPECT_EQ(Point(param("c_hsv"), param("c_hsv", 1), param("c_hsv", 2)), Point(1, 0, 0));
    EXPECT_EQ(param("f_sqrt"), 0.0f);
    EXPECT_EQ(param("f_cmp"), 1.0f);
    EXPECT_EQ(param("f_min"), 1.0f);
    EXPECT_EQ(param("f_pow"), 8.0f);
    EXPECT_FLOAT_EQ(param("f_sub"), 6.0f);
    EXPECT_EQ(Point(param("c_div"), param("c_div", 1), param("c_div", 2)), Point(3, 0, 2));
    EXPECT_EQ(param("f_feq"), 0.0f);
    EXPECT_FLOAT_EQ(param("f_clamp"), 6.0f);
    // Without derivative neighbours Du and Deriv answer their placeholders.
    EXPECT_FLOAT_EQ(param("f_deriv"), 0.002f);
    // Indices outside the array: told once for the array, with the element used.
    ASSERT_EQ(capture.count(), 2u);
    EXPECT_EQ(capture.reports[0].message,
              "Shader \"opsuite\": array index 7.9 is outside an array of 3 elements; element 2 is used");
    EXPECT_EQ(capture.reports[1].message, "sqrt of negative in shader");
}

TEST(OpsFromCompiler, MatrixElementsMixTimeDerivativesAndMixedComparisons)
{
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "moreops", R"(
surface moreops(output float m_comp = 0, m_set = 0, m_mix = 0, m_eq = 0, m_ne = 0, m_f = 0;
                output float pc_eq = 0, pc_ne = 0, cp_eq = 0, dt_f = -1; output vector dt_v = -1;
                output color shade = -1; output point eye = 5;)
{
    matrix m = (1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    matrix n = m;
    m_comp = comp(m, 1, 2);
    setcomp(n, 2, 3, 100);
    m_set = comp(n, 2, 3) + comp(n, 1, 2) * 1000;
    m_mix = comp(mix(m, n, 0.25), 2, 3);
    m_eq = (m == m ? 1 : 0) + (m == n ? 10 : 0);
    m_ne = (m != n ? 1 : 0) + (m != m ? 10 : 0);
    matrix two = 2;
    m_f = (two == 2 ? 1 : 0) + (2 == two ? 10 : 0) + (m == 2 ? 100 : 0) + (two != 3 ? 1000 : 0);
    point p = (1, 2, 3);
    pc_eq = (p == color(1, 2, 3) ? 1 : 0) + (p == color(1, 2, 4) ? 10 : 0);
    pc_ne = p != color(1, 2, 4) ? 1 : 0;
    cp_eq = color(1, 2, 3) == p ? 1 : 0;
    dt_f = Dtime(u * 3);
    dt_v = Dtime(P);
    shade = areashadow(P, 4);
    eye = point "eye" (0, 0, 0);
}
)");
    ASSERT_NE(s, nullptr);
    velktest::ErrorCapture capture;
    ShadingPoint sv;
    std::vector<uint32_t> block = shadertest::run(s, sv);
    auto param = [&](const char *name) { return sltest::param_float(s, block, name); };
    EXPECT_EQ(param("m_comp"), 7.0f);
    EXPECT_EQ(param("m_set"), 100 + 7000.0f);
    EXPECT_EQ(param("m_mix"), 0.75f * 12 + 0.25f * 100);
    EXPECT_EQ(param("m_eq"), 1.0f);
    EXPECT_EQ(param("m_ne"), 1.0f);
    EXPECT_EQ(param("m_f"), 1011.0f);   // a float compares as the matrix it widens to
    EXPECT_EQ(param("pc_eq"), 1.0f);
    EXPECT_EQ(param("pc_ne"), 1.0f);
    EXPECT_EQ(param("cp_eq"), 1.0f);
    // Nothing moves over the shutter: dPdtime is zero as well.
    EXPECT_EQ(param("dt_f"), 0.0f);
    EXPECT_EQ(sltest::param_triple(s, block, "dt_v"), Point(0, 0, 0));
    // Outside a light there is nothing to cast a shadow from.
    EXPECT_EQ(sltest::param_triple(s, block, "shade"), Point(1, 1, 1));
    // An unknown space in a cast is reported as transform reports it.
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.reports[0].message, "illegal transform space in shader: \"eye\"");
}
