#include <gtest/gtest.h>

#include <cmath>

#include "ri/declarations.h"
#include "ri/tokens.h"
#include "shading_shaderfile/cipher.h"
#include "shading/interp.h"
#include "shading/nametable.h"
#include "shading/stringids.h"
#include "tests/ri/error_capture.h"
#include "tests/shading/shader_support.h"

using shadertest::load_text;
using shadertest::run;
using shadertest::word_float;

namespace {

const PARAM_INFO *param(Shader *s, const char *name)
{
    for (const PARAM_INFO *p = s->params; p->name; ++p)
        if (std::strcmp(p->name, name) == 0) return p;
    return nullptr;
}

// The words of a parameter's default.
std::vector<float> defaults(Shader *s, const char *name)
{
    const PARAM_INFO *p = param(s, name);
    std::vector<float> v;
    for (int i = 0; i < p->size / 4; ++i) v.push_back(word_float(s->defaults[p->offset / 4 + i]));
    return v;
}

// Enciphers everything after the given number of plain bytes, block by block.
std::string encipher_after(const std::string &plain, size_t keep)
{
    std::string out = plain;
    for (size_t at = keep; at < out.size(); at += shading::CIPHER_BLOCK_SIZE) {
        size_t n = std::min(shading::CIPHER_BLOCK_SIZE, out.size() - at);
        shading::stream_cipher(reinterpret_cast<unsigned char *>(&out[at]), long(n), shading::SHADER_KEY);
    }
    return out;
}

} // namespace

TEST(Loader, DeclarationsAndDefaults)
{
    velktest::TempDir dir;
    velktest::ErrorCapture errors;
    Shader *s = load_text(dir, "decls",
                          "version VELK 2.5.0g\n"
                          "surface decls\n"
                          "param\tfloat\tKd\t\t0.5\n"
                          "param\tvarying\tcolor\ttint\t1\n"
                          "param\tpoint\tfrom\t1 2 3 \"world\"\n"
                          "param\tmatrix\tm\t2\n"
                          "param\tmatrix\tfull\t1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
                          "param\tstring\ttex\t\"a \\\"quoted\\\" name\"\n"
                          "param\tfloat\tarr[3]\t4\n"
                          "local\tcolor\ttmp\t0 0 0\n"
                          "local\tstring\t$_str_0 \t\"hello\"\n"
                          "code\n\treturn\n");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(errors.count(), 0u);
    EXPECT_STREQ(s->name, "decls");
    EXPECT_EQ(s->kind, SH_SURFACE);
    EXPECT_EQ(s->param_count(), 7);
    EXPECT_EQ(defaults(s, "Kd"), std::vector<float>({0.5f}));
    EXPECT_EQ(defaults(s, "tint"), std::vector<float>({1, 1, 1}));
    EXPECT_EQ(param(s, "tint")->detail, DETAIL_VARYING);
    EXPECT_EQ(param(s, "Kd")->detail, DETAIL_UNIFORM);
    EXPECT_EQ(defaults(s, "from"), std::vector<float>({1, 2, 3}));
    EXPECT_EQ(param(s, "from")->space, NewToken("world"));
    std::vector<float> m = defaults(s, "m");
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 2.0f : 0.0f) << i;
    EXPECT_EQ(defaults(s, "full")[15], 16.0f);
    const PARAM_INFO *tex = param(s, "tex");
    EXPECT_EQ(tex->type, PtSTRING);
    EXPECT_EQ(tex->size, 4);
    EXPECT_STREQ(string_from_id(s->defaults[tex->offset / 4]), "a \"quoted\" name");
    const PARAM_INFO *arr = param(s, "arr");
    EXPECT_EQ(arr->isarray, 1);
    EXPECT_EQ(arr->howmany, 3);
    EXPECT_EQ(arr->size, 12);
    EXPECT_EQ(defaults(s, "arr"), std::vector<float>({4, 4, 4}));
    // Offsets are the sums of the sizes before them.
    EXPECT_EQ(param(s, "tint")->offset, 4);
    EXPECT_EQ(param(s, "from")->offset, 16);
    EXPECT_EQ(s->param_size, 4 + 12 + 12 + 64 + 64 + 4 + 12);
    EXPECT_EQ(s->local_size, 16);
    EXPECT_STREQ(string_from_id(s->local_init[3]), "hello");
    // local + 4 x (init words + 7 x params + code words + param words) + 88
    EXPECT_EQ(s->memory, 16 + 4 * (0 + 7 * 7 + 2 + 43) + 88);
    // The load's symbols are gone from the table again.
    EXPECT_EQ(global_variable_table().count(), 37);
    EXPECT_EQ(global_variable_table().lookup("Kd"), nullptr);
}

TEST(Loader, Versions)
{
    velktest::TempDir dir;
    velktest::ErrorCapture errors;
    const char *body = "surface v\ncode\n\treturn\n";
    EXPECT_NE(load_text(dir, "v1", std::string("version VELK 2.5.0z\n") + body), nullptr);
    EXPECT_NE(load_text(dir, "v2", body), nullptr);
    EXPECT_EQ(errors.count(), 0u);
    EXPECT_EQ(load_text(dir, "v3", std::string("version VELK 2.5.1a\n") + body), nullptr);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_BADFILE);
    EXPECT_EQ(errors.reports[0].message,
              "Shader \"" + dir.path() + "/v3.murn\" was compiled by a more recent VELK\n"
              "\tYou can only render this shader with VELK 2.5.1 or newer");
    errors.clear();
    EXPECT_EQ(load_text(dir, "v4", std::string("version VELK 2.6.0g\n") + body), nullptr);
    EXPECT_TRUE(errors.has_message("VELK 2.6.0 or newer"));
    errors.clear();
    // Another tag is reported and the kind word follows.
    EXPECT_NE(load_text(dir, "v5", std::string("version OTHER\n") + body), nullptr);
    EXPECT_TRUE(errors.has_message("Unrecognized compiled shader version \"OTHER\""));
}

TEST(Loader, StructureErrors)
{
    velktest::TempDir dir;
    velktest::ErrorCapture errors;
    EXPECT_EQ(load_text(dir, "k1", "version VELK 2.5.0g\nsurfacex k1\ncode\n\treturn\n"), nullptr);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_NOSHADER);
    EXPECT_EQ(errors.reports[0].message,
              "Error reading shader file " + dir.path() + "/k1.murn\n (2) Unknown shader type surfacex\n");
    errors.clear();
    EXPECT_EQ(load_text(dir, "k2", "surface k2\nparam\tint\ti\t1\ncode\n\treturn\n"), nullptr);
    EXPECT_TRUE(errors.has_message("Bad data type: int"));
    EXPECT_TRUE(errors.has_message("Invalid structure int"));
    errors.clear();
    EXPECT_EQ(load_text(dir, "k3", "surface k3\nbogus\n"), nullptr);
    EXPECT_TRUE(errors.has_message("Invalid structure bogus"));
}

TEST(Loader, InstructionRecovery)
{
    velktest::TempDir dir;
    velktest::ErrorCapture errors;
    // A bad instruction is reported and dropped; its operands read as lines.
    Shader *s = load_text(dir, "bad1",
                          "surface bad1\ncode\n\tfrobnicate\t1\n\tpushiv\t0 1 0\n\tpopc\tCi \n\treturn\n");
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(errors.has_message("Bad instruction: frobnicate"));
    EXPECT_TRUE(errors.has_message("Bad instruction: 1"));
    ShadingPoint sv;
    run(s, sv);
    EXPECT_EQ(sv.Ci, Color(0, 1, 0));
    errors.clear();
    // A bad operand is reported and the shader refused: no stream out of step.
    EXPECT_EQ(load_text(dir, "bad2", "surface bad2\ncode\n\tpopc\tnosuch \n\treturn\n"), nullptr);
    EXPECT_TRUE(errors.has_message("Bad argument: nosuch"));
    errors.clear();
    EXPECT_EQ(load_text(dir, "bad3", "surface bad3\ncode\n\tpushif\tx\n\treturn\n"), nullptr);
    EXPECT_TRUE(errors.has_message("Bad argument: x"));
    errors.clear();
    // Undefined labels, and labels of the other section, refuse the load.
    EXPECT_EQ(load_text(dir, "bad4", "surface bad4\ncode\n\tjump\t7\n\treturn\n"), nullptr);
    EXPECT_TRUE(errors.has_message("Bad label"));
    EXPECT_EQ(load_text(dir, "bad5",
                        "surface bad5\ninitcode 1\nlabel 3\n\treturn\ncode\n\tjump\t3\n\treturn\n"),
              nullptr);
    errors.clear();
    EXPECT_EQ(load_text(dir, "bad6", "surface bad6\ncode\nlabel x\n\treturn\n"), nullptr);
    EXPECT_TRUE(errors.has_message("Bad label"));
}

TEST(Loader, CodeWordsLabelsAndInitCode)
{
    velktest::TempDir dir;
    Shader *s = load_text(dir, "words",
                          "surface words\n"
                          "param\tfloat\tKd\t0.5\n"
                          "initcode 2\n"
                          "label 4\n"
                          "\tpushif\t0.25\n\tpopf\tKd \n\tjump\t5\n"
                          "label 5\n"
                          "\treturn\n"
                          "code\n"
                          "# a comment line\n"
                          "\tpushif\t1.5\n"
                          "label 9\n"
                          "\tifz\t9\n"
                          "\tpushf\tP \n"
                          "\treturn\n");
    ASSERT_NE(s, nullptr);
    // pushif 1.5, ifz 9, pushf P, return, then the return that ends every stream.
    ASSERT_EQ(s->code.size(), 8u);
    EXPECT_EQ(s->code[0], uint32_t(find_op("pushif")->opcode));
    EXPECT_EQ(word_float(s->code[1]), 1.5f);
    EXPECT_EQ(s->code[3], 8u);   // label 9 at word 2: byte offset 8
    EXPECT_EQ(s->code[5], segment_address(SEG_GLOBAL, offsetof(ShadingPoint, Ps)));
    EXPECT_EQ(s->code[6], uint32_t(find_op("return")->opcode));
    // Init code labels are fixed up in the init code itself.
    ASSERT_EQ(s->init_code.size(), 8u);
    EXPECT_EQ(s->init_code[5], 24u);
    EXPECT_EQ(s->init_code[3], segment_address(SEG_PARAM, 0));
}

TEST(Loader, FlagsAndLightView)
{
    velktest::TempDir dir;
    Shader *l = load_text(dir, "lview",
                          "light lview\ncode\n"
                          "\tpushf\tP \n\tpushf\tPs \n\tpushf\tN \n\tpushf\ts \n"
                          "\tilluminate1\t0\nlabel 0\n\treturn\n");
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->kind, SH_LIGHT);
    EXPECT_EQ(l->code[1], segment_address(SEG_GLOBAL, offsetof(ShadingPoint, Pl)));
    EXPECT_EQ(l->code[3], segment_address(SEG_GLOBAL, offsetof(ShadingPoint, Ps)));
    EXPECT_EQ(l->code[5], segment_address(SEG_GLOBAL, offsetof(ShadingPoint, Nl)));
    EXPECT_EQ(l->code[7], segment_address(SEG_GLOBAL, offsetof(ShadingPoint, sl)));
    EXPECT_EQ(l->flags, 0x2000 | 0x10);
    // A parameter named like the light's own copy leaves the global view alone.
    Shader *p = load_text(dir, "pview",
                          "light pview\nparam\tfloat\tsl\t1\ncode\n\tpushf\ts \n\tpushf\tsl \n\treturn\n");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->code[1], segment_address(SEG_GLOBAL, offsetof(ShadingPoint, sl)));
    EXPECT_EQ(p->code[3], segment_address(SEG_PARAM, 0));
    Shader *s = load_text(dir, "sview",
                          "surface sview\ncode\n\tpushf\tP \n\tpushf\tdu \n\tDuf\n\tftexture\n\treturn\n");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->code[1], segment_address(SEG_GLOBAL, offsetof(ShadingPoint, Ps)));
    EXPECT_EQ(s->flags, 0x8 | 0x1008 | 0x1018);
}

// A lookup asks for the neighbour runs only when its constant positional
// count means it measures its own coordinates' neighbours.
TEST(Loader, LookupsTakeNeighboursByPositionalCount)
{
    velktest::TempDir dir;
    struct Case {
        const char *op, *before;
        bool neighbours;
    } cases[] = {
        {"ctexture", "\tpushif\t0 \n\tpushif\t0 \n", false},   // the point's own s, t
        {"ftexture", "\tpushif\t8 \n\tpushif\t10 \n", false},  // four corners
        {"ctexture", "\tpushif\t2 \n\tpushif\t2 \n", true},    // given s, t
        {"ctexture", "\tpushif\t0 \nlabel 1\n\tpushif\t0 \n", true},
        {"ctexture", "\tpushf\tKd \n\tpushif\t0 \n", true},
        {"shadow", "\tpushif\t4 \n\tpushif\t4 \n", false},
        {"cenvironment", "\tpushif\t1 \n\tpushif\t1 \n", true},
    };
    int n = 0;
    for (const Case &c : cases) {
        std::string name = "look" + std::to_string(n++);
        Shader *s = load_text(dir, name.c_str(),
                              "surface " + name + "\nparam\tfloat\tKd\t1\ncode\n" + c.before + "\t" + c.op +
                                  "\n\treturn\n");
        ASSERT_NE(s, nullptr) << name;
        EXPECT_EQ((s->flags & VU_NEIGHBOURS) != 0, c.neighbours) << c.op << " after " << c.before;
    }
}

// A repeated variable resolves to its first declaration; a shader's own
// variable named like a global hides the global.
TEST(Loader, RepeatedNamesResolveToTheFirst)
{
    velktest::TempDir dir;
    Shader *s = load_text(dir, "dup",
                          "surface dup\n"
                          "param\tfloat\tx\t1\n"
                          "param\tfloat\tx\t2\n"
                          "local\tfloat\tu\t3\n"
                          "code\n\tpushf\tx \n\tpopf\tu \n\treturn\n");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->param_count(), 2);
    EXPECT_EQ(s->code[1], segment_address(SEG_PARAM, 0));
    EXPECT_EQ(s->code[3], segment_address(SEG_LOCAL, 0));
}

TEST(Loader, EncipheredFileReadsLikeItsPlainForm)
{
    velktest::TempDir dir;
    // Long enough for several cipher blocks.
    std::string body = "surface enc\nparam\tstring\tname\t\"encrypted\"\ncode\n";
    while (body.size() < 3 * shading::CIPHER_BLOCK_SIZE) body += "# padding padding padding padding\n";
    body += "\tpushiv\t0.5 0.25 1\n\tpopc\tCi \n\treturn\n";
    std::string head = "version VELK 2.5.0g\nencrypted\n";
    Shader *s = load_text(dir, "enc", encipher_after(head + body, head.size()));
    ASSERT_NE(s, nullptr);
    ShadingPoint sv;
    std::vector<uint32_t> block = run(s, sv);
    EXPECT_EQ(sv.Ci, Color(0.5f, 0.25f, 1));
    EXPECT_STREQ(string_from_id(block[0]), "encrypted");

    // "encrypted" anywhere else is an ordinary word.
    velktest::ErrorCapture errors;
    EXPECT_EQ(load_text(dir, "enc2", "surface enc2\nencrypted\ncode\n\treturn\n"), nullptr);
    EXPECT_TRUE(errors.has_message("Invalid structure encrypted"));
}

TEST(Loader, SearchesTheShaderPathNativeFirst)
{
    velktest::TempDir dir;
    dir.write("onpath.murn", "surface onpath\ncode\n\treturn\n");
    setenv("VELKSHADERS", ("/nonexistent:" + dir.path()).c_str(), 1);
    Shader *s = load_compiled_shader("onpath");
    unsetenv("VELKSHADERS");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->name, "onpath");
    EXPECT_EQ(load_compiled_shader("onpath_missing"), nullptr);
}
