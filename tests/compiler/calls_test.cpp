// Calls: built-in op choice, user functions expanded in place, shadeops, textures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/compiler/compile_support.h"
#include "tests/support/run_program.h"

using murntest::code_lines;
using murntest::compile_text;
using murntest::contains_run;
using Lines = std::vector<std::string>;

namespace {

Lines code_of(const std::string &source)
{
    murntest::Compiled c = compile_text(source);
    EXPECT_EQ(c.status, 0) << c.err;
    return code_lines(c.file);
}

Lines body_code(const std::string &body)
{
    return code_of("surface s() {\n" + body + "\n}\n");
}

std::string errors_of(const std::string &body)
{
    murntest::Compiled c = compile_text("surface s() {\n" + body + "\n}\n");
    EXPECT_EQ(c.status, 1) << body;
    EXPECT_FALSE(c.written);
    return c.err;
}

std::string joined(const Lines &lines)
{
    std::string out;
    for (const std::string &l : lines)
        out += l + " | ";
    return out;
}

#define EXPECT_RUN(code, ...) EXPECT_TRUE(contains_run(code, __VA_ARGS__)) << joined(code)

} // namespace

TEST(Builtins, NoiseAndRandomFollowTheirContext)
{
    Lines code = body_code("float f = noise(P); color c = noise(P); point p = noise(u, v);"
                           " vector w = cellnoise(P, time); f = pnoise(P, point(8,8,8));"
                           " p = random(); f = random();");
    EXPECT_RUN(code, {"pushv\tP ", "noisev", "popf\tf "});
    EXPECT_RUN(code, {"pushv\tP ", "colornoisev", "popc\tc "});
    EXPECT_RUN(code, {"pushf\tv ", "pushf\tu ", "pointnoiseff", "popv\tp "});
    EXPECT_RUN(code, {"pushf\ttime ", "pushv\tP ", "pointcellnoisevf", "popv\tw "});
    EXPECT_RUN(code, {"pushiv\t8 8 8 ", "pushv\tP ", "pnoisev", "popf\tf "});
    EXPECT_RUN(code, {"random", "random", "random", "popv\tp ", "random", "popf\tf "});
}

TEST(Builtins, FoldingAndDerivativesOfTextureCoordinates)
{
    Lines code = body_code("float f = radians(180); f = degrees(3.14); f = Du(s); f = Dv(t);"
                           " f = Du(f); vector d = Dv(P);");
    EXPECT_RUN(code, {"pushif\t3.1415927 ", "popf\tf "});
    EXPECT_RUN(code, {"pushif\t3.14 ", "degrees"});
    EXPECT_RUN(code, {"pushf\tdsdu ", "popf\tf ", "pushf\tdtdv ", "popf\tf ", "pushf\tf ", "Duf"});
    EXPECT_RUN(code, {"pushv\tP ", "Dvv", "popv\td "});
    // A shader that takes derivatives runs whole in the neighbour runs.
    EXPECT_EQ(code[0], "pushif\t3.1415927 ");
    EXPECT_EQ(body_code("float f = 1;")[0], "return_area");
}

TEST(Builtins, OpVariantsByArgumentForm)
{
    Lines code = body_code(
        "float a = 1, b = 2, c = 3; color x = 0, y = 1; vector w = 0; matrix m = 1; string n;"
        " a = min(a, b, c); x = max(x, y); x = clamp(x, y, x); a = mix(a, b, .5);"
        " a = log(a, 2); a = atan(a, b); w = faceforward(N, I, Ng);"
        " P = transform(\"world\", P); P = transform(m, P); w = vtransform(\"a\", \"b\", w);"
        " x = ctransform(\"hsv\", x); m = rotate(m, 1, w); m = translate(m, w);"
        " a = filterstep(.5, s); a = filterstep(.5, s, t, \"width\", 2);"
        " n = concat(n, \"a\", \"b\"); a = spline(a, 1, 2, 3, 4); x = spline(\"linear\", a, x, y, x, y);");
    EXPECT_RUN(code, {"pushf\tc ", "pushf\tb ", "pushf\ta ", "fmin", "fmin", "popf\ta "});
    EXPECT_RUN(code, {"pushc\ty ", "pushc\tx ", "cmax", "popc\tx "});
    EXPECT_RUN(code, {"cclamp", "popc\tx "});
    EXPECT_RUN(code, {"fmix", "popf\ta "});
    EXPECT_RUN(code, {"logb", "popf\ta "});
    EXPECT_RUN(code, {"atan2", "popf\ta "});
    EXPECT_RUN(code, {"faceforward3", "popv\tw "});
    EXPECT_RUN(code, {"pushv\tP ", "pushs\t$_str_0 ", "transforms", "popv\tP "});
    EXPECT_RUN(code, {"pushv\tP ", "pushm\tm ", "transformm", "popv\tP "});
    EXPECT_RUN(code, {"vtransformss", "popv\tw "});
    EXPECT_RUN(code, {"ctransforms", "popc\tx "});
    EXPECT_RUN(code, {"mrotate", "popm\tm "});
    EXPECT_RUN(code, {"mtranslate", "popm\tm "});
    EXPECT_RUN(code, {"pushf\ts ", "pushif\t0.5 ", "pushif\t0 ", "filterstep2", "popf\ta "});
    EXPECT_RUN(code, {"pushif\t2 ", "pushs\t$_str_4 ", "pushf\tt ", "pushf\ts ", "pushif\t0.5 ",
                      "pushif\t2 ", "filterstep3"});
    EXPECT_RUN(code, {"pushs\t$_str_2 ", "pushs\t$_str_1 ", "pushs\tn ", "pushif\t3 ", "concat", "pops\tn "});
    EXPECT_RUN(code, {"pushif\t4 ", "pushif\t3 ", "pushif\t2 ", "pushif\t1 ", "pushf\ta ",
                      "pushif\t4 ", "spline", "popf\ta "});
    EXPECT_RUN(code, {"pushf\ta ", "pushs\t$_str_5 ", "pushif\t4 ", "colorsplineb", "popc\tx "});
}

TEST(Builtins, CallsWithOutputArguments)
{
    Lines code = body_code(
        "float kr, kt, hit; vector r, tr; color c; point p; float f;"
        " fresnel(I, N, 1.5, kr, kt); fresnel(I, N, 1.5, kr, kt, r, tr);"
        " setycomp(r, 2); setcomp(c, 1, .5);"
        " hit = surface(\"Kd\", f); hit = textureinfo(\"tex\", \"resolution\", r);"
        " hit = rayhittest(P, I, p, r); hit = fulltrace(P, I, c, f, p, p, r, tr);"
        " f = spline(u, kr); float a[4] = {1, 2, 3, 4}; f = spline(u, a);");
    EXPECT_RUN(code, {"pushif\t1.5 ", "pushv\tN ", "pushv\tI ", "fresnel2", "popf\tkr ", "popf\tkt "});
    EXPECT_RUN(code, {"fresnel4", "popf\tkr ", "popf\tkt ", "popv\tr ", "popv\ttr "});
    EXPECT_RUN(code, {"pushif\t2 ", "pushif\t1 ", "pushv\tr ", "setcomp", "popv\tr "});
    EXPECT_RUN(code, {"pushif\t0.5 ", "pushif\t1 ", "pushc\tc ", "setcomp", "popc\tc "});
    EXPECT_RUN(code, {"pushs\t$_str_0 ", "pushif\t1 ", "surfaceM\tf ", "popf\thit "});
    EXPECT_RUN(code, {"pushs\t$_str_2 ", "pushs\t$_str_1 ", "pushif\t6 ", "textureinfoM\tr "});
    EXPECT_RUN(code, {"pushv\tI ", "pushv\tP ", "rayhittest", "popv\tp ", "popv\tr ", "popf\thit "});
    EXPECT_RUN(code, {"fulltrace", "popc\tc ", "popf\tf ", "popv\tp ", "popv\tp ", "popv\tr ",
                      "popv\ttr ", "popf\thit "});
    EXPECT_RUN(code, {"pushf\tu ", "pushif\t4 ", "faspline\ta ", "popf\tf "});
}

TEST(Builtins, CheckMessages)
{
    EXPECT_NE(errors_of("float f = fulltrace(P, I, Ci, u, P, P, P);")
                  .find("8 arguments required for fulltrace \n"),
              std::string::npos);
    std::string err = errors_of("color c; float f; point p; f = fulltrace(P, I, c, f, p, p, f, p);");
    EXPECT_NE(err.find("Ha!  arg 7 was type float\n"), std::string::npos) << err;
    EXPECT_NE(errors_of("float f = sqrt(P);").find("Bad arguments to function:  sqrt\n"),
              std::string::npos);
    EXPECT_NE(errors_of("float a, b; fresnel(I, N, 1, a + b, a);")
                  .find("Bad argument #4 to function:  fresnel"),
              std::string::npos);
    EXPECT_NE(errors_of("string s = concat(\"a\", 1);").find("Bad argument #2 to function:  concat"),
              std::string::npos);
    EXPECT_NE(errors_of("float f = Du(u, v);").find("Du and Dv must take a single argument"),
              std::string::npos);
    EXPECT_NE(errors_of("color c = Du(Cs);").find("Du/Dv can only take float or point arguments"),
              std::string::npos);
    EXPECT_NE(errors_of("setxcomp(P + N, 1);").find("argument to set*comp must be an lvalue"),
              std::string::npos);
    EXPECT_NE(errors_of("vector v = normalize(1);").find("1 point needed for normalize"),
              std::string::npos);
}

TEST(Builtins, ConstructsTheRendererLacksAreCompileErrors)
{
    for (const char *body : {"string a = mix(\"x\", \"y\", .5);",
                             "matrix m = 1, n = 1; m = m * 2 + n;"}) {
        std::string err = errors_of(body);
        EXPECT_NE(err.find("operation not available in the renderer:"), std::string::npos)
            << body << "\n" << err;
    }
    // A matrix copy has no op of its own and goes through the stack instead.
    EXPECT_RUN(body_code("matrix m = 1, n = 2; m = n;"), {"pushm\tn ", "popm\tm "});
}

TEST(UserFunctions, ExpandInPlaceWithReferencesAndCopies)
{
    Lines code = code_of("float twice(float x) { return x * 2; }\n"
                         "color twice(color c) { return c * 2; }\n"
                         "surface s() { float a = 1; color k = twice(Cs); a = twice(a) + twice(u + 1); }\n");
    // Overloads are chosen by argument type; a variable argument is passed by reference.
    EXPECT_RUN(code, {"pushif\t2 ", "pushc\tCs ", "mulcf", "label 0", "popc\tk "});
    EXPECT_RUN(code, {"pushif\t1 ", "addF\tu ", "popf\t_1$x ", "pushif\t2 ", "mulF\t_1$x ",
                      "label 1", "pushif\t2 ", "mulF\ta ", "label 2", "addff", "popf\ta "});
}

TEST(UserFunctions, NestedCallsEvaluateEveryArgumentFirst)
{
    Lines code = code_of("float f(float a; float b) { return a - b; }\n"
                         "surface s() { float x = f(1, f(2, 3)); }\n");
    EXPECT_RUN(code, {"pushif\t1 ", "pushif\t2 ", "pushif\t3 ", "popf\t_1$b ", "popf\t_1$a ",
                      "subFF\t_1$a _1$b ", "label 0", "popf\t_1$b ", "popf\t_1$a ",
                      "subFF\t_1$a _1$b ", "label 1", "popf\tx "});
}

TEST(UserFunctions, BreakAndReturnStayInsideTheBody)
{
    murntest::Compiled c = compile_text(
        "float g() { float i = 0; while (i < 3) { i += 1; if (i > 1) break; } return i; }\n"
        "surface s() { float x = 0; while (x < 10) { x += g(); } }\n");
    ASSERT_EQ(c.status, 0) << c.err;
    Lines code = code_lines(c.file);
    // g's break leaves g's loop (exit label 6); the caller's loop exits at label 2.
    EXPECT_RUN(code, {"gt", "ifz\t7", "jump\t6", "label 7", "label 5", "jump\t4", "label 6",
                      "pushf\t_1$i ", "label 3", "addF\tx "});
    std::string err = compile_text("float h() { break; return 1; }\n"
                                   "surface s() { float x; while (x < 1) x = h(); }\n").err;
    EXPECT_NE(err.find("bad break/continue statement"), std::string::npos) << err;

    c = compile_text("float k(float a) { if (a > 0) return 1; return 2; }\n"
                     "surface s() { float x = k(u); }\n");
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(c.err, "");
    EXPECT_RUN(code_lines(c.file), {"pushif\t1 ", "jump\t0", "label 1", "pushif\t2 ", "label 0"});
    err = compile_text("surface s() { return 1; }").err;
    EXPECT_NE(err.find("bad place for a return statement"), std::string::npos);
    err = compile_text("float k() { return P; } surface s() { }").err;
    EXPECT_NE(err.find("type mismatch on return"), std::string::npos);
    err = compile_text("float k(float a) { return a; } surface s() { float x = k(P); }").err;
    EXPECT_NE(err.find("arguments do not match"), std::string::npos);
}

TEST(UserFunctions, ExpansionsNestAtMost200Deep)
{
    std::string source = "float f0(float x) { return x; }\n";
    for (int i = 1; i <= 201; i++)
        source += "float f" + std::to_string(i) + "(float x) { return f" + std::to_string(i - 1) +
                  "(x); }\n";
    murntest::Compiled c = compile_text(source + "surface s() { float y = f201(u); }\n");
    EXPECT_EQ(c.status, 1);
    EXPECT_NE(c.err.find("murn possible BUG: Assertion failed in murntypes, line "),
              std::string::npos);
    c = compile_text(source + "surface s() { float y = f150(u); }\n");
    EXPECT_EQ(c.status, 0) << c.err.substr(0, 300);
}

TEST(Textures, ArgumentFormsAndResults)
{
    Lines code = body_code(
        "float f = texture(\"map\", s, t); color c = texture(\"map\"[1], s, t, \"blur\", .1);"
        " c = environment(\"env\", I); f = shadow(\"sh\", P, \"bias\", .01);"
        " f = texture(\"map\");");
    EXPECT_RUN(code, {"pushf\tt ", "pushf\ts ", "pushif\t0 ", "pushs\t$_str_0 ", "pushif\t2 ",
                      "pushif\t2 ", "ftexture", "popf\tf "});
    EXPECT_RUN(code, {"pushif\t0.1 ", "pushs\t$_str_1 ", "pushf\tt ", "pushf\ts ", "pushif\t1 ",
                      "pushs\t$_str_0 ", "pushif\t2 ", "pushif\t4 ", "ctexture", "popc\tc "});
    EXPECT_RUN(code, {"pushv\tI ", "pushif\t0 ", "pushs\t$_str_2 ", "pushif\t1 ", "pushif\t1 ",
                      "cenvironment"});
    EXPECT_RUN(code, {"shadow", "popf\tf "});
    EXPECT_NE(errors_of("float f = texture(\"m\", s);").find("bad number of arguments to texture"),
              std::string::npos);
    EXPECT_NE(errors_of("float f = texture(\"m\", P);").find("texture does not take point arguments"),
              std::string::npos);
    EXPECT_NE(errors_of("float f = shadow(\"m\", P, s);").find("shadow does not take float arguments"),
              std::string::npos);
    EXPECT_NE(errors_of("float f = texture(\"m\", s, t, \"blurry\", 1);")
                  .find("unknown texture argument: blurry"),
              std::string::npos);
    EXPECT_NE(errors_of("float f = texture(\"m\", s, t, \"blur\", \"x\");")
                  .find("bad texture argument value: blur"),
              std::string::npos);
    EXPECT_NE(errors_of("float f = texture(\"m\", s, t, \"blur\");")
                  .find("bad argument list on texture command"),
              std::string::npos);
    EXPECT_NE(errors_of("float f = texture(1, s, t);").find("texture filename must be a string"),
              std::string::npos);
}

TEST(Shadeops, LibrariesOnThePathAnswerUnknownNames)
{
    velktest::TempDir dir;
    dir.write("mathops.so", dir.read(VELK_TEST_SHADEOP));
    murntest::CompileOptions options;
    options.shadeop_path = dir.path();
    murntest::Compiled c = compile_text(
        "surface s() { float x = 2; x = sqr(x); color c = sqr(Cs * 2); sqr(x + 1); }", options);
    ASSERT_EQ(c.status, 0) << c.err;
    Lines code = code_lines(c.file);
    EXPECT_RUN(code, {"pushs\t$_str_0 ", "pushs\t$_str_1 ", "pushs\t$_str_2 ", "pushs\t$_str_3 ",
                      "pushs\t$_str_4 ", "dsoop\t1\tx ", "popf\tx "});
    EXPECT_RUN(code, {"mulcf", "popc\t$_ctmp_0 ", "pushs\t$_str_5 ", "pushs\t$_str_6 ",
                      "pushs\t$_str_7 ", "pushs\t$_str_3 ", "pushs\t$_str_4 ",
                      "dsoop\t1\t$_ctmp_0 ", "popc\tc "});
    EXPECT_RUN(code, {"addF\tx ", "popf\t$_ftmp_1 ", "pushs\t$_str_0 "});
    EXPECT_NE(c.file.find("local\tstring\t$_str_0 \t\"ff\"\n"), std::string::npos) << c.file;
    EXPECT_NE(c.file.find("\"float sqr_f(float)\""), std::string::npos);
    EXPECT_NE(c.file.find("\"sqr_f\""), std::string::npos);
    EXPECT_NE(c.file.find("\"mathops.so\""), std::string::npos);
    EXPECT_NE(c.file.find("local\tcolor\t$_ctmp_0\t0 0 0\n"), std::string::npos);

    c = compile_text("surface s() { float x = sqr(P); }", options);
    EXPECT_NE(c.err.find("Unknown function  sqr"), std::string::npos) << c.err;
    velktest::TempDir empty;
    options.shadeop_path = empty.path();
    c = compile_text("surface s() { float x = sqr(1); }", options);
    EXPECT_NE(c.err.find("unknown function sqr"), std::string::npos) << c.err;
}
