// The compiled-shader file: declarations, initialisation code, numbers,
// strings and the enciphered form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shading_shaderfile/cipher.h"
#include "tests/compiler/compile_support.h"

using murntest::check_format;
using murntest::code_lines;
using murntest::compile_text;
using murntest::contains_run;
using Lines = std::vector<std::string>;

namespace {

murntest::Compiled compiled(const std::string &source, const murntest::CompileOptions &o = {})
{
    murntest::Compiled c = compile_text(source, o);
    EXPECT_EQ(c.status, 0) << c.err;
    murntest::FormatCheck f = check_format(c.file);
    EXPECT_TRUE(f.problems.empty()) << f.problems.front() << "\n" << c.file;
    return c;
}

bool has(const std::string &file, const std::string &text)
{
    return file.find(text) != std::string::npos;
}

} // namespace

TEST(Writer, ConstantDefaultsNeedNoInitialisationCode)
{
    EXPECT_EQ(compiled("surface plastic(float Ks = .5) { }").file,
              "version VELK 2.5.0g\nsurface plastic\nparam\tfloat\tKs\t\t0.5\ncode\n"
              "\treturn_area\n\treturn\n");
    std::string file = compiled("displacement d(float f = float 2; matrix m = matrix 3;"
                                " color k = color 4; uniform point p = point (1, 2, 3);"
                                " varying string n = \"x\"; vector v; matrix z = -1) { }").file;
    EXPECT_TRUE(has(file, "displacement d\nparam\tfloat\tf\t\t2\nparam\tmatrix\tm\t\t3\n"
                          "param\tcolor\tk\t\t4 4 4\nparam\tpoint\tp\t\t1 2 3\n"
                          "param\tvarying\tstring\tn\t\t\"x\"\nparam\tvector\tv\t0 0 0\n"
                          "param\tmatrix\tz\t\t-1\nlocal\tstring\t$_str_0 \t\"x\"\ncode\n"))
        << file;
}

TEST(Writer, ComputedDefaultsGoToTheirInitialisationSections)
{
    std::string file = compiled("surface s(color c = color \"hsv\" (0, 1, 1); float a = 1;"
                                " float b = a * 2; float arr[2] = {a, 3}; color k = u;"
                                " point q = point \"object\" (1, 0, 0)) { }").file;
    EXPECT_TRUE(has(file, "param\tcolor\tc\t\t0 1 1 \"hsv\"\nparam\tfloat\ta\t\t1\n"
                          "param\tfloat\tb\t\t0\nparam\tfloat\tarr[2]\t\t0\n"
                          "param\tcolor\tk\t\t0 0 0\nparam\tpoint\tq\t\t1 0 0 \"object\"\n"))
        << file;
    EXPECT_TRUE(has(file, "initcode 0\n\tpushiv\t0 1 1 \n\thsv_to_rgb\n\tpopc\tc \n"
                          "initcode 2\n\tpushif\t2 \n\tmulF\ta \n\tpopf\tb \n"
                          "initcode 3\n\tpushf\ta \n\tpushif\t0 \n\tapopf\tarr \n\tpushif\t3 \n"
                          "\tpushif\t1 \n\tapopf\tarr \n"
                          "initcode 4\n\tpushf\tu \n\tcset\tk \n"
                          "initcode 5\n\tpushiv\t1 0 0 \n\tpushs\t$_str_0 \n\tpushs\t$_str_1 \n"
                          "\tptransformss\n\tpopv\tq \n\treturn\ncode\n"))
        << file;
    EXPECT_TRUE(has(file, "local\tstring\t$_str_0 \t\"current\"\nlocal\tstring\t$_str_1 \t\"object\"\n"));
    // Jumps inside initialisation code have their labels there.
    file = compiled("surface s(float a = u > .5 ? 1 : 0) { }").file;
    EXPECT_TRUE(has(file, "initcode 0\n\tpushif\t0.5 \n\tpushf\tu \n\tgt\n\tifz\t0\n\tpushif\t1 \n"
                          "\tjump\t1\nlabel 0\n\tpushif\t0 \nlabel 1\n\tpopf\ta \n\treturn\n"))
        << file;
}

TEST(Writer, NumbersReadBackAsTheSameFloat)
{
    Lines code = code_lines(compiled("surface s() { float a = 0.1234567, b = 1.0 / 3,"
                                     " c = 16777217, d = 1e-7, e = 3e38; }").file);
    EXPECT_TRUE(contains_run(code, {"pushif\t0.1234567 ", "popf\ta ", "pushif\t0.33333334 ",
                                    "popf\tb ", "pushif\t16777216 ", "popf\tc ",
                                    "pushif\t1e-07 ", "popf\td ", "pushif\t3e+38 ", "popf\te "}));
}

TEST(Writer, StringsKeepTheirEscapesSoQuotesStayInside)
{
    std::string file = compiled("surface s(string n = \"a\\\"b\") {"
                                " printf(\"say \\\"hi\\\"\\n\"); printf(\"\\\\\"); }").file;
    EXPECT_TRUE(has(file, "param\tstring\tn\t\t\"a\\\"b\"\n")) << file;
    EXPECT_TRUE(has(file, "local\tstring\t$_str_1 \t\"say \\\"hi\\\"\\n\"\n")) << file;
    EXPECT_TRUE(has(file, "local\tstring\t$_str_2 \t\"\\\\\"\n")) << file;
}

TEST(Writer, LocalsTemporariesAndDummiesAreDeclaredOnce)
{
    std::string file = compiled("surface s() { float x = 1; xcomp(P); ycomp(P);"
                                " { float x = 2; point p; } }").file;
    EXPECT_TRUE(has(file, "surface s\nlocal\tfloat\tx\t0\nlocal\tfloat\t__float_dummy\t0\ncode\n"
                          "local\tfloat\t_2$x\t0\nlocal\tpoint\t_2$p\t0 0 0\ncode\n"))
        << file;
    EXPECT_TRUE(contains_run(code_lines(file), {"pushv\tP ", "xcomp", "popf\t__float_dummy ",
                                                "pushv\tP ", "ycomp", "popf\t__float_dummy "}));
}

TEST(Writer, EncipheredFilesKeepTheirFirstTwoLinesPlain)
{
    std::string body;
    for (int i = 0; i < 700; i++)
        body += "Ci += color(" + std::to_string(i) + ", 0, 1);\n";
    std::string source = "surface big(float Ks = .5) {\n" + body + "}\n";
    murntest::CompileOptions crypt;
    crypt.crypt = true;
    std::string plain = compiled(source).file;
    std::string hidden = compiled(source, crypt).file;
    const std::string version = "version VELK 2.5.0g\n";
    ASSERT_GT(plain.size(), 3 * shading::CIPHER_BLOCK_SIZE);
    ASSERT_EQ(hidden.compare(0, version.size() + 10, version + "encrypted\n"), 0);
    std::string rest = hidden.substr(version.size() + 10);
    ASSERT_EQ(rest.size(), plain.size() - version.size());
    EXPECT_NE(rest, plain.substr(version.size()));
    for (size_t i = 0; i < rest.size(); i += shading::CIPHER_BLOCK_SIZE)
        shading::stream_cipher(reinterpret_cast<unsigned char *>(&rest[i]),
                               long(std::min(shading::CIPHER_BLOCK_SIZE, rest.size() - i)),
                               shading::SHADER_KEY);
    EXPECT_EQ(rest, plain.substr(version.size()));
    EXPECT_TRUE(check_format(hidden).encrypted);
}

TEST(Writer, MatrixInverseCastsInvert)
{
    Lines code = code_lines(compiled("surface s() { matrix m = 2; m = matrixinv m;"
                                     " m = matrix \"shader\" 1; normal n = normal 1; }").file);
    EXPECT_TRUE(contains_run(code, {"pushm\tm ", "pushif\t1 ", "divfm", "popm\tm "}));
    EXPECT_TRUE(contains_run(code, {"pushif\t1 ", "ftom", "pushs\t$_str_0 ", "pushs\t$_str_1 ",
                                    "mtransformss", "popm\tm "}));
    EXPECT_TRUE(contains_run(code, {"pushif\t1 ", "ftov", "popv\tn "}));
}
