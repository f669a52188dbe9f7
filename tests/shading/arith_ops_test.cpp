#include <gtest/gtest.h>

#include <cmath>

#include "shading/stringids.h"
#include "tests/ri/error_capture.h"
#include "tests/shading/op_support.h"

using optest::FloatCase;
using optest::run_ops;
using optest::TripleCase;

namespace {

const char *const VARS = "param\tfloat\ta\t10\nparam\tfloat\tb\t3\nparam\tfloat\tzero\t0\n"
                         "param\tcolor\tk\t8 6 4\nparam\tcolor\tj\t1 2 3\n"
                         "param\tcolor\tz3\t2 0 1\n";

} // namespace

TEST(ArithOps, FloatsTakeTheTopAsLeftOperand)
{
    const FloatCase cases[] = {
        {"pushif 2;pushif 10;subff", 8},
        {"pushif 4;pushif 10;divff", 2.5f},
        {"pushif 0;pushif 10;divff", 10},   // a zero divisor keeps the dividend
        {"pushif 3;negf", -3},
        {"pushif 4;subF a", 6},             // variable - top
        {"pushif 4;divF a", 2.5f},
        {"subFF a b", 7},
        {"pushiv 1 2 3;pushiv 4 5 6;vdot", 32},
    };
    optest::check_cases(cases, VARS);
    EXPECT_TRUE(std::isinf(run_ops("pushif 0;divF a;popf r", VARS).r()));
    EXPECT_TRUE(std::isinf(run_ops("divFF a zero;popf r", VARS).r()));
}

TEST(ArithOps, TriplesComponentwiseAndMixedWithFloats)
{
    const TripleCase cases[] = {
        {"pushiv 1 1 1;pushiv 5 6 7;subcc", Point(4, 5, 6)},
        {"pushiv 1 2 0;pushiv 6 8 5;divcc", Point(6, 4, 0)},   // zero divisor component
        {"pushiv 1 2 3;pushif 2;mulfc", Point(2, 4, 6)},       // float on top
        {"pushif 2;pushiv 1 2 3;mulcf", Point(2, 4, 6)},       // triple on top
        {"pushif 2;pushiv 2 4 6;divcf", Point(1, 2, 3)},
        {"pushif 1;pushiv 5 6 7;subcf", Point(4, 5, 6)},
        {"pushiv 1 2 3;pushif 10;subfc", Point(9, 8, 7)},
        {"pushiv 0 1 0;pushiv 1 0 0;cross", Point(0, 0, 1)},
        {"pushiv 2 0 4;divC k", Point(4, 0, 1)},   // variable / top, zero component
        {"pushiv 1 2 3;mulFc a", Point(10, 20, 30)},
        {"divCC k z3", Point(4, 0, 4)},
        {"mulFC a k", Point(80, 60, 40)},
        {"pushif 4;ftoc", Point(4, 4, 4)},
    };
    optest::check_cases(cases, VARS);
}

TEST(ArithOps, MatricesMultiplyTopByBeneath)
{
    // A scales by 2, B translates by x = 1: A x B moves by 1, B x A by 2.
    const std::string decls = "param\tmatrix\tA\t2 0 0 0 0 2 0 0 0 0 2 0 0 0 0 1\n"
                              "param\tmatrix\tB\t1 0 0 0 0 1 0 0 0 0 1 0 1 0 0 1\n"
                              "param\tmatrix\tS\t0\n";
    auto m = [&](const std::string &code) { return run_ops(code + ";popm m", decls).m(); };
    Matrix4 ab = m("pushm B;pushm A;mulmm");
    EXPECT_EQ(ab.m[0], 2.0f);
    EXPECT_EQ(ab.m[12], 1.0f);
    EXPECT_EQ(m("pushm A;pushm B;mulmm").m[12], 2.0f);
    EXPECT_EQ(m("pushm B;pushm A;divmm").m[12], -1.0f);   // A x inverse(B)
    EXPECT_EQ(m("pushm B;mulM A").m[12], 1.0f);           // variable x top
    EXPECT_EQ(m("pushm B;divM A").m[12], -1.0f);
    Matrix4 fm = m("pushm B;pushif 2;divfm");             // 2 x inverse(B)
    EXPECT_EQ(fm.m[0], 2.0f);
    EXPECT_EQ(fm.m[12], -2.0f);
    EXPECT_EQ(m("pushm A;pushif 3;mulfm").m[0], 6.0f);
    EXPECT_EQ(m("pushif 2;pushm A;divmf").m[0], 1.0f);
    EXPECT_EQ(m("pushif 0;pushm A;divmf").m[0], 0.0f);
    Matrix4 f = m("pushif 5;ftom");
    EXPECT_EQ(f.m[0], 5.0f);
    EXPECT_EQ(f.m[15], 5.0f);

    // A singular divisor gives the zero matrix, reported in the main run only.
    velktest::ErrorCapture capture;
    ShadingPoint sv;
    sv.whichdisp = DISP_DU;
    optest::Results res = run_ops("pushif 99;pushm S;pushm A;divmm;popm m;popf s", sv, decls);
    EXPECT_EQ(capture.count(), 0u);
    EXPECT_EQ(sv.s, 99.0f);
    sv.whichdisp = DISP_MAIN;
    res = run_ops("pushm S;pushm A;divmm;popm m;pushm S;pushif 1;divfm;popm m", sv, decls);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(res.m().m[i], 0.0f);
    ASSERT_EQ(capture.count(), 2u);
    EXPECT_EQ(capture.reports[0].code, RIE_MATH);
    EXPECT_EQ(capture.reports[0].severity, RIE_ERROR);
    EXPECT_EQ(capture.reports[0].message, "inverse of singular matrix in shader");
}

TEST(CompareOps, FloatTruthValues)
{
    const FloatCase cases[] = {
        {"pushif 1;pushif 2;gt", 1}, {"pushif 1;pushif 2;lt", 0},
        {"pushif 2;pushif 2;feq", 1}, {"pushif 2;pushif 3;fne", 1},
        {"pushiv 1 1 1;pushif 1;feqc", 1}, {"pushiv 1 1 2;pushif 1;feqc", 0},
        {"pushif 2;pushiv 2 2 3;ceqf", 0}, {"pushif 2;pushiv 2 2 3;cnef", 1},
        {"pushiv 1 2 3;pushiv 1 2 3;ceq", 1}, {"pushiv 1 2 3;pushiv 1 2 4;ceq", 0},
    };
    optest::check_cases(cases, VARS);
    // The word of a true comparison is the float 1.0, not the integer 1.
    EXPECT_EQ(run_ops("pushif 1;pushif 2;gt;popf r").word(0), 0x3f800000u);
}

TEST(VarOps, ArrayIndicesStayInsideTheArray)
{
    const std::string decls = "param\tfloat\tarr[3]\t0\nparam\tfloat\tafter\t1\n"
                              "param\tcolor\tcarr[2]\t0 0 0\nparam\tstring\tsarr[2]\t\"\"\n"
                              "param\tstring\tout\t\"\"\nparam\tfloat\tzero\t0\n"
                              "local\tstring\t$_str_0 \t\"hello\"\n"
                              "local\tfloat\tla[2]\t0\n";
    const std::string fill = "pushif 5;pushif 0;apopf arr;pushif 6;pushif 1;apopf arr;"
                             "pushif 7;pushif 2;apopf arr;";
    auto element = [&](const std::string &index_code) {
        return run_ops(fill + index_code + ";apushf arr;popf r", decls).r();
    };
    EXPECT_EQ(element("pushif -2.7"), 5.0f);
    EXPECT_EQ(element("pushif 1.5"), 6.0f);
    EXPECT_EQ(element("pushif 2.9"), 7.0f);
    EXPECT_EQ(element("pushif 3"), 7.0f);
    EXPECT_EQ(element("pushif 1e30"), 7.0f);
    EXPECT_EQ(element("divFF zero zero"), 5.0f);   // NaN reads element 0

    // A store past the end lands on the last element, not on the next symbol.
    optest::Results res = run_ops(fill + "pushif 9;pushif 100;apopf arr;pushif 2;apushf arr;popf r",
                                  decls);
    EXPECT_EQ(res.r(), 9.0f);
    EXPECT_EQ(res.at(23), 1.0f);   // "after" (r, c, m take 20 words, arr 3)
    // Locals too.
    EXPECT_EQ(run_ops("pushif 4;pushif 1;apopf la;pushif 8;pushif 5;apopf la;"
                      "pushif 1;apushf la;popf r", decls).r(), 8.0f);

    // Triples and strings.
    res = run_ops("pushiv 1 2 3;pushif 1.9;apopc carr;pushif 7;apushc carr;popc c;"
                  "pushs $_str_0;pushif 1;apops sarr;pushif -1;apushs sarr;pops out;"
                  "pushif 5;apushs sarr;pops out", decls);
    EXPECT_EQ(res.c(), Point(1, 2, 3));
    EXPECT_STREQ(string_from_id(res.word(31)), "hello");   // sarr[1]
    EXPECT_STREQ(string_from_id(res.word(32)), "hello");   // out, from index 5
}

TEST(VarOps, SettingFromAFloat)
{
    optest::Results res = run_ops("pushif 2;cset c;pushif 3;mset m");
    EXPECT_EQ(res.c(), Point(2, 2, 2));
    EXPECT_EQ(res.m().m[0], 3.0f);
    EXPECT_EQ(res.m().m[5], 3.0f);
    EXPECT_EQ(res.m().m[4], 0.0f);
}
