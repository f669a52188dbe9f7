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
    f_arr = a[i] + a[-2.7] * 100 + a[i + 5] * 10000;
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
    Intersection sv;
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
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.reports[0].message, "sqrt of negative in shader");
}
