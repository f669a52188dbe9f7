#include <gtest/gtest.h>

#include "shading/formatting.h"
#include "shading_shaderfile/slstack.h"
#include "tests/shading/sl_support.h"

using sltest::param_float;
using sltest::param_string;

namespace {

// Formats with the given words pushed (the first on top) after the strings.
std::string format_stack(const char *format, std::initializer_list<float> words = {},
                         std::initializer_list<const char *> strings = {})
{
    SLStack::Marks marks = slstack.save_marks();
    for (auto it = words.end(); it != words.begin();) slstack.push_float(*--it);
    for (auto it = strings.end(); it != strings.begin();) slstack.push_string(*--it);
    slstack.push_string(format);
    std::string text = format_stack_text();
    EXPECT_EQ(slstack.top, marks.top);
    slstack.restore_marks(marks);
    return text;
}

} // namespace

TEST(Formatting, Conversions)
{
    // %d and %f print as %g with their flags and width.
    EXPECT_EQ(format_stack("[%5d|%-6f|%.2g]", {3, 0.5f, 3.14159f}), "[    3|0.5   |3.1]");
    EXPECT_EQ(format_stack("%c", {1, 0.5f, 0}), "1 0.5 0");
    EXPECT_EQ(format_stack("%m", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}),
              "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1");
    EXPECT_EQ(format_stack("<%s|%-4s> 100%%", {}, {"ab", "c"}), "<ab|c   > 100%");
    EXPECT_EQ(format_stack("a\\tb\\nc\\qd\\"), "a\tb\ncd");   // a trailing backslash ends it
    // Flags outside the allowed set and runaway widths stand as written.
    EXPECT_EQ(format_stack("%*d %ld %12345g 50%"), "%*d %ld %12345g 50%");
    // No length limit.
    std::string long_text(3000, 'x');
    EXPECT_EQ(std::string(sl_concat(long_text.c_str(), long_text.c_str(), nullptr)).size(), 6000u);
}

TEST(StringOps, ComparisonsConcatFormatAndPrintf)
{
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "strops",
        "surface strops(string a = \"ab\", b = \"ab\", c = \"cd\"; output float eq = -1, m = -1, m2 = -1;\n"
        "               output string cat = \"\", fmt = \"\", name = \"\")\n"
        "{\n"
        "    eq = (a == b && a != c) ? 1 : 0;\n"
        "    m = match(\"ba+r\", \"xbaar\") + 10 * match(\"^ba+r$\", \"xbaar\");\n"
        "    m2 = match(\"[0-9]+\", concat(c, \"42\"));\n"
        "    cat = concat(a, c, b); fmt = format(\"%s=%03d\", c, 7); name = shadername();\n"
        "    printf(\"x=%f c=%c\\n\", 1.5, Cs);\n"
        "}\n");
    ASSERT_NE(s, nullptr);
    ShadingPoint sv;
    sv.Cs = Color(1, 0.5f, 0);
    int depth = slstack.depth(), sdepth = slstack.string_depth();
    testing::internal::CaptureStdout();
    auto block = shadertest::run(s, sv);
    sv.whichdisp = DISP_DU;   // a neighbour run prints nothing
    shadertest::run(s, sv);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "x=1.5 c=1 0.5 0\n");
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(slstack.string_depth(), sdepth);
    EXPECT_EQ(param_float(s, block, "eq"), 1);
    // match answers 1.0 where the regular expression matches somewhere in the subject.
    EXPECT_EQ(param_float(s, block, "m"), 1);
    EXPECT_EQ(param_float(s, block, "m2"), 1);
    EXPECT_EQ(param_string(s, block, "cat"), "abcdab");
    EXPECT_EQ(param_string(s, block, "fmt"), "cd=007");
    EXPECT_EQ(param_string(s, block, "name"), "strops");
}
