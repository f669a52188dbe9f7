// The texture operations, run from shaders written in Shading Language: the
// filter region each form of call makes, the optional arguments, the fill of
// unusable files, environment, shadow, bump and textureinfo.
#include <gtest/gtest.h>

#include <string>

#include "shading_files/depthfile.h"
#include "shading/texhandles.h"
#include "tests/shading/sl_support.h"
#include "tests/shading/texture_support.h"

using sltest::param_float;
using sltest::param_string;
using sltest::param_triple;
using textest::ErrorLog;

namespace {

// Texels alternate 0 and 200 by column, so level 0 reads 0 at even
// columns while every coarser level reads 100.
std::string make_columns(const velktest::TempDir &dir)
{
    std::vector<unsigned char> px = textest::picture8(64, 64, 1, [](int x, int, int) { return x % 2 ? 200 : 0; });
    std::string pic = dir.path() + "/cols.tif", tex = dir.path() + "/cols.tex";
    textest::write_picture(pic, px.data(), 64, 64, 1);
    make_texture_file(pic.c_str(), tex.c_str(), "periodic", "periodic", RiBoxFilter, 1, 1, 0, nullptr, nullptr);
    return tex;
}

const float S10 = 10.0f / 63;   // column 10 of level 0
const float FINE = 0, COARSE = 100 / 255.0f;

// Runs a shader on the +du and +dv neighbours (which move s and t by the
// steps given) and then on the point itself, as hit shading does.
std::vector<uint32_t> run_with_neighbours(Shader *s, ShadingPoint &sv, float ds, float dt)
{
    sv.doareaops = 1;
    DerivScratch scratch(&sv);
    ShadingPoint nu = sv, nv = sv;
    nu.whichdisp = DISP_DU;
    nu.s += ds;
    nv.whichdisp = DISP_DV;
    nv.t += dt;
    shadertest::run(s, nu);
    shadertest::run(s, nv);
    sv.whichdisp = DISP_MAIN;
    return shadertest::run(s, sv);
}

} // namespace

TEST(TextureOps, FilterRegionOfEachForm)
{
    print_texture_stats(stdout);   // a fresh table
    velktest::TempDir dir;
    std::string tex = make_columns(dir);
    Shader *sh = sltest::compile(dir, "forms",
        "surface forms(string tex = \"\"; float w = 0, b = 0;\n"
        "              output float st = -1, corners = -1, blurred = -1, own = -1)\n"
        "{\n"
        "    st = texture(tex, s, t);\n"
        "    corners = texture(tex, s, t, s, t, s, t, s, t);\n"
        "    blurred = texture(tex, s, t, s, t, s, t, s, t, \"blur\", b);\n"
        "    own = texture(tex, \"width\", w);\n"
        "}\n");
    ASSERT_NE(sh, nullptr);
    sh->defaults[0] = string_id(tex.c_str());
    auto set = [&](const char *name, float v) {
        int offset = 0, type = 0;
        ASSERT_TRUE(sh->find_param(NewToken(name), &offset, &type));
        std::memcpy(reinterpret_cast<char *>(sh->defaults.data()) + offset, &v, 4);
    };

    // Without neighbours nothing is measured: every form reads level 0 at (s, t).
    ShadingPoint plain;
    plain.s = plain.t = S10;
    std::vector<uint32_t> block = shadertest::run(sh, plain);
    EXPECT_NEAR(param_float(sh, block, "st"), FINE, 1e-5f);
    EXPECT_NEAR(param_float(sh, block, "corners"), FINE, 1e-5f);

    // With neighbours three texels apart the region covers level 1.
    set("w", 1);
    set("b", 3.0f / 64);
    ShadingPoint sv;
    sv.s = sv.t = S10;
    sv.du = sv.dv = 3.0f / 64;
    sv.dsdu = sv.dtdv = 1;
    block = run_with_neighbours(sh, sv, 3.0f / 64, 3.0f / 64);
    EXPECT_NEAR(param_float(sh, block, "st"), COARSE, 1e-5f);
    EXPECT_NEAR(param_float(sh, block, "corners"), FINE, 1e-5f);                  // four equal corners
    EXPECT_NEAR(param_float(sh, block, "blurred"), COARSE, 1e-5f);       // widened by half the blur
    EXPECT_NEAR(param_float(sh, block, "own"), COARSE, 1e-5f);           // du x dsdu
    // The point's own s and t with a width of zero: level 0 again.
    set("w", 0);
    block = run_with_neighbours(sh, sv, 3.0f / 64, 3.0f / 64);
    EXPECT_NEAR(param_float(sh, block, "own"), FINE, 1e-5f);
    // Neighbours close together: level 0.
    set("w", 1);
    block = run_with_neighbours(sh, sv, 0.5f / 64, 0.5f / 64);
    EXPECT_NEAR(param_float(sh, block, "st"), FINE, 1e-6f);
}

TEST(TextureOps, ChannelsFillAndUnusableFiles)
{
    print_texture_stats(stdout);
    velktest::TempDir dir;
    std::vector<unsigned char> px = textest::picture8(16, 16, 3, [](int, int, int s) { return 60 * (s + 1); });
    std::string pic = dir.path() + "/rgb.tif", tex = dir.path() + "/rgb.tex";
    textest::write_picture(pic, px.data(), 16, 16, 3);
    make_texture_file(pic.c_str(), tex.c_str(), "clamp", "clamp", RiBoxFilter, 1, 1, 0, nullptr, nullptr);
    Shader *sh = sltest::compile(dir, "chans",
        "surface chans(string tex = \"\", missing = \"\";\n"
        "              output color all = -1, shifted = -1, gone = -1; output float one = -1, empty = -1)\n"
        "{\n"
        "    all = texture(tex, 0.5, 0.5);\n"
        "    shifted = texture(tex[1], 0.5, 0.5, \"fill\", 0.25, \"gapopt\", 1, \"filter\", \"box\");\n"
        "    one = texture(tex[2], 0.5, 0.5);\n"
        "    gone = texture(missing, 0.5, 0.5, \"fill\", 0.75);\n"
        "    empty = texture(\"\", 0.5, 0.5, \"fill\", 0.5);\n"
        "}\n");
    ASSERT_NE(sh, nullptr);
    std::string missing = dir.path() + "/none.tex";
    sh->defaults[0] = string_id(tex.c_str());
    sh->defaults[1] = string_id(missing.c_str());
    ErrorLog log;
    for (int run = 0; run < 2; ++run) {
        ShadingPoint sv;
        std::vector<uint32_t> block = shadertest::run(sh, sv);
        Point all = param_triple(sh, block, "all"), shifted = param_triple(sh, block, "shifted");
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(all[c], 60 * (c + 1) / 255.0f, 1e-6f);
        EXPECT_NEAR(shifted.x, 120 / 255.0f, 1e-6f);
        EXPECT_NEAR(shifted.y, 180 / 255.0f, 1e-6f);
        EXPECT_EQ(shifted.z, 0.25f);
        EXPECT_NEAR(param_float(sh, block, "one"), 180 / 255.0f, 1e-6f);
        EXPECT_EQ(param_triple(sh, block, "gone"), Point(0.75f, 0.75f, 0.75f));
        EXPECT_EQ(param_float(sh, block, "empty"), 0.5f);
    }
    int code = 0;
    EXPECT_EQ(log.only(&code), "Could not find texture file \"" + missing + "\"");
    EXPECT_EQ(code, 3);
}

TEST(TextureOps, EnvironmentShadowAndBump)
{
    print_texture_stats(stdout);
    velktest::TempDir dir;
    std::vector<std::string> faces;
    for (int i = 0; i < 6; ++i) {
        std::vector<unsigned char> px(16 * 16 * 3);
        for (size_t k = 0; k < px.size(); ++k) px[k] = uint8_t(k % 3 == 0 ? 40 * (i + 1) : 10);
        faces.push_back(dir.path() + "/f" + std::to_string(i) + ".tif");
        textest::write_picture(faces.back(), px.data(), 16, 16, 3);
    }
    std::string cube = dir.path() + "/cube.env";
    make_cubeface_file(faces[0].c_str(), faces[1].c_str(), faces[2].c_str(), faces[3].c_str(),
                               faces[4].c_str(), faces[5].c_str(), cube.c_str(), 90, RiBoxFilter, 1, 1, 0,
                               nullptr, nullptr);
    float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::string shad = textest::make_shadow_map(dir.path(), "d", 32, 32, std::vector<float>(32 * 32, 2.0f),
                                                identity, identity);

    Shader *sh = sltest::compile(dir, "env",
        "surface env(string cube = \"\", shad = \"\"; vector dir = 0; point at = 0;\n"
        "            output color c = -1; output float red = -1, behind = -1, biased = -1,\n"
        "            front = -1; output point b = 1)\n"
        "{\n"
        "    c = environment(cube, dir);\n"
        "    red = environment(cube, dir, dir, dir, dir);\n"
        "    behind = shadow(shad, at, \"samples\", 4);\n"
        "    biased = shadow(shad, at, \"bias\", 1.5);\n"
        "    front = shadow(shad, at - point (0, 0, 2));\n"
        "    b = bump(cube, N, dPdu, dPdv, \"blur\", 1);\n"
        "}\n");
    ASSERT_NE(sh, nullptr);
    sh->defaults[0] = string_id(cube.c_str());
    sh->defaults[1] = string_id(shad.c_str());
    const Point dirs[6] = {Point(1, 0.1f, 0), Point(-1, 0, 0.2f), Point(0, 1, 0),
                           Point(0.1f, -1, 0), Point(0, 0, 1), Point(0, 0.2f, -1)};
    for (int i = 0; i < 6; ++i) {
        int offset = 0, type = 0;
        ASSERT_TRUE(sh->find_param(NewToken("dir"), &offset, &type));
        std::memcpy(reinterpret_cast<char *>(sh->defaults.data()) + offset, dirs[i].data(), 12);
        ASSERT_TRUE(sh->find_param(NewToken("at"), &offset, &type));
        Point at(0.25f, -0.25f, 3);
        std::memcpy(reinterpret_cast<char *>(sh->defaults.data()) + offset, at.data(), 12);
        ShadingPoint sv;
        std::vector<uint32_t> block = shadertest::run(sh, sv);
        EXPECT_NEAR(param_triple(sh, block, "c").x, 40 * (i + 1) / 255.0f, 1e-5f) << i;
        EXPECT_NEAR(param_triple(sh, block, "c").y, 10 / 255.0f, 1e-5f);
        EXPECT_NEAR(param_float(sh, block, "red"), 40 * (i + 1) / 255.0f, 1e-5f) << i;
        EXPECT_EQ(param_float(sh, block, "behind"), 1.0f);
        EXPECT_EQ(param_float(sh, block, "biased"), 0.0f);
        EXPECT_EQ(param_float(sh, block, "front"), 0.0f);
        EXPECT_EQ(param_triple(sh, block, "b"), Point(0, 0, 0));
    }
}

TEST(TextureOps, TextureInfo)
{
    print_texture_stats(stdout);
    velktest::TempDir dir;
    std::string tex = make_columns(dir);
    float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float camera[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    std::string shad = textest::make_shadow_map(dir.path(), "d", 8, 4, std::vector<float>(8 * 4, 2.0f),
                                                identity, camera);

    // The first call opens the file itself; a file that is not there is
    // reported once, as a lookup reports it, and answers 0.
    Shader *sh = sltest::compile(dir, "info",
        "surface info(string tex = \"\", shad = \"\", gone = \"\";\n"
        "             output float before[2] = {0}, missing[2] = {0}, shres[2] = {0};\n"
        "             output float known = -1, chans = -1, stype = -1, lookup = -1, k[9] = {0};\n"
        "             output float one = -1, three[3] = {0}, two[2] = {0}, v16[16] = {0};\n"
        "             output point res = -1; output string kind = \"\", skind = \"\", word = \"keep\";\n"
        "             output matrix view = 0, proj = -1)\n"
        "{\n"
        "    float i;\n"   // array defaults come from initialisation code, which this run skips
        "    for (i = 0; i < 2; i += 1) { before[i] = -1; missing[i] = -1; shres[i] = -1; two[i] = -1; }\n"
        "    for (i = 0; i < 3; i += 1) three[i] = -1;\n"
        "    v16[0] = -1;\n"
        "    for (i = 0; i < 9; i += 1) k[i] = -1;\n"
        "    known = textureinfo(tex, \"resolution\", before);\n"
        "    k[0] = textureinfo(gone, \"resolution\", missing);\n"
        "    lookup = texture(gone, 0, 0, \"fill\", 0.5);\n"
        "    textureinfo(shad, \"resolution\", shres);\n"
        "    textureinfo(tex, \"channels\", chans);\n"
        "    textureinfo(tex, \"type\", kind);\n"
        "    stype = textureinfo(shad, \"type\", skind);\n"
        "    textureinfo(shad, \"viewingmatrix\", view);\n"
        "    k[1] = textureinfo(tex, \"resolution\", one);\n"
        "    k[2] = textureinfo(tex, \"resolution\", three);\n"
        "    k[3] = textureinfo(tex, \"resolution\", res);\n"
        "    k[4] = textureinfo(tex, \"channels\", two);\n"
        "    k[5] = textureinfo(tex, \"type\", one);\n"
        "    k[6] = textureinfo(tex, \"channels\", word);\n"
        "    k[7] = textureinfo(shad, \"viewingmatrix\", v16);\n"
        "    k[8] = textureinfo(shad, \"projectionmatrix\", res) + textureinfo(shad, \"nosuchinfo\", proj);\n"
        "}\n");
    ASSERT_NE(sh, nullptr);
    std::string gone = dir.path() + "/gone.tex";
    sh->defaults[0] = string_id(tex.c_str());
    sh->defaults[1] = string_id(shad.c_str());
    sh->defaults[2] = string_id(gone.c_str());
    ErrorLog log;
    ShadingPoint sv;
    std::vector<uint32_t> block = shadertest::run(sh, sv);
    EXPECT_EQ(log.only(), "Could not find texture file \"" + gone + "\"");
    EXPECT_EQ(param_float(sh, block, "known"), 1.0f);
    EXPECT_EQ(sltest::param(sh, block, "before")[0], 64.0f);
    EXPECT_EQ(sltest::param(sh, block, "before")[1], 64.0f);
    EXPECT_EQ(sltest::param(sh, block, "missing")[0], -1.0f);
    EXPECT_EQ(param_float(sh, block, "lookup"), 0.5f);
    EXPECT_EQ(sltest::param(sh, block, "shres")[0], 8.0f);
    EXPECT_EQ(sltest::param(sh, block, "shres")[1], 4.0f);
    EXPECT_EQ(param_float(sh, block, "chans"), 1.0f);
    EXPECT_EQ(param_string(sh, block, "kind"), "texture");
    EXPECT_EQ(param_float(sh, block, "stype"), 1.0f);
    EXPECT_EQ(param_string(sh, block, "skind"), "shadow");
    const float *view = sltest::param(sh, block, "view");
    for (int i = 0; i < 16; ++i) EXPECT_EQ(view[i], camera[i]) << i;
    // Too short, too long, a point, a float for a string, a string for a
    // float, floats for a matrix, a matrix into a point, an unknown name:
    // 0, and the destination as it was.
    const float *k = sltest::param(sh, block, "k");
    for (int i = 0; i < 9; ++i) EXPECT_EQ(k[i], 0.0f) << i;
    EXPECT_EQ(param_float(sh, block, "one"), -1.0f);
    EXPECT_EQ(param_triple(sh, block, "three"), Point(-1, -1, -1));
    EXPECT_EQ(param_triple(sh, block, "res"), Point(-1, -1, -1));
    EXPECT_EQ(sltest::param(sh, block, "two")[0], -1.0f);
    EXPECT_EQ(param_string(sh, block, "word"), "keep");
    EXPECT_EQ(sltest::param(sh, block, "v16")[0], -1.0f);
    EXPECT_EQ(sltest::param(sh, block, "proj")[0], -1.0f);
}
