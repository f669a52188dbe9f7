#include <gtest/gtest.h>

#include <cmath>

#include "ri_common/ri.h"
#include "shading/colorspace.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/recording_renderer.h"
#include "tests/shading/op_support.h"

using optest::check_cases;
using optest::FloatCase;
using optest::run_ops;
using optest::TripleCase;

TEST(MathOps, ScalarFunctions)
{
    const FloatCase cases[] = {
        {"pushif 4;inversesqrt", 0.5f},
        {"pushif 3;pushif -1;mod", 2},        // mod (-1, 3)
        {"pushif 0;pushif 5;mod", 5},         // a zero modulus keeps the value
        {"pushif -0.5;round", 0},
        {"pushif -1.5;round", -1},
        {"pushif -3;sign", -1},
        {"pushif 0;sign", 0},
        {"pushif 1;pushif 2;step", 0},        // step (edge 2, x 1)
        {"pushif 2;pushif 2;step", 1},
        {"pushif 1.25;pushif 2;pushif 1;smoothstep", 0.15625f},
        {"pushif 3;pushif 2;fmin", 2},
        {"pushif 1;pushif 0;pushif 5;clamp", 1},   // clamp (5, 0, 1)
        {"pushif 0.25;pushif 8;pushif 4;fmix", 5},
        {"pushif 3;pushif 2;pow", 8},         // pow (2, 3)
        {"pushif 3;pushif -2;pow", -8},       // a negative base takes whole powers
        {"pushif 0.5;pushif -4;pow", 0},      // and nothing else
        {"pushif -200;pushif 2;pow", 0},      // underflow guard
        {"pushif 2;pushif 8;logb", 3},        // log (8, 2)
        {"pushif 0;pushif 1;atan2", 1.5707964f},   // atan (1, 0)
    };
    check_cases(cases);
    float r = run_ops("random;popf r").r();
    EXPECT_TRUE(r >= 0 && r < 1);
}

TEST(MathOps, DomainErrorsAreReportedAndGiveZero)
{
    velktest::ErrorCapture capture;
    EXPECT_EQ(run_ops("pushif -4;sqrt;popf r").r(), 0.0f);
    EXPECT_EQ(run_ops("pushif 0;inversesqrt;popf r").r(), 0.0f);
    ASSERT_EQ(capture.count(), 2u);
    EXPECT_EQ(capture.reports[0].code, RIE_MATH);
    EXPECT_EQ(capture.reports[0].severity, RIE_ERROR);
    EXPECT_EQ(capture.reports[0].message, "sqrt of negative in shader");
    EXPECT_EQ(capture.reports[1].message, "inversesqrt of <= 0 in shader");
}

TEST(MathOps, TripleFunctions)
{
    const TripleCase cases[] = {
        {"pushiv 1 5 3;pushiv 2 4 3;vmin", Point(1, 4, 3)},
        {"pushiv 1 1 1;pushiv 0 0 0;pushiv -1 0.5 2;vclamp", Point(0, 0.5f, 1)},
        {"pushif 0.5;pushiv 2 4 6;pushiv 0 0 0;vmix", Point(1, 2, 3)},
        {"pushiv 0 3 4;normalize", Point(0, 0.6f, 0.8f)},
        {"pushiv 1e-13 0 0;normalize", Point(0, 0, 0)},
        {"pushif 9;pushif 1;pushiv 4 5 6;setcomp", Point(4, 9, 6)},
        {"pushif 9;pushif 3;pushiv 4 5 6;setcomp", Point(4, 5, 6)},    // outside: nothing set
    };
    check_cases(cases);
    const FloatCase floats[] = {
        {"pushiv 3 4 0;length", 5},
        {"pushiv 1 1 1;pushiv 4 5 1;distance", 5},
        {"pushiv 4 5 6;zcomp", 6},
        {"pushif 1;pushiv 4 5 6;comp", 5},
        {"pushif 7;pushiv 4 5 6;comp", 6},    // index kept to 0..2
        {"pushif -3;pushiv 4 5 6;comp", 4},
    };
    check_cases(floats);
}

TEST(GeometryOps, FacingReflectionRefraction)
{
    const TripleCase cases[] = {
        {"pushiv 0 0 1;pushiv 1 0 -1;reflect", Point(1, 0, 1)},
        {"pushif 0.5;pushiv 0 0 1;pushiv 0 0 -1;refract", Point(0, 0, -1)},
        {"pushif 1.5;pushiv 0 0 1;pushiv 0.8 0 -0.6;refract", Point(0, 0, 0)},   // total reflection
        {"pushiv 0 0 1;pushiv 0 0 -1;pushiv 0 0 1;faceforward3", Point(0, 0, 1)},
        {"pushiv 0 0 -1;pushiv 0 0 -1;pushiv 0 0 1;faceforward3", Point(0, 0, -1)},
    };
    check_cases(cases);
    // Two-argument faceforward goes by Ng, not by N itself.
    ShadingPoint sv;
    sv.Ng = Point(0, 0, -1);
    optest::Results res = run_ops("pushiv 0 0 -1;pushiv 0 0 1;faceforward;popc c", sv);
    EXPECT_EQ(res.c(), Point(0, 0, -1));
}

TEST(GeometryOps, FresnelTermsAndTheirStackLayout)
{
    // Normal incidence into eta 1.5: Kr 0.04, Kt 2.25 x 0.96; R up, T on
    // through with the (d - c) shift.
    ShadingPoint sv;
    optest::Results res = run_ops("pushif 99;pushif 1.5;pushiv 0 0 1;pushiv 0 0 -1;fresnel4;"
                                  "popf r;popf u;popc c;popv L;popf s", sv);
    EXPECT_NEAR(res.r(), 0.04f, 1e-6);
    EXPECT_NEAR(sv.u, 2.16f, 1e-5);
    EXPECT_EQ(res.c(), Point(0, 0, 1));
    EXPECT_NEAR(sv.L.z, -2.0f / 3, 1e-6);
    EXPECT_EQ(sv.s, 99.0f);
    res = run_ops("pushif 99;pushif 1.5;pushiv 0 0 1;pushiv 0 0 -1;fresnel2;popf r;popf u;popf s", sv);
    EXPECT_NEAR(res.r(), 0.04f, 1e-6);   // Kr on top
    EXPECT_EQ(sv.s, 99.0f);

    // Total internal reflection through the operation: Kr 1, Kt 0.
    res = run_ops("pushif 1.5;pushiv 0 0 1;pushiv 0.8 0 -0.6;fresnel2;popf r;popf u", sv);
    EXPECT_EQ(res.r(), 1.0f);
    EXPECT_EQ(sv.u, 0.0f);
}

TEST(GeometryOps, SegmentsRotationsAndMatrices)
{
    const FloatCase cases[] = {
        {"pushiv 1 1 0;pushiv 2 0 0;pushiv 0 0 0;ptlined", 1},
        {"pushiv -3 4 0;pushiv 2 0 0;pushiv 0 0 0;ptlined", 5},
        {"pushiv 5 4 0;pushiv 2 0 0;pushiv 0 0 0;ptlined", 5},
    };
    check_cases(cases);
    // A quarter turn about the z axis through (1, 0, 0).
    optest::Results res = run_ops("pushiv 1 0 1;pushiv 1 0 0;pushif 1.5707964;pushiv 2 0 0;rotate;popc c");
    EXPECT_NEAR(res.c().x, 1, 1e-6);
    EXPECT_NEAR(res.c().y, 1, 1e-6);
    EXPECT_NEAR(res.c().z, 0, 1e-6);

    const std::string decls = "param\tmatrix\tA\t2 0 0 0 0 2 0 0 0 0 2 0 0 0 0 1\n"
                              "param\tmatrix\tI4\t1\n";
    EXPECT_EQ(run_ops("pushm A;determinant;popf r", decls).r(), 8.0f);
    Matrix4 t = run_ops("pushiv 1 2 3;pushm A;mtranslate;popm m", decls).m();
    EXPECT_EQ(t.m[0], 2.0f);
    EXPECT_EQ(Point(t.m[12], t.m[13], t.m[14]), Point(1, 2, 3));   // M first, then the move
    Matrix4 s = run_ops("pushiv 1 2 3;pushm A;mscale;popm m", decls).m();
    EXPECT_EQ(Point(s.m[0], s.m[5], s.m[10]), Point(2, 4, 6));
    Matrix4 r = run_ops("pushiv 0 0 1;pushif 1.5707964;pushm I4;mrotate;popm m", decls).m();
    EXPECT_NEAR(r.m[1], 1, 1e-6);   // x turns into y for row vectors
    EXPECT_NEAR(r.m[4], -1, 1e-6);
}

TEST(ColorOps, ConversionsBetweenSpaces)
{
    const std::string decls = "local\tstring\t$_str_0 \t\"rgb\"\nlocal\tstring\t$_str_1 \t\"hsv\"\n"
                              "local\tstring\t$_str_2 \t\"hsl\"\nlocal\tstring\t$_str_3 \t\"xyz\"\n"
                              "local\tstring\t$_str_4 \t\"YIQ\"\n";
    const TripleCase cases[] = {
        {"pushiv 0 1 1;pushs $_str_0;pushs $_str_1;ctransformss", Point(1, 0, 0)},
        {"pushiv 0 0 0;pushs $_str_2;ctransforms", Point(0, 0, 0)},       // black
        {"pushiv 1 1 1;pushs $_str_2;ctransforms", Point(0, 0, 1)},       // white
        {"pushiv 0 1 0.5;pushs $_str_0;pushs $_str_2;ctransformss", Point(1, 0, 0)},
        {"pushiv 0.5 1 1;hsv_to_rgb", Point(0, 1, 1)},
        {"pushiv 1 1 1;xyz_to_rgb", Point(1, 1, 1.01f)},
        {"pushiv 1 0 0;yiq_to_rgb", Point(1, 1, 1)},
        {"pushiv 1 1 1;pushs $_str_4;ctransforms", Point(1, 0, 0)},
    };
    check_cases(cases, decls);

    // Round trips through hsv and hsl.
    for (const char *space : {"hsv", "hsl"}) {
        Color c(0.2f, 0.4f, 0.6f);
        ASSERT_TRUE(ctransform("rgb", space, c));
        ASSERT_TRUE(ctransform(space, "rgb", c));
        EXPECT_NEAR(c.x, 0.2f, 1e-6) << space;
        EXPECT_NEAR(c.y, 0.4f, 1e-6) << space;
        EXPECT_NEAR(c.z, 0.6f, 1e-6) << space;
    }

    // There is no conversion into xyz: reported, the colour passes.
    velktest::ErrorCapture capture;
    optest::Results res = run_ops("pushiv 0.1 0.2 0.3;pushs $_str_3;ctransforms;popc c", decls);
    EXPECT_EQ(res.c(), Point(0.1f, 0.2f, 0.3f));
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.reports[0].code, RIE_LIMIT);
    EXPECT_EQ(capture.reports[0].severity, RIE_ERROR);
    EXPECT_EQ(capture.reports[0].message, "unknown color space in shader: xyz");
}

TEST(GeometryOps, DepthBetweenTheClippingPlanes)
{
    velktest::RecordingRenderer r;
    Renderer *saved = current_renderer;
    current_renderer = &r;
    RiClipping(1, 11);
    RiTranslate(0, 0, 5);   // the camera five units behind the world origin
    RiWorldBegin();
    // World z 1 lies 6 units in front of the camera: half way from 1 to 11.
    EXPECT_FLOAT_EQ(run_ops("pushiv 0 0 1;depth;popf r").r(), 0.5f);
    RiWorldEnd();
    current_renderer = saved;
}
