#include <gtest/gtest.h>

#include "shading/formatting.h"
#include "shading/slstack.h"
#include "tests/ri/error_capture.h"
#include "tests/shading/sl_support.h"

using sltest::param_float;
using sltest::param_string;

namespace {

// Formats with values pushed on the stack (the first value on top).
std::string format_stack(const char *format, std::initializer_list<float> words = {},
                         std::initializer_list<const char *> strings = {})
{
    SLStack::Marks marks = slstack.save_marks();
    for (auto it = words.end(); it != words.begin();) slstack.push_float(*--it);
    for (auto it = strings.end(); it != strings.begin();) slstack.push_string(*--it);
    slstack.push_string(format);
    std::string text = format_stack_text();
    EXPECT_EQ(slstack.depth(), marks.top == SLStack::WORDS ? 0 : SLStack::WORDS - marks.top);
    slstack.restore_marks(marks);
    return text;
}

} // namespace

TEST(Formatting, Conversions)
{
    // %d and %f print with %g and keep their flags and width.
    EXPECT_EQ(format_stack("[%5d|%-6f|%.2g]", {3, 0.5f, 3.14159f}), "[    3|0.5   |3.1]");
    EXPECT_EQ(format_stack("%c", {1, 0.5f, 0}), "1 0.5 0");
    EXPECT_EQ(format_stack("%p %v %n", {1, 2, 3, 4, 5, 6, 7, 8, 9}), "1 2 3 4 5 6 7 8 9");
    EXPECT_EQ(format_stack("%m", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}),
              "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1");
    EXPECT_EQ(format_stack("<%s|%-4s>", {}, {"ab", "c"}), "<ab|c   >");
    EXPECT_EQ(format_stack("100%% %+g", {2}), "100% +2");
    EXPECT_EQ(format_stack("a\\tb\\nc\\rd\\qe"), "a\tb\nc\rde");
    // A trailing backslash ends the text.
    EXPECT_EQ(format_stack("end\\"), "end");
    // Flags outside the allowed set, and runaway widths, leave the text as
    // written and consume nothing.
    EXPECT_EQ(format_stack("%*d %ld %12345g %y"), "%*d %ld %12345g %y");
    EXPECT_EQ(format_stack("50%"), "50%");
}

TEST(Formatting, CallableForms)
{
    float c[3] = {1, 0.5f, 0};
    EXPECT_STREQ(sl_format("%d:%c:%s", 2.0, c, "x"), "2:1 0.5 0:x");
    EXPECT_EQ(sl_format("same"), sl_format("same"));   // interned
    EXPECT_STREQ(sl_concat("a", "bc", "", "d", nullptr), "abcd");
    std::string long_text(3000, 'x');
    EXPECT_EQ(std::string(sl_concat(long_text.c_str(), long_text.c_str(), nullptr)).size(), 6000u);
}

TEST(StringOps, ComparisonsConcatFormatAndName)
{
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "strops",
        "surface strops(string a = \"ab\", b = \"ab\", c = \"cd\";\n"
        "               output float eq = -1, ne = -1, eq2 = -1, m = -1;\n"
        "               output string cat = \"\", fmt = \"\", name = \"\")\n"
        "{\n"
        "    eq = (a == b) ? 1 : 0; ne = (a != c) ? 1 : 0; eq2 = (a == c) ? 1 : 0;\n"
        "    m = match(\"a*\", a);\n"
        "    cat = concat(a, c, b);\n"
        "    fmt = format(\"%s=%03d %c\", c, 7, color(1, 0.5, 0));\n"
        "    name = shadername();\n"
        "}\n");
    ASSERT_NE(s, nullptr);
    Intersection sv;
    int depth = slstack.depth(), sdepth = slstack.string_depth();
    auto block = shadertest::run(s, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(slstack.string_depth(), sdepth);
    EXPECT_EQ(param_float(s, block, "eq"), 1);
    EXPECT_EQ(param_float(s, block, "ne"), 1);
    EXPECT_EQ(param_float(s, block, "eq2"), 0);
    EXPECT_EQ(param_float(s, block, "m"), 0);   // no pattern matching is done
    EXPECT_EQ(param_string(s, block, "cat"), "abcdab");
    EXPECT_EQ(param_string(s, block, "fmt"), "cd=007 1 0.5 0");
    EXPECT_EQ(param_string(s, block, "name"), "strops");
}

TEST(StringOps, PrintfIsSilentInNeighbourRuns)
{
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "printer",
        "surface printer(float x = 1.5) { printf(\"x=%f c=%c\\n\", x, Cs); Ci = Cs; }\n");
    ASSERT_NE(s, nullptr);
    Intersection sv;
    sv.Cs = Color(1, 0.5f, 0);
    int depth = slstack.depth();
    testing::internal::CaptureStdout();
    shadertest::run(s, sv);
    sv.whichdisp = DISP_DU;
    shadertest::run(s, sv);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "x=1.5 c=1 0.5 0\n");
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(sv.Ci, sv.Cs);   // the neighbour run went on after printf
}
