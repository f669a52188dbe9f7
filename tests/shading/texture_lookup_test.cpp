// Texture lookup: texels read back through the tile cache and the in-memory
// pyramid, wrapping, level choice, environment and shadow lookups, and the
// handling of files that cannot be used.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ri/tokens.h"
#include "shading_files/depthfile.h"
#include "shading/texhandles.h"
#include "shading/texture.h"
#include "shading/tilecache.h"
#include "tests/ri/recording_renderer.h"
#include "tests/shading/shader_support.h"
#include "tests/shading/texture_support.h"
#include "tests/support/run_program.h"

using textest::ErrorLog;

namespace {

// Forgets the textures of earlier tests.
void fresh_table()
{
    print_texture_stats(stdout);
}

// A one-channel 8-bit texture of w x h whose texel (x, y) is value(x, y).
std::string make_grey_texture(const velktest::TempDir &dir, const char *name, int w, int h,
                              const std::function<int(int, int)> &value, RtToken swrap = "periodic",
                              RtToken twrap = nullptr)
{
    std::vector<unsigned char> px = textest::picture8(w, h, 1, [&](int x, int y, int) { return value(x, y); });
    std::string pic = dir.path() + "/" + name + ".tif", tex = dir.path() + "/" + name + ".tex";
    textest::write_picture(pic, px.data(), w, h, 1);
    make_texture_file(pic.c_str(), tex.c_str(), swrap, twrap ? twrap : swrap, RiBoxFilter, 1, 1, 0, nullptr, nullptr);
    return tex;
}

// A point lookup (a region of no size) of one channel.
float at(const std::string &tex, float s, float t, float fill = -1)
{
    TextureArgs a;
    a.fill = fill;
    a.measure = 1;
    float corners[8] = {s, t, s, t, s, t, s, t};
    float r = -99;
    texture_lookup(tex.c_str(), corners, &r, a);
    return r;
}

// A lookup over a square region of side ds centred on (s, t).
float over(const std::string &tex, float s, float t, float ds)
{
    TextureArgs a;
    a.measure = 1;
    float h = ds / 2;
    float corners[8] = {s - h, t - h, s + h, t - h, s - h, t + h, s + h, t + h};
    float r = -99;
    texture_lookup(tex.c_str(), corners, &r, a);
    return r;
}

} // namespace

TEST(TextureLookup, TexelsComeBackThroughTheCache)
{
    fresh_table();
    velktest::TempDir dir;
    std::string tex = make_grey_texture(dir, "ramp", 512, 512, [](int x, int y) { return (x * 3 + y * 7) & 255; });
    // Texel (x, y) lies at s = x / 511: read many tiles in a scattered order.
    std::srand(7);
    for (int i = 0; i < 3000; ++i) {
        int x = std::rand() % 512, y = std::rand() % 512;
        ASSERT_NEAR(at(tex, x / 511.0f, y / 511.0f), ((x * 3 + y * 7) & 255) / 255.0f, 1e-5f) << x << "," << y;
    }
    Texture *t = find_texture(tex.c_str());
    ASSERT_NE(t, nullptr);
    EXPECT_GT(t->misses, 0);
    EXPECT_GT(tile_cache_slots(), 0);
    // Halfway between two texels: the mean.
    EXPECT_NEAR(at(tex, 0.5f / 511, 0), (0 + 3) / 2.0f / 255, 1e-5f);
}

TEST(TextureLookup, WrapModesAndAspect)
{
    fresh_table();
    velktest::TempDir dir;
    auto ramp = [](int x, int) { return x * 4; };   // s = 0.25 gives 63 / 255
    std::string periodic = make_grey_texture(dir, "p", 64, 64, ramp, "periodic");
    std::string clamp = make_grey_texture(dir, "c", 64, 64, ramp, "clamp");
    std::string black = make_grey_texture(dir, "b", 64, 64, ramp, "black", "periodic");
    const float s = 0.25f;
    EXPECT_NEAR(at(periodic, 1.25f, 0.5f), at(periodic, s, 0.5f), 1e-5f);
    EXPECT_NEAR(at(periodic, -0.75f, 0.5f), at(periodic, s, 0.5f), 1e-5f);
    EXPECT_NEAR(at(clamp, 1.25f, 0.5f), 252 / 255.0f, 1e-5f);
    EXPECT_NEAR(at(clamp, -3.0f, 0.5f), 0.0f, 1e-5f);
    EXPECT_EQ(at(black, 1.25f, 0.5f, 0.5f), 0.5f);           // the fill value
    EXPECT_NEAR(at(black, 0.5f, 1.25f), at(black, 0.5f, 0.25f), 1e-5f);   // t is periodic
    EXPECT_EQ(at(periodic, NAN, 0.5f, 0.75f), 0.75f);
    EXPECT_EQ(at(clamp, INFINITY, NAN, 0.25f), 0.25f);

    // A picture twice as wide as high: t = 0.25 and 0.75 reach the edges.
    std::vector<unsigned char> px = textest::picture8(128, 64, 1, [](int, int y, int) { return y * 4; });
    std::string pic = dir.path() + "/wide.tif", tex = dir.path() + "/wide.tex";
    textest::write_picture(pic, px.data(), 128, 64, 1);
    make_texture_file(pic.c_str(), tex.c_str(), "clamp", "clamp", RiBoxFilter, 1, 1, 0, nullptr, nullptr);
    EXPECT_NEAR(at(tex, 0.5f, 0.25f), 0.0f, 1e-5f);
    EXPECT_NEAR(at(tex, 0.5f, 0.75f), 252 / 255.0f, 1e-5f);
}

TEST(TextureLookup, LevelChoiceBlendsNeighbouringLevels)
{
    fresh_table();
    velktest::TempDir dir;
    // Texels alternate 0 and 200 by column: level 0 differs from its mean.
    std::string tex = make_grey_texture(dir, "cols", 64, 64, [](int x, int) { return x % 2 ? 200 : 0; });
    const float s = 10.0f / 63, t = 10.0f / 63;   // texel 10, value 0
    EXPECT_NEAR(over(tex, s, t, 0), 0.0f, 1e-6f);
    EXPECT_NEAR(over(tex, s, t, 1.0f / 64), 0.0f, 1e-6f);           // one texel: level 0 alone
    // One and a half texels: half level 0, half level 1 (every texel 100).
    EXPECT_NEAR(over(tex, s, t, 1.5f / 64), 0.5f * 0.0f + 0.5f * 100 / 255.0f, 1e-3f);
    // Three texels: level 1 alone.
    EXPECT_NEAR(over(tex, s, t, 3.0f / 64), 100 / 255.0f, 1e-5f);
    // Wider than the texture: the smallest level.
    EXPECT_NEAR(over(tex, s, t, 4.0f), 100 / 255.0f, 1e-5f);

    // A lookup that does not measure reuses the size kept by the last one.
    TextureArgs a;
    a.measure = 0;
    float corners[8] = {s, t, s, t, s, t, s, t};
    float r = -1;
    texture_lookup(tex.c_str(), corners, &r, a);
    EXPECT_NEAR(r, 100 / 255.0f, 1e-5f);
}

TEST(TextureLookup, ChannelsBeyondTheTextureTakeTheFill)
{
    fresh_table();
    velktest::TempDir dir;
    std::vector<unsigned char> px = textest::picture8(16, 16, 3, [](int, int, int s) { return 50 * (s + 1); });
    std::string pic = dir.path() + "/rgb.tif", tex = dir.path() + "/rgb.tex";
    textest::write_picture(pic, px.data(), 16, 16, 3);
    make_texture_file(pic.c_str(), tex.c_str(), "clamp", "clamp", RiBoxFilter, 1, 1, 0, nullptr, nullptr);
    TextureArgs a;
    a.channels = 3;
    a.first_channel = 1;
    a.fill = 0.5f;
    a.measure = 1;
    float corners[8] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}, r[3];
    texture_lookup(tex.c_str(), corners, r, a);
    EXPECT_NEAR(r[0], 100 / 255.0f, 1e-6f);
    EXPECT_NEAR(r[1], 150 / 255.0f, 1e-6f);
    EXPECT_EQ(r[2], 0.5f);
    // Channels within the texture, read straight from the tile.
    a.channels = 2;
    r[2] = -1;
    texture_lookup(tex.c_str(), corners, r, a);
    EXPECT_NEAR(r[0], 100 / 255.0f, 1e-6f);
    EXPECT_NEAR(r[1], 150 / 255.0f, 1e-6f);
    EXPECT_EQ(r[2], -1);
    a.channels = 3;

    // Wider samples come back as stored: 16-bit over 65535, 32-bit integers
    // over 2^32, floats as they are.
    struct Wide {
        int bits, format;
        double one, scale;   // sample 1's value; what a stored unit is worth
    } wide[] = {{16, 1, 1000, 1 / 65535.0}, {32, 1, 3e8, 1 / 4294967296.0}, {32, 3, 0.125, 1}};
    for (const Wide &w : wide) {
        SCOPED_TRACE(w.bits * 10 + w.format);
        std::vector<unsigned char> bytes(16 * 16 * 3 * size_t(w.bits / 8));
        for (size_t i = 0; i < 16 * 16 * 3; ++i) {
            double v = w.one * double(i % 3 + 1);
            if (w.bits == 16) {
                uint16_t u = uint16_t(v);
                std::memcpy(&bytes[2 * i], &u, 2);
            } else if (w.format == 1) {
                uint32_t u = uint32_t(v);
                std::memcpy(&bytes[4 * i], &u, 4);
            } else {
                float f = float(v);
                std::memcpy(&bytes[4 * i], &f, 4);
            }
        }
        std::string wpic = dir.path() + "/wide.tif", wtex = dir.path() + "/wide" + std::to_string(&w - wide) + ".tex";
        textest::write_picture(wpic, bytes.data(), 16, 16, 3, w.bits, w.format);
        make_texture_file(wpic.c_str(), wtex.c_str(), "clamp", "clamp", RiBoxFilter, 1, 1, 0, nullptr, nullptr);
        texture_lookup(wtex.c_str(), corners, r, a);
        EXPECT_EQ(r[0], float(2 * w.one * w.scale));
        EXPECT_EQ(r[1], float(3 * w.one * w.scale));
        EXPECT_EQ(r[2], 0.5f);
    }
}

TEST(TextureLookup, ScanlinePicturesBecomeAnInMemoryPyramid)
{
    fresh_table();
    velktest::TempDir dir;
    // 16 x 16: the pyramid is 16 square, no resampling.
    std::vector<unsigned char> px = textest::picture8(16, 16, 1, [](int x, int y, int) { return x * 10 + y; });
    std::string pic = dir.path() + "/plain.tif";
    textest::write_picture(pic, px.data(), 16, 16, 1);
    EXPECT_NEAR(at(pic, 3 / 15.0f, 5 / 15.0f), 35 / 255.0f, 1e-5f);
    Texture *t = find_texture(pic.c_str());
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(t->tiled);
    EXPECT_EQ(t->pyramid_size, 16);
    EXPECT_EQ(t->highest_level, 4);
    // Wrapping uses the extra column: s = 1 reads column 15 exactly.
    EXPECT_NEAR(at(pic, 1.0f, 0.0f), 150 / 255.0f, 1e-5f);
    // A region four texels wide reads the 4 x 4 level: truncated 2 x 2
    // means of truncated means (5, 25, 7, 27 on the 8 x 8 level).
    EXPECT_NEAR(over(pic, 0.0f, 0.0f, 0.25f), 16 / 255.0f, 1e-5f);
    EXPECT_FALSE(t->pyramid[2].empty());
    EXPECT_TRUE(t->pyramid[0].empty());   // made only on demand
}

TEST(TextureLookup, PyramidsStayWithinBoundsOfMemoryAndOfTheirPicture)
{
    fresh_table();
    velktest::TempDir dir;
    ErrorLog log;
    // A long thin picture would ask for a square as wide as it is long: 40000 x 1
    // RGB would need a top level of 32769 x 32769 texels (3 GB). It is kept
    // within 16 times its own texels instead, with a warning.
    std::vector<unsigned char> line = textest::picture8(40000, 1, 3, [](int x, int, int) { return x % 200; });
    std::string thin = dir.path() + "/thin.tif";
    textest::write_picture(thin, line.data(), 40000, 1, 3);
    EXPECT_NE(at(thin, 0.5f, 0.5f, 0.25f), 0.25f);
    EXPECT_EQ(log.only(), "\"" + thin + "\": 40000 x 1 picture kept at 512 x 512 texels; make it with tavrel for "
                          "full resolution");
    EXPECT_EQ(find_texture(thin.c_str())->pyramid_size, 512);

    // A pyramid whose top went is read again; when the picture has changed
    // its layout meanwhile, the levels made from the old one go too.
    std::string pic = dir.path() + "/changing.tif", same = dir.path() + "/same.tif";
    std::vector<unsigned char> grey = textest::picture8(16, 16, 1, [](int x, int y, int) { return x * 10 + y; });
    textest::write_picture(pic, grey.data(), 16, 16, 1);
    over(pic, 0.5f, 0.5f, 0.25f);   // makes the 4 x 4 and 8 x 8 levels
    Texture *t = find_texture(pic.c_str());
    ASSERT_NE(t, nullptr);
    ASSERT_FALSE(t->pyramid[2].empty());
    std::vector<unsigned char> rgb = textest::picture8(16, 16, 3, [](int x, int y, int c) { return 200 - x * 3 - y * c; });
    textest::write_picture(pic, rgb.data(), 16, 16, 3);
    textest::write_picture(same, rgb.data(), 16, 16, 3);
    long top = long(t->pyramid[4].size());
    t->pyramid[4] = std::vector<unsigned char>();   // as the memory limit would
    t->pyramid_memory -= top;
    count_texture_memory(-top);
    at(pic, 0.5f, 0.5f);   // reads the picture again
    TextureArgs a;
    a.channels = 3;
    a.measure = 1;
    float corners[8] = {0.3f, 0.2f, 0.55f, 0.2f, 0.3f, 0.45f, 0.55f, 0.45f};
    float got[3], want[3];
    texture_lookup(pic.c_str(), corners, got, a);
    texture_lookup(same.c_str(), corners, want, a);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(got[c], want[c]) << c;
    EXPECT_EQ(log.size(), 1u);
}

TEST(TextureLookup, MissingFilesAreReportedOnceAndGiveTheFill)
{
    fresh_table();
    velktest::TempDir dir;
    ErrorLog log;
    std::string missing = dir.path() + "/nothing.tex";
    EXPECT_EQ(at(missing, 0.5f, 0.5f, 0.25f), 0.25f);
    EXPECT_EQ(at(missing, 0.1f, 0.5f, 0.75f), 0.75f);
    int code = 0;
    EXPECT_EQ(log.only(&code), "Could not find texture file \"" + missing + "\"");
    EXPECT_EQ(code, 3);
    EXPECT_EQ(at("", 0.5f, 0.5f, 0.5f), 0.5f);
    EXPECT_EQ(log.size(), 1u);

    std::string junk = dir.write("junk.tex", "this is not a TIFF file");
    testing::internal::CaptureStderr();
    EXPECT_EQ(at(junk, 0.5f, 0.5f, 0.125f), 0.125f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");   // libtiff's complaint is in the report
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log.all()[1].code, 4);
    EXPECT_EQ(log.all()[1].message, "\"" + junk + "\": exists but is not a TIFF texture (Not a TIFF or MDI file, "
                                    "bad magic number 26740 (0x6874))");

    Point p[4] = {Point(0, 0, 1), Point(0, 0, 1), Point(0, 0, 1), Point(0, 0, 1)};
    TextureArgs a;
    EXPECT_EQ(shadow_lookup(missing.c_str(), p, a), 0.0f);
    EXPECT_EQ(log.size(), 2u);
}

TEST(TextureLookup, LevelsThatDifferFromTheFirstEndTheChain)
{
    fresh_table();
    velktest::TempDir dir;
    // Directory 0: one 8-bit sample; directory 1 claims four 32-bit samples.
    std::string path = dir.path() + "/mixed.tex";
    TIFF *tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    for (int d = 0; d < 2; ++d) {
        int spp = d == 0 ? 1 : 4, bps = d == 0 ? 8 : 32;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 16u);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 16u);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(spp));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(bps));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, spp == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16u);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 16u);
        TIFFSetField(tif, 33302, "Plain Texture");
        std::vector<unsigned char> tile(size_t(16) * 16 * spp * bps / 8, 77);
        TIFFWriteTile(tif, tile.data(), 0, 0, 0, 0);
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    EXPECT_NEAR(over(path, 0.5f, 0.5f, 8.0f), 77 / 255.0f, 1e-6f);
    Texture *t = find_texture(path.c_str());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->levels.size(), 1u);
}

TEST(TextureLookup, EnvironmentMaps)
{
    fresh_table();
    velktest::TempDir dir;
    std::vector<std::string> faces;
    for (int i = 0; i < 6; ++i) {
        std::vector<unsigned char> px(32 * 32, uint8_t(30 * (i + 1)));
        faces.push_back(dir.path() + "/f" + std::to_string(i) + ".tif");
        textest::write_picture(faces.back(), px.data(), 32, 32, 1);
    }
    std::string cube = dir.path() + "/cube.env";
    make_cubeface_file(faces[0].c_str(), faces[1].c_str(), faces[2].c_str(), faces[3].c_str(),
                               faces[4].c_str(), faces[5].c_str(), cube.c_str(), 90, RiBoxFilter, 1, 1, 0,
                               nullptr, nullptr);
    const Point axes[6] = {Point(1, 0.2f, 0.1f), Point(-1, 0.1f, -0.3f), Point(0.2f, 1, 0.1f),
                           Point(0.1f, -1, 0.2f), Point(0.3f, 0.1f, 1), Point(-0.1f, 0.2f, -1)};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(which_cubeface(axes[i]), i);
        Point d[4] = {axes[i], axes[i], axes[i], axes[i]};
        TextureArgs a;
        a.measure = 1;
        float r = -1;
        environment_lookup(cube.c_str(), d, &r, a);
        EXPECT_NEAR(r, 30 * (i + 1) / 255.0f, 1e-5f) << "face " << i;
    }
    EXPECT_EQ(which_cubeface(Point(1, 1, 1)), 0);    // ties go to x, then y
    EXPECT_EQ(which_cubeface(Point(0, -1, 1)), 3);
    testing::internal::CaptureStderr();
    EXPECT_EQ(which_cubeface(Point(NAN, 0, 0)), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Failed which_cubeface"), std::string::npos);
    float s, t;
    cubeface_st(4, Point(0.5f, -0.25f, 1), s, t);
    EXPECT_EQ(s, 0.25f);
    EXPECT_EQ(t, 0.125f);

    // Lat-long: -y looks at s = 0.25, +y at s = 0.75, the horizon at t = 0.5.
    std::vector<unsigned char> px = textest::picture8(64, 32, 1, [](int x, int y, int) { return x + 2 * y; });
    std::string pic = dir.path() + "/ll.tif", ll = dir.path() + "/ll.env";
    textest::write_picture(pic, px.data(), 64, 32, 1);
    make_latlong_file(pic.c_str(), ll.c_str(), RiBoxFilter, 1, 1, 0, nullptr, nullptr);
    auto env = [&](const Point &dir) {
        Point d[4] = {dir, dir, dir, dir};
        TextureArgs a;
        a.measure = 1;
        float r = -1;
        environment_lookup(ll.c_str(), d, &r, a);
        return r * 255;
    };
    EXPECT_NEAR(env(Point(0, -1, 0)), 0.25f * 63 + 2 * 15.5f, 1e-3f);
    EXPECT_NEAR(env(Point(0, 1, 0)), 0.75f * 63 + 2 * 15.5f, 1e-3f);
    EXPECT_NEAR(env(Point(0, 0, 1)), 0.5f * 63, 1e-3f);   // straight up: the top row
}

TEST(TextureLookup, ShadowMaps)
{
    fresh_table();
    velktest::TempDir dir;
    // Screen space is world x, y; camera depth is world z. Depth 1 in the
    // left half, 5 in the right; the top-right tile all far away.
    float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::vector<float> depths(64 * 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) depths[size_t(y) * 64 + x] = x < 32 ? 1.0f : (y < 32 ? 1e31f : 5.0f);
    std::string shad = textest::make_shadow_map(dir.path(), "d", 64, 64, depths, identity, identity);

    auto shadow = [&](float x, float y, float depth, float bias = 0) {
        Point p[4] = {Point(x, y, depth), Point(x, y, depth), Point(x, y, depth), Point(x, y, depth)};
        TextureArgs a;
        a.bias = bias;
        return shadow_lookup(shad.c_str(), p, a);
    };
    EXPECT_EQ(shadow(-0.5f, 0, 3), 1.0f);        // behind depth 1
    EXPECT_EQ(shadow(-0.5f, 0, 0.5f), 0.0f);     // in front of it
    EXPECT_EQ(shadow(-0.5f, 0, 3, 2.5f), 0.0f);  // the bias moves it in front
    EXPECT_EQ(shadow(0.5f, -0.5f, 3), 0.0f);     // depth 5
    EXPECT_EQ(shadow(0.5f, -0.5f, 6), 1.0f);
    EXPECT_EQ(shadow(0.5f, 0.5f, 1e20f), 0.0f);  // the far tile
    EXPECT_EQ(shadow(1.5f, 0, 6), 0.0f);         // off the map: lit

    // Several samples over a region that straddles both halves.
    Point p[4] = {Point(0, 0.3f, 3), Point(0.25f, -0.3f, 3), Point(-0.25f, -0.3f, 3), Point(0, -0.5f, 3)};
    TextureArgs a;
    a.samples = 16;
    float part = shadow_lookup(shad.c_str(), p, a);
    EXPECT_GT(part, 0.0f);
    EXPECT_LT(part, 1.0f);
    // A region turned 45 degrees (corners P -/+ h1 -/+ h2, as the shading
    // point's neighbours give them) spans its whole extent, half in shadow.
    Point diamond[4] = {Point(-0.2f, -0.5f, 3), Point(0, -0.3f, 3), Point(0, -0.7f, 3), Point(0.2f, -0.5f, 3)};
    part = shadow_lookup(shad.c_str(), diamond, a);
    EXPECT_GT(part, 0.25f);
    EXPECT_LT(part, 0.75f);

    // A plain texture looked up as a shadow map shadows everything.
    std::string plain = make_grey_texture(dir, "plain", 16, 16, [](int, int) { return 9; });
    EXPECT_EQ(shadow_lookup(plain.c_str(), p, a), 1.0f);
}

TEST(TextureLookup, FrameEndForgetsTexturesAndPrintsStatistics)
{
    fresh_table();
    velktest::TempDir dir;
    std::string tex = make_grey_texture(dir, "v", 16, 16, [](int, int) { return 10; });
    EXPECT_NEAR(at(tex, 0.5f, 0.5f), 10 / 255.0f, 1e-6f);
    // Remade between frames: the next frame sees the new texels.
    velktest::RecordingRenderer r;
    Renderer *saved = current_renderer;
    current_renderer = &r;
    r.options.verbosity = 8;
    std::string stats = shadertest::printed(print_texture_stats);
    EXPECT_EQ(stats.rfind("Texture stats:\n  1:" + tex + ":\t", 0), 0u) << stats;
    EXPECT_NE(stats.find("  1 textures:\t"), std::string::npos);
    EXPECT_NE(stats.find("  Texture memory: "), std::string::npos);
    EXPECT_EQ(find_texture(tex.c_str()), nullptr);
    EXPECT_EQ(shadertest::printed(print_texture_stats), "");   // no textures: nothing
    current_renderer = saved;
    make_grey_texture(dir, "v", 16, 16, [](int, int) { return 200; });
    EXPECT_NEAR(at(tex, 0.5f, 0.5f), 200 / 255.0f, 1e-6f);

    // An interned name, which lookups remember, is forgotten as well.
    const char *name = NewToken(tex.c_str());
    TextureArgs a;
    float corners[8] = {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}, v = -1;
    texture_lookup(name, corners, &v, a);
    EXPECT_NEAR(v, 200 / 255.0f, 1e-6f);
    EXPECT_EQ(get_texture(name, true), find_texture(tex.c_str()));
    fresh_table();
    make_grey_texture(dir, "v", 16, 16, [](int, int) { return 30; });
    texture_lookup(name, corners, &v, a);
    EXPECT_NEAR(v, 30 / 255.0f, 1e-6f);
}

TEST(TextureLookup, HashOfNames)
{
    // Equal bytes hash equally whatever their alignment; every tail length counts.
    const char text[] = "xxtextures/brick.tex";
    std::string copy(text + 2);
    EXPECT_EQ(hash_string(text + 2, copy.size(), 0), hash_string(copy.data(), copy.size(), 0));
    std::vector<uint32_t> seen;
    for (size_t n = 0; n <= copy.size(); ++n) seen.push_back(hash_string(copy.data(), n, 0));
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
    EXPECT_NE(hash_string("a", 1, 0), hash_string("a", 1, 1));
}
