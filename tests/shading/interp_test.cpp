#include <gtest/gtest.h>

#include "shading/interp.h"
#include "shading_shaderfile/opnames.h"
#include "shading_shaderfile/slstack.h"
#include "shading/stringids.h"
#include "tests/ri/error_capture.h"
#include "tests/shading/shader_support.h"

using shadertest::load_text;
using shadertest::run;

TEST(SLStack, LimitsAreReportedAndNothingOutsideIsTouched)
{
    velktest::ErrorCapture capture;   // records and returns, like "ignore"
    SLStack &st = slstack;
    SLStack::Marks marks = st.save_marks();
    st.runs++;
    for (int i = 0; i < SLStack::WORDS; ++i) st.push_float(float(i));
    EXPECT_EQ(st.top, 0);
    EXPECT_FALSE(st.failed());
    st.push_float(1);   // the 8001st word
    EXPECT_TRUE(st.failed());
    EXPECT_EQ(st.top, 0);
    EXPECT_EQ(st.num[0], float(SLStack::WORDS - 1));
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.reports[0].code, RIE_LIMIT);
    EXPECT_EQ(capture.reports[0].severity, RIE_ERROR);
    EXPECT_EQ(capture.reports[0].message, "SL interpreter stack overflow");
    st.runs--;
    st.restore_marks(marks);
    EXPECT_FALSE(st.failed());
    EXPECT_EQ(st.depth(), 0);

    // A span pop takes the top words at once, the top word last.
    st.runs++;
    const float three[3] = {7, 8, 9};
    st.push_triple(three);
    st.push_float(6);
    EXPECT_EQ(st.pop_span(1)[0], 6.0f);
    const float *span = st.pop_span(3);
    EXPECT_EQ(span[0], 7.0f);
    EXPECT_EQ(span[2], 9.0f);
    EXPECT_EQ(st.depth(), 0);
    EXPECT_FALSE(st.failed());
    // One word short: an underflow, zeros, and the stack stays.
    st.push_float(5);
    st.set_floor();
    st.push_float(4);
    span = st.pop_span(2);
    EXPECT_EQ(span[0], 0.0f);
    EXPECT_EQ(span[1], 0.0f);
    EXPECT_TRUE(st.failed());
    EXPECT_EQ(st.depth(), 2);
    EXPECT_EQ(capture.reports.back().message, "SL interpreter stack underflow");
    st.runs--;
    st.restore_marks(marks);
    EXPECT_FALSE(st.failed());

    // Pops below the floor of the run underflow; the popped value is harmless.
    st.runs++;
    st.push_float(3);
    st.set_floor();
    EXPECT_EQ(st.pop_float(), 0.0f);
    EXPECT_TRUE(st.failed());
    EXPECT_EQ(capture.reports.back().message, "SL interpreter stack underflow");
    EXPECT_STREQ(st.pop_string(), "");
    st.runs--;
    st.restore_marks(marks);
}

TEST(SLStack, ReserveStartsOnAnEvenWordAndCopiesInitialValues)
{
    SLStack &st = slstack;
    SLStack::Marks marks = st.save_marks();
    st.push_float(1);   // top 7999
    float init[2] = {4, 5};
    char *block = st.reserve(8, init);
    EXPECT_EQ(st.top, 7996);   // 7999 - 2, then one more to be even
    EXPECT_EQ(reinterpret_cast<float *>(block)[1], 5.0f);
    EXPECT_EQ(st.floor, 7996);
    st.restore_marks(marks);
    EXPECT_EQ(st.depth(), 0);
}

TEST(StringIds, OneIdPerText)
{
    uint32_t a = string_id("alpha");
    EXPECT_NE(a, 0u);
    EXPECT_EQ(string_id(std::string("alpha").c_str()), a);
    EXPECT_STREQ(string_from_id(a), "alpha");
    EXPECT_EQ(string_id(nullptr), 0u);
    EXPECT_EQ(string_from_id(0), nullptr);
    EXPECT_EQ(string_from_id(0xffffff), nullptr);
}

TEST(OpTable, EveryNameIsRegisteredWithAHandler)
{
    EXPECT_EQ(build_op_table(), 358);
    int n = 0;
    const shading::OpName *names = shading::op_names(&n);
    for (int i = 0; i < n; ++i) {
        const OpInfo *op = find_op(names[i].name);
        ASSERT_NE(op, nullptr) << names[i].name;
        EXPECT_EQ(op->opcode, names[i].opcode);
        EXPECT_NE(op_handlers[op->opcode], nullptr) << names[i].name;
    }
    for (int unused : {25, 26, 27, 43, 44, 91, 92, 202, 211, 212, 213, 214})
        EXPECT_EQ(op_handlers[unused], nullptr) << unused;
    EXPECT_EQ(find_op("nosuch"), nullptr);
    EXPECT_EQ(find_op("cpCC")->opcode, find_op("cpVV")->opcode);
    EXPECT_EQ(find_op("cpFF")->operands, 2);
}

TEST(Interpreter, ControlOperations)
{
    velktest::TempDir dir;
    // Counts down from 3 with a jump back to label 0, then sets Ci.
    Shader *s = load_text(dir, "countdown",
                          "version VELK 2.5.0g\nsurface countdown\n"
                          "param\tfloat\tn\t3\n"
                          "local\tfloat\tone\t1\n"
                          "code\n"
                          "label 0\n"
                          "\tpushf\tn \n\tpushif\t0\n\tpushf\tn \n"
                          // n > 0 via the truth of n itself
                          "\tpopf\tn \n\tpopf\tone \n"
                          "\tpushf\tn \n\tifz\t1\n"
                          "\tpushiv\t1 2 3\n\tpopc\tCi \n"
                          "\treturn\n"
                          "label 1\n"
                          "\tpushiv\t0 0 1\n\tpopc\tCi \n"
                          "\treturn\n");
    ASSERT_NE(s, nullptr);
    ShadingPoint sv;
    int depth = slstack.depth();
    run(s, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(sv.Ci, Color(1, 2, 3));
}

TEST(Interpreter, JumpToLabelZeroAndTruthOfMinusZero)
{
    velktest::TempDir dir;
    // The first pass pushes -0.0 (true): ifnz jumps back to label 0, where
    // the second pass finds the flag cleared and falls through.
    Shader *t = load_text(dir, "loopzero2",
                          "surface loopzero2\n"
                          "local\tfloat\tflag\t-0.0\n"
                          "code\n"
                          "label 0\n"
                          "\tpushf\tCs \n"   // Cs.x: 0 on the first pass
                          "\tpushif\t5\n\tpopf\tCs \n"
                          "\tpushf\tflag \n\tpushif\t0\n\tpopf\tflag \n"
                          "\tifnz\t0\n"
                          "\tpopf\tCi \n\tpopf\tOi \n"
                          "\treturn\n");
    ASSERT_NE(t, nullptr);
    ShadingPoint sv;
    sv.Cs = Color(0, 0, 0);
    sv.Ci = Color(9, 9, 9);
    sv.Oi = Color(9, 9, 9);
    run(t, sv);
    // Two passes pushed Cs.x: 0 then 5; the pops take 5 then 0.
    EXPECT_EQ(sv.Ci.x, 5.0f);
    EXPECT_EQ(sv.Oi.x, 0.0f);
}

TEST(Interpreter, LogicOperations)
{
    velktest::TempDir dir;
    // and/or/not on the words 1 and 0 (and -0.0 counts as true).
    Shader *s = load_text(dir, "logic",
                          "surface logic\n"
                          "local\tfloat\tmz\t-0\n"
                          "local\tfloat\tz\t0\n"
                          "code\n"
                          "\tpushf\tmz \n\tpushf\tz \n\tor\n\tpopf\tu \n"
                          "\tpushf\tmz \n\tpushf\tz \n\tand\n\tpopf\tv \n"
                          "\tpushf\tz \n\tnot\n\tpopf\ts \n"
                          "\tpushf\tmz \n\tnot\n\tpopf\tt \n"
                          "\treturn\n");
    ASSERT_NE(s, nullptr);
    ShadingPoint sv;
    run(s, sv);
    uint32_t w[4];
    std::memcpy(&w[0], &sv.u, 4);
    std::memcpy(&w[1], &sv.v, 4);
    std::memcpy(&w[2], &sv.s, 4);
    std::memcpy(&w[3], &sv.t, 4);
    EXPECT_EQ(w[0], 1u);
    EXPECT_EQ(w[1], 0u);
    EXPECT_EQ(w[2], 1u);
    EXPECT_EQ(w[3], 0u);
}

TEST(Interpreter, ReturnAreaEndsOnlyNeighbourRuns)
{
    velktest::TempDir dir;
    Shader *s = load_text(dir, "area1",
                          "surface area1\ncode\n"
                          "\tpushiv\t1 1 1\n\tpopc\tCi \n"
                          "\treturn_area\n"
                          "\tpushiv\t2 2 2\n\tpopc\tCi \n"
                          "\treturn\n");
    ASSERT_NE(s, nullptr);
    ShadingPoint sv;
    sv.whichdisp = DISP_DU;
    run(s, sv);
    EXPECT_EQ(sv.Ci, Color(1, 1, 1));
    sv.whichdisp = DISP_MAIN;
    run(s, sv);
    EXPECT_EQ(sv.Ci, Color(2, 2, 2));
}

TEST(Interpreter, CopiesAndStrings)
{
    velktest::TempDir dir;
    Shader *s = load_text(dir, "copies",
                          "surface copies\n"
                          "param\tcolor\tc\t0.25 0.5 0.75\n"
                          "param\tstring\tname\t\"hello\"\n"
                          "oparam\tstring\tout\t\"\"\n"
                          "param\tfloat\tf\t7\n"
                          "code\n"
                          "\tcpCC\tc Ci \n\tcpFF\tf u \n\tcpSS\tname out \n"
                          "\tpushs\tname \n\tpops\tout \n"
                          "\treturn\n");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->has_output_params, 1);
    ShadingPoint sv;
    std::vector<uint32_t> block = run(s, sv);
    EXPECT_EQ(sv.Ci, Color(0.25f, 0.5f, 0.75f));
    EXPECT_EQ(sv.u, 7.0f);
    EXPECT_STREQ(string_from_id(block[4]), "hello");
}

TEST(Interpreter, RunawayPushStopsTheRunEvenWhenIgnored)
{
    velktest::TempDir dir;
    Shader *s = load_text(dir, "runaway",
                          "surface runaway\ncode\nlabel 0\n\tpushif\t1\n\tjump\t0\n\treturn\n");
    ASSERT_NE(s, nullptr);
    velktest::ErrorCapture capture;
    ShadingPoint sv;
    int depth = slstack.depth();
    run(s, sv);
    EXPECT_TRUE(capture.has_message("SL interpreter stack overflow"));
    EXPECT_EQ(capture.count(), 1u);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_FALSE(slstack.failed());
}

TEST(Interpreter, EveryNamedOperationIsAvailable)
{
    // A shader may hold any named operation: a module's table left out of the
    // op table would leave its operations without a handler.
    int n = 0;
    const shading::OpName *names = shading::op_names(&n);
    ASSERT_GT(n, 0);
    for (int i = 0; i < n; i++) EXPECT_TRUE(op_available(names[i].opcode)) << names[i].name;
}

TEST(Interpreter, ProfileReportWithoutTimes)
{
    std::string text = shadertest::printed(print_shader_profile);
    EXPECT_EQ(text, "Shader profile times:\n\t-----------\n\t00:00:00.00\ttotal shading time\n"
                    "\nIndividual op times:\n");
}
