// Grammar, parse tree, folding and type checks, seen through the code they produce.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "compiler/driver.h"
#include "tests/compiler/compile_support.h"
#include "tests/ri/stderr_capture.h"
#include "tests/support/run_program.h"

using murntest::code_lines;
using murntest::compile_text;
using murntest::contains_run;
using murntest::head_lines;
using Lines = std::vector<std::string>;

namespace {

// The main code of a surface shader with the given body (and parameters).
Lines body_code(const std::string &body, const std::string &params = "")
{
    murntest::Compiled c = compile_text("surface s(" + params + ") {\n" + body + "\n}\n");
    EXPECT_EQ(c.status, 0) << c.err;
    return code_lines(c.file);
}

// The messages of a source that must fail: no file is left.
std::string errors_of(const std::string &source)
{
    murntest::Compiled c = compile_text(source);
    EXPECT_EQ(c.status, 1) << source;
    EXPECT_FALSE(c.written) << source;
    return c.err;
}

} // namespace

TEST(Grammar, FormalListsAcceptGroupsAndATrailingSemicolon)
{
    murntest::Compiled c =
        compile_text("surface s(float a = 1; output varying color c = 0;) { c = a; }");
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(head_lines(c.file), (Lines{"version VELK 2.5.0g", "surface s", "param\tfloat\ta\t\t1",
                                         "oparam\tvarying\tcolor\tc\t\t0 0 0"}));
}

TEST(Grammar, ASecondShaderEndsTheParseNotTheProcess)
{
    murntest::Compiled c = compile_text("surface a() { }\nsurface b() { }\nsurface c() { }\n");
    EXPECT_EQ(c.status, 1);
    EXPECT_FALSE(c.written);
    EXPECT_EQ(c.err, "murn: Only one shader may be defined per file\n");

    // Nor does a source the scanner cannot read (a directory).
    velktest::TempDir dir;
    std::FILE *in = std::fopen(dir.path().c_str(), "r");
    ASSERT_NE(in, nullptr);
    StderrCapture capture;
    murn::begin_compilation();
    EXPECT_EQ(murn::compile_preprocessed(in), 1);
    murn::end_compilation();
    std::fclose(in);
    EXPECT_EQ(capture.finish(), "murn Error: \"\", line 1: cannot read the source: input in flex scanner failed\n");
}

TEST(Grammar, BinaryOperatorsGroupByPrecedence)
{
    // a + (b ^ (c * (d . e))): dot, multiply, cross, add.
    Lines code = body_code("vector a, b, c, d, e; a = a + b ^ c * d . e;");
    EXPECT_TRUE(contains_run(code, {"pushv\te ", "pushv\td ", "vdot", "pushv\tc ", "mulvf",
                                    "pushv\tb ", "cross", "addV\ta ", "popv\ta "}))
        << ::testing::PrintToString(code);
    // (a - b) - c, and a unary minus binds tighter than '.'.
    code = body_code("float a, b, c; a = a - b - c; a = -P . N;");
    EXPECT_TRUE(contains_run(code, {"pushf\tc ", "subFF\ta b ", "subff", "popf\ta "}))
        << ::testing::PrintToString(code);
    EXPECT_TRUE(contains_run(code, {"pushv\tN ", "pushv\tP ", "negv", "vdot"}));
}

TEST(Grammar, NegatedNumbersAreConstantsAndConditionsNeedRelations)
{
    EXPECT_TRUE(contains_run(body_code("float x; x = -2;"), {"pushif\t-2 ", "popf\tx "}));
    EXPECT_NE(errors_of("surface s() { float x; if (x) x = 1; }").find("parse error"),
              std::string::npos);
    EXPECT_NE(errors_of("surface s() { float x; x = 1 < 2; }").find("parse error"),
              std::string::npos);
    // a = b = c is an expression; the inner assignment leaves its target's value.
    EXPECT_TRUE(contains_run(body_code("float a, b; a = b = 3;"),
                             {"pushif\t3 ", "popf\tb ", "pushf\tb ", "popf\ta "}));
}

TEST(Grammar, ConditionalsAndLogicGroupAsWritten)
{
    Lines code = body_code("float x; x = u < .5 || v > .5 && ! (s >= t) ? 1 : 2;");
    EXPECT_TRUE(contains_run(code, {"pushf\tt ", "pushf\ts ", "ge", "not", "pushif\t0.5 ",
                                    "pushf\tv ", "gt", "and", "pushif\t0.5 ", "pushf\tu ",
                                    "lt", "or", "ifz\t0", "pushif\t1 ", "jump\t1", "label 0",
                                    "pushif\t2 ", "label 1", "popf\tx "}))
        << ::testing::PrintToString(code);
}

TEST(Grammar, LoopsBreakLevelsAndEmptyStatements)
{
    Lines code = body_code("float i, j; ;"
                           "for (i = 0; i < 3; i += 1) { while (j < 2) { continue 2; break; } }");
    EXPECT_TRUE(contains_run(code, {"pushif\t0 ", "popf\ti ", "label 0", "pushif\t3 ",
                                    "pushf\ti ", "lt", "ifz\t2", "label 3", "pushif\t2 ",
                                    "pushf\tj ", "lt", "ifz\t5", "jump\t1", "jump\t5",
                                    "label 4", "jump\t3", "label 5", "label 1", "pushif\t1 ",
                                    "addF\ti ", "popf\ti ", "jump\t0", "label 2"}))
        << ::testing::PrintToString(code);
    EXPECT_NE(errors_of("surface s() { while (u < 1) { break 2; } }")
                  .find("bad break/continue statement"),
              std::string::npos);
}

TEST(Grammar, ForLoopHeadsLeaveNothingOnTheStack)
{
    Lines code = body_code("float i; for (i; i < 2; xcomp(P)) { }");
    EXPECT_TRUE(contains_run(code, {"pushf\ti ", "popf\t__float_dummy ", "label 0"}))
        << ::testing::PrintToString(code);
    EXPECT_TRUE(contains_run(code, {"pushv\tP ", "xcomp", "popf\t__float_dummy ", "jump\t0"}));
}

TEST(Grammar, LightStatementsAndTheirScopes)
{
    murntest::Compiled c = compile_text(
        "light l(float intensity = 1) {\n"
        "  solar() Cl = intensity;\n"
        "  solar(vector(0,0,1), 0) { float k = 1; Cl = k; }\n"
        "  illuminate(P) Cl = 1;\n"
        "  illuminate(P, vector(0,0,1), .5) Cl = 1;\n"
        "}\n");
    ASSERT_EQ(c.status, 0) << c.err;
    Lines code = code_lines(c.file);
    EXPECT_TRUE(contains_run(code, {"solar0\t0", "pushf\tintensity ", "cset\tCl ", "label 0"}))
        << ::testing::PrintToString(code);
    EXPECT_TRUE(contains_run(code, {"pushif\t0 ", "pushiv\t0 0 1 ", "solar2\t1"}));
    EXPECT_TRUE(contains_run(code, {"pushv\tP ", "illuminate1\t2"}));
    EXPECT_TRUE(contains_run(code, {"pushif\t0.5 ", "pushiv\t0 0 1 ", "pushv\tP ",
                                    "illuminate3\t3"}));
    // The single statement's block has a scope of its own.
    EXPECT_NE(c.file.find("local\tfloat\t_"), std::string::npos);

    c = compile_text("surface s() { color c = 0; illuminance(\"spec\", P, N, 1.57) c += Cl;"
                     " illuminance(P) c += Cl; }");
    ASSERT_EQ(c.status, 0) << c.err;
    code = code_lines(c.file);
    EXPECT_TRUE(contains_run(code, {"pushif\t1.57 ", "pushv\tN ", "pushv\tP ", "pushs\t$_str_0 ",
                                    "illuminance_start", "label 0", "illuminance4\t1",
                                    "pushc\tCl ", "addC\tc ", "popc\tc ", "jump\t0", "label 1"}))
        << ::testing::PrintToString(code);
    EXPECT_TRUE(contains_run(code, {"illuminance_start", "label 2", "illuminance1\t3"}));
    EXPECT_NE(errors_of("light l() { ambience() Cl = 1; }").find("unknown lighting type \"ambience\""),
              std::string::npos);
    EXPECT_NE(errors_of("light l() { solar(P) Cl = 1; }").find("bad arguments to solar"),
              std::string::npos);
}

TEST(Folding, ConstantOperandsFold)
{
    EXPECT_TRUE(contains_run(body_code("float x; x = 2 * 3 + x;"),
                             {"pushf\tx ", "pushif\t6 ", "addff", "popf\tx "}));
    Lines code = body_code("float x; x = x + 2 * 3; x = 1 / 0; x = 1e30 * 1e30;");
    EXPECT_TRUE(contains_run(code, {"pushif\t6 ", "addF\tx "}));
    // A division by zero and an overflow stay for the run time.
    EXPECT_TRUE(contains_run(code, {"pushif\t0 ", "pushif\t1 ", "divff"}));
    EXPECT_TRUE(contains_run(code, {"pushif\t1e+30 ", "pushif\t1e+30 ", "mulff"}));
}

TEST(TypeChecks, DeclarationsAndScopes)
{
    EXPECT_NE(errors_of("surface s() { float a; float a; }").find(
                  "murn Error: \"t.sl\", line 1: Duplicate symbol declaration a\n"),
              std::string::npos);
    // An inner block may shadow: the inner x gets a scoped name.
    murntest::Compiled c = compile_text("surface s() { float x = 1; { float x = 2; } }");
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_TRUE(contains_run(head_lines(c.file), {"local\tfloat\tx\t0", "local\tfloat\t_2$x\t0"}));
    // A local beside a parameter or a global of the same name never shares its name.
    c = compile_text("surface s(float Kd = 1) { float Kd = 2; float s = 3; float sl = 4; }");
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_TRUE(contains_run(head_lines(c.file), {"param\tfloat\tKd\t\t1", "local\tfloat\t_1$Kd\t0",
                                                  "local\tfloat\t_1$s\t0", "local\tfloat\t_1$sl\t0"}))
        << c.file;
}

TEST(TypeChecks, ExternMatchesTheOuterScope)
{
    murntest::Compiled c = compile_text(
        "surface s(float Kd = .5) {\n"
        "  float k() { extern float Kd; return Kd * 2; }\n"
        "  Ci = k();\n"
        "}\n");
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_TRUE(contains_run(code_lines(c.file), {"pushif\t2 ", "mulF\tKd ", "label 0", "cset\tCi "}))
        << c.file;
    std::string err = errors_of("surface s(float Kd = .5) {\n"
                                "  float k() { extern color Kd; return 1; }\n"
                                "}\n");
    EXPECT_NE(err.find("line 2: Extern declaration does not match outer scope"), std::string::npos)
        << err;
    err = errors_of("surface s() { float k() { extern float nope; return 1; } }");
    EXPECT_NE(err.find("Could not find extern symbol in outer scope nope"), std::string::npos);
}

// A parameter named like a global is the parameter in its shader; a function
// written outside the shader cannot reach the global it hides.
TEST(TypeChecks, ParametersNamedLikeGlobals)
{
    Lines code = body_code("Ci = Cs * t;", "float t = 5; color Cs = 1");
    EXPECT_TRUE(contains_run(code, {"mulCF\tCs t ", "popc\tCi "})) << ::testing::PrintToString(code);
    std::string err = errors_of("float gett() { return t; }\n"
                                "surface s(float t = 5) { Ci = gett() + t; }\n");
    EXPECT_NE(err.find("line 1: global variable hidden by a shader parameter of the same name: t\n"),
              std::string::npos) << err;
}

TEST(TypeChecks, AssignmentsAndOperators)
{
    EXPECT_NE(errors_of("surface s() { float f; f = Cs; }").find("type mismatch on assignment to f\n"),
              std::string::npos);
    EXPECT_NE(errors_of("surface s(float Kd = 1) { Kd = 2; }")
                  .find("cannot assign to a shader parameter: Kd\n"),
              std::string::npos);
    // Handing a parameter to a function's output formal is an assignment too; an output
    // parameter or a local may be handed over.
    const char *through_call = "surface s(float Kd = 1; output float o = 0) {\n"
                               "  void set(output float x) { x = 2; }\n"
                               "  float f; set(o); set(f);\n"
                               "  set(Kd);\n"
                               "}\n";
    std::string err = errors_of(through_call);
    EXPECT_NE(err.find("line 4: cannot assign to a shader parameter: Kd\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("line 3"), std::string::npos) << err;
    EXPECT_NE(errors_of("surface s() { float f = \"a\" + 1; }").find("bad binary op between strings \n"),
              std::string::npos);
    EXPECT_NE(errors_of("surface s() { float f = floatx; }").find("unknown identifier floatx\n"),
              std::string::npos);
    EXPECT_NE(errors_of("surface s() { foo(1); }").find("unknown function foo\n"), std::string::npos);
    EXPECT_NE(errors_of("surface s() { color c = P * Cs; }").find("type mismatch for *"),
              std::string::npos);
    EXPECT_NE(errors_of("surface s() { float f = Cs . P; }").find(". used on non-vectors"),
              std::string::npos);
    EXPECT_NE(errors_of("surface s() { float f; if (\"a\" < \"b\") f = 1; }")
                  .find("type mismatch on comparison"),
              std::string::npos);
    EXPECT_NE(errors_of("surface s() { float f; if (\"a\" == 1) f = 1; }")
                  .find("type mismatch on string comparison"),
              std::string::npos);
    // Accepted pairings: promoted floats, point-like mixes, string equality.
    Lines code = body_code("color c = 1; point p = 0; vector v = P ^ N; matrix m = 1;"
                           " string a = \"x\"; float f;"
                           " m = 2 / m; p = p * 2; if (a == \"y\") f = P . N;");
    EXPECT_TRUE(contains_run(code, {"pushif\t1 ", "cset\tc "}));
    EXPECT_TRUE(contains_run(code, {"pushm\tm ", "pushif\t2 ", "divfm", "popm\tm "}));
    EXPECT_TRUE(contains_run(code, {"pushs\t$_str_1 ", "pushs\ta ", "seq"}));
}

TEST(TypeChecks, TriplesTakeOnlyATripleContext)
{
    Lines code = body_code("color c = (1, 0, 0); point p = (1, 2, 3);");
    EXPECT_TRUE(contains_run(code, {"pushiv\t1 0 0 ", "popc\tc "}));
    EXPECT_NE(errors_of("surface s() { float f = (1, 2, 3); }").find("type mismatch on assignment to f"),
              std::string::npos);
    EXPECT_NE(errors_of("surface s() { point p = (1, \"a\", 3); }")
                  .find("type mismatch, expected float in triple"),
              std::string::npos);
}

TEST(TypeChecks, ArraysNeedALength)
{
    EXPECT_NE(errors_of("surface s() { float a[]; }").find("array declared without a length: a"),
              std::string::npos);
    EXPECT_NE(errors_of("surface s() { float a[0]; }").find("array declared without a length: a"),
              std::string::npos);
    murntest::Compiled c = compile_text("surface s() { float a[] = {1, 2}; a[1] = a[0]; }");
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_NE(c.file.find("local\tfloat\ta[2]\t0\n"), std::string::npos);
    EXPECT_TRUE(contains_run(code_lines(c.file), {"pushif\t1 ", "pushif\t0 ", "apopf\ta ",
                                                  "pushif\t2 ", "pushif\t1 ", "apopf\ta ",
                                                  "pushif\t0 ", "apushf\ta ", "pushif\t1 ",
                                                  "apopf\ta "}))
        << c.file;
    EXPECT_NE(errors_of("surface s() { float a[2] = {1, 2, 3}; }").find("too many initial values"),
              std::string::npos);
    EXPECT_NE(errors_of("surface s() { float a; a[1] = 2; }").find("identifier is not an array: a"),
              std::string::npos);
}

TEST(TypeChecks, NestingBeyondTheScopeStackIsAnError)
{
    std::string deep = "surface s() { " + std::string(300, '{') + std::string(300, '}') + " }";
    EXPECT_NE(errors_of(deep).find("scopes nested too deeply"), std::string::npos);
    std::string fine = "surface s() { " + std::string(200, '{') + std::string(200, '}') + " }";
    EXPECT_EQ(compile_text(fine).status, 0);
}

TEST(TypeChecks, LocalsBeyondTheInterpretersStackAreRefused)
{
    std::string err = errors_of("surface s() {\n float a[1000000];\n a[5] = 1;\n}\n");
    EXPECT_EQ(err, "murn Error: \"t.sl\", line 2: locals and string constants need 1000000 words, "
                   "more than the 8000 of the shader interpreter's stack: a\n");
    // Counted over every local, function locals and matrices among them.
    err = errors_of("float f(float x) { float t[4000]; t[1] = x; return t[1]; }\n"
                    "surface s() {\n matrix m[300];\n float x = f(u);\n}\n");
    EXPECT_NE(err.find("line 1: locals and string constants need 8801 words"), std::string::npos) << err;
    EXPECT_EQ(compile_text("surface s() { float a[7990]; a[1] = 1; }").status, 0);
}

TEST(TypeChecks, LongShadersParseWithoutStackTrouble)
{
    std::string body = "float x = 0;";
    for (int i = 0; i < 12000; i++)
        body += " x += 1;";
    murntest::Compiled c = compile_text("surface s() {" + body + "}");
    ASSERT_EQ(c.status, 0) << c.err.substr(0, 200);
    // Nesting the parser's stacks cannot hold is reported, not a crash.
    std::string nested = "surface s() { float x = " + std::string(12000, '(') + "1" +
                         std::string(12000, ')') + "; }";
    EXPECT_NE(errors_of(nested).find("parser stack overflow"), std::string::npos);
}
