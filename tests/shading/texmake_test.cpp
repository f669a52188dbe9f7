// Texture making: the files the requests write, level by level.
#include "shading_files/texmake.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <cstring>

#include "shading_files/depthfile.h"
#include "shading_files/resample.h"
#include "tests/shading/texture_support.h"
#include "tests/support/run_program.h"

using textest::Directory;
using textest::ErrorLog;
using textest::read_texture_file;
using textest::write_picture;

namespace {

// MakeTexture with an optional "resize" parameter.
void make_texture(const std::string &pic, const std::string &tex, RtToken swrap, RtToken twrap,
                  const char *resize = nullptr)
{
    RtToken tokens[1] = {"resize"};
    RtPointer params[1] = {&resize};
    make_texture_file(pic.c_str(), tex.c_str(), swrap, twrap, RiBoxFilter, 1, 1, resize ? 1 : 0, tokens, params);
}

std::string plain_picture(const velktest::TempDir &dir, const char *name, int w, int h, int samples = 3)
{
    std::string path = dir.path() + "/" + name;
    std::vector<unsigned char> px = textest::picture8(w, h, samples, [](int x, int y, int s) {
        return (x * 7 + y * 13 + s * 50) & 255;
    });
    write_picture(path, px.data(), w, h, samples);
    return path;
}

} // namespace

TEST(TextureMaking, MipChainOfAnRgbPicture)
{
    velktest::TempDir dir;
    std::string pic = plain_picture(dir, "p.tif", 64, 64);
    std::string tex = dir.path() + "/t.tex";
    ErrorLog log;
    RtToken periodic = "periodic";
    make_texture(pic, tex, periodic, periodic);
    EXPECT_EQ(log.size(), 0u);
    std::vector<Directory> dirs = read_texture_file(tex);
    ASSERT_EQ(dirs.size(), 6u);
    for (size_t i = 0; i < dirs.size(); ++i) {
        const Directory &d = dirs[i];
        EXPECT_EQ(d.width, 64u >> i);
        EXPECT_EQ(d.height, 64u >> i);
        EXPECT_EQ(d.tile_width, 64u);
        EXPECT_EQ(d.tile_length, 64u);
        EXPECT_EQ(d.compression, COMPRESSION_LZW);
        EXPECT_TRUE(d.has_predictor);
        EXPECT_EQ(d.predictor, PREDICTOR_HORIZONTAL);
        EXPECT_EQ(d.format, "Plain Texture");
        EXPECT_EQ(d.wraps, "periodic");
        EXPECT_TRUE(d.has_fov);
        EXPECT_EQ(d.fov, 1.0f);
        EXPECT_FALSE(d.has_matrices);
    }
    // Level 0 is the picture; level 1 the truncated mean of 2 x 2 blocks.
    std::vector<unsigned char> src = textest::picture8(64, 64, 3, [](int x, int y, int s) {
        return (x * 7 + y * 13 + s * 50) & 255;
    });
    EXPECT_EQ(dirs[0].pixels, src);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            for (int s = 0; s < 3; ++s) {
                auto at = [&](int px, int py) { return int(src[(size_t(py) * 64 + px) * 3 + s]); };
                int mean = (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1)) / 4;
                ASSERT_EQ(dirs[1].pixels[(size_t(y) * 32 + x) * 3 + s], mean) << x << "," << y;
            }
}

TEST(TextureMaking, ResizeModesChooseSizesAndAspect)
{
    velktest::TempDir dir;
    std::string wide = plain_picture(dir, "wide.tif", 100, 50);
    std::string square = plain_picture(dir, "sq.tif", 64, 64);
    struct Case {
        const std::string *pic;
        const char *resize;
        uint32_t w, h;
        float aspect;
        size_t levels;
    } cases[] = {
        {&wide, nullptr, 128, 64, 2.0f, 6}, {&wide, "up", 128, 64, 2.0f, 6},
        {&wide, "up-", 128, 64, 1.0f, 6},   {&wide, "down", 64, 32, 1.0f, 5},
        {&wide, "round", 128, 64, 1.0f, 6}, {&square, "down", 32, 32, 1.0f, 5},
        {&wide, "sideways", 128, 64, 2.0f, 6},
    };
    for (const Case &c : cases) {
        std::string tex = dir.path() + "/t.tex";
        make_texture(*c.pic, tex, "black", "black", c.resize);
        std::vector<Directory> dirs = read_texture_file(tex);
        ASSERT_EQ(dirs.size(), c.levels) << (c.resize ? c.resize : "none");
        EXPECT_EQ(dirs[0].width, c.w) << (c.resize ? c.resize : "none");
        EXPECT_EQ(dirs[0].height, c.h);
        EXPECT_EQ(dirs[0].fov, c.aspect) << (c.resize ? c.resize : "none");
        // A 128 x 64 chain ends at 4 x 2.
        EXPECT_EQ(dirs.back().height, 2u);
    }
    EXPECT_EQ(resized_side(16, RESIZE_UP), 16);
    EXPECT_EQ(resized_side(17, RESIZE_UP), 32);
    EXPECT_EQ(resized_side(1, RESIZE_ROUND), 16);
    EXPECT_EQ(resized_side(33, RESIZE_DOWN), 32);
    EXPECT_EQ(resized_side(65, RESIZE_DOWN), 64);
    EXPECT_EQ(resized_side(1 << 29, RESIZE_UP), 0);   // too large, not wrapped round
}

TEST(TextureMaking, WrapTextAndTileSizes)
{
    RtToken periodic = "periodic";
    char black_s[] = "black", black_t[] = "black";
    EXPECT_EQ(texture_wrap_text(periodic, periodic), "periodic");
    EXPECT_EQ(texture_wrap_text(periodic, "clamp"), "periodic,clamp");
    EXPECT_EQ(texture_wrap_text(black_s, black_t), "black,black");

    velktest::TempDir dir;
    struct Case {
        int w, h, bits, format;
        uint32_t tw, tl;
    } cases[] = {{32, 128, 16, 1, 32, 64}, {128, 32, 16, 1, 64, 32}, {64, 64, 32, 3, 32, 32}, {64, 64, 32, 1, 32, 32}};
    for (const Case &c : cases) {
        std::vector<unsigned char> px(size_t(c.w) * c.h * c.bits / 8, 0);
        std::string pic = dir.path() + "/p.tif", tex = dir.path() + "/t.tex";
        write_picture(pic, px.data(), c.w, c.h, 1, c.bits, c.format);
        make_texture(pic, tex, periodic, periodic);
        std::vector<Directory> dirs = read_texture_file(tex);
        ASSERT_FALSE(dirs.empty());
        EXPECT_EQ(dirs[0].tile_width, c.tw) << c.w << "x" << c.h << " bits " << c.bits;
        EXPECT_EQ(dirs[0].tile_length, c.tl);
        EXPECT_EQ(dirs[0].sampleformat, c.format);
        EXPECT_EQ(dirs[0].has_predictor, c.format != 3);
    }
}

TEST(TextureMaking, ResamplingKeepsValuesAndRanges)
{
    // 16-bit values come back exactly where a side keeps its size.
    PixelLayout l16{1, 16, 1};
    std::vector<uint16_t> col(20);
    for (int i = 0; i < 20; ++i) col[size_t(i)] = uint16_t(65535 - i * 3001);
    std::vector<unsigned char> img(40);
    std::memcpy(img.data(), col.data(), 40);
    int w = 1, h = 20;
    ASSERT_TRUE(resize_to_power_of_two(img, w, h, l16, RESIZE_UP));
    ASSERT_EQ(w, 16);
    ASSERT_EQ(h, 32);
    uint16_t first, last;
    std::memcpy(&first, img.data(), 2);
    std::memcpy(&last, img.data() + (size_t(31) * 16 + 15) * 2, 2);
    EXPECT_EQ(first, 65535);
    EXPECT_EQ(last, col[19]);

    // The largest 32-bit value survives a resize and a 2 x 2 mean.
    PixelLayout l32{1, 32, 1};
    std::vector<unsigned char> big(4 * 4);
    std::memset(big.data(), 0xff, big.size());
    std::vector<unsigned char> out = resample_image(big.data(), 2, 2, 4, 4, l32);
    uint32_t v;
    std::memcpy(&v, out.data() + 20, 4);
    EXPECT_EQ(v, 0xffffffffu);
    reduce_level_2x2(big.data(), 2, 2, l32);
    std::memcpy(&v, big.data(), 4);
    EXPECT_EQ(v, 0xffffffffu);
}

TEST(TextureMaking, LatLongMapHasNoWrapsOrAspect)
{
    velktest::TempDir dir;
    std::string pic = plain_picture(dir, "env.tif", 40, 20);
    std::string tex = dir.path() + "/env.tex";
    make_latlong_file(pic.c_str(), tex.c_str(), RiBoxFilter, 1, 1, 0, nullptr, nullptr);
    std::vector<Directory> dirs = read_texture_file(tex);
    ASSERT_EQ(dirs.size(), 5u);   // 64 x 32 down to 4 x 2
    EXPECT_EQ(dirs[0].width, 64u);
    EXPECT_EQ(dirs[0].format, "LatLong Environment");
    EXPECT_FALSE(dirs[0].has_wraps);
    EXPECT_FALSE(dirs[0].has_fov);
}

TEST(TextureMaking, CubeFaceMosaic)
{
    velktest::TempDir dir;
    std::vector<std::string> faces;
    for (int i = 0; i < 6; ++i) {
        std::vector<unsigned char> px(16 * 16, uint8_t(40 * (i + 1)));
        faces.push_back(dir.path() + "/f" + std::to_string(i) + ".tif");
        write_picture(faces.back(), px.data(), 16, 16, 1);
    }
    std::string tex = dir.path() + "/cube.tex";
    ErrorLog log;
    make_cubeface_file(faces[0].c_str(), faces[1].c_str(), faces[2].c_str(), faces[3].c_str(),
                               faces[4].c_str(), faces[5].c_str(), tex.c_str(), 90, RiBoxFilter, 1, 1, 0, nullptr,
                               nullptr);
    EXPECT_EQ(log.size(), 0u);
    std::vector<Directory> dirs = read_texture_file(tex);
    ASSERT_EQ(dirs.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(dirs[i].width, 192u);
        EXPECT_EQ(dirs[i].height, 128u);
        EXPECT_TRUE(dirs[i].has_full);
        EXPECT_EQ(dirs[i].full_width, 16u >> i);
        EXPECT_EQ(dirs[i].full_length, 16u >> i);
        EXPECT_EQ(dirs[i].format, "CubeFace Environment");
        EXPECT_NEAR(dirs[i].fov, 1.0f, 1e-6f);
    }
    // Face i sits at column i / 2, row i % 2; the rest of its slot is zero.
    const Directory &top = dirs[0];
    for (int i = 0; i < 6; ++i) {
        int x = (i / 2) * 64, y = (i % 2) * 64;
        EXPECT_EQ(top.pixels[size_t(y + 15) * 192 + x + 15], 40 * (i + 1)) << i;
        EXPECT_EQ(top.pixels[size_t(y + 16) * 192 + x], 0) << i;
        EXPECT_EQ(top.pixels[size_t(y) * 192 + x + 16], 0) << i;
    }
    EXPECT_EQ(dirs[3].pixels[size_t(64) * 192 + 128], 40 * 6);   // -z at 2 x 2
}

TEST(TextureMaking, CubeFaceRefusals)
{
    velktest::TempDir dir;
    auto face = [&](const char *name, int w, int h, int bits = 8) {
        std::vector<unsigned char> px(size_t(w) * h * bits / 8, 9);
        std::string p = dir.path() + "/" + name;
        write_picture(p, px.data(), w, h, 1, bits);
        return p;
    };
    std::string a = face("a.tif", 32, 32), small = face("s.tif", 20, 20), odd = face("o.tif", 20, 21),
                big = face("b.tif", 64, 64), wide16 = face("w.tif", 32, 32, 16);
    std::string tex = dir.path() + "/c.tex";
    auto make = [&](const std::string &second) {
        make_cubeface_file(a.c_str(), second.c_str(), a.c_str(), a.c_str(), a.c_str(), a.c_str(),
                                   tex.c_str(), 90, RiBoxFilter, 1, 1, 0, nullptr, nullptr);
    };
    {
        ErrorLog log;
        make(small);   // 20 resizes to 32
        EXPECT_EQ(log.size(), 0u);
        EXPECT_EQ(read_texture_file(tex).size(), 5u);
    }
    struct Case {
        const std::string *face;
        const char *message;
    } cases[] = {
        {&odd, "Environment map faces must be square"},
        {&big, "MakeCubeFaceEnvironment: all faces must be of identical resolution"},
        {&wide16, "MakeCubeFaceEnvironment: all faces must have the same samples"},
    };
    for (const Case &c : cases) {
        ErrorLog log;
        make(*c.face);
        int code = 0;
        EXPECT_EQ(log.only(&code), c.message);
        EXPECT_EQ(code, 4);
    }
    ErrorLog log;
    make(dir.path() + "/missing.tif");
    EXPECT_EQ(log.only(), "TIFF file not found");
}

TEST(TextureMaking, ShadowMapFromDepthFile)
{
    velktest::TempDir dir;
    float screen[16], camera[16];
    for (int i = 0; i < 16; ++i) screen[i] = float(i), camera[i] = float(100 + i);
    std::vector<float> depths(100 * 80);
    for (size_t i = 0; i < depths.size(); ++i) depths[i] = float(i) * 0.5f;
    std::string z = dir.path() + "/d.z", tex = dir.path() + "/d.shad";
    DepthFile *f = zfile_open_write(z.c_str(), 100, 80, screen, camera);
    ASSERT_NE(f, nullptr);
    zfile_write_rows(f, depths.size(), depths.data());
    zfile_close(f);

    ErrorLog log;
    testing::internal::CaptureStdout();
    make_shadow_file(z.c_str(), tex.c_str(), 0, nullptr, nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.size(), 0u);
    std::vector<Directory> dirs = read_texture_file(tex);
    ASSERT_EQ(dirs.size(), 1u);
    const Directory &d = dirs[0];
    EXPECT_EQ(d.width, 100u);
    EXPECT_EQ(d.height, 80u);
    EXPECT_EQ(d.tile_width, 32u);
    EXPECT_EQ(d.sampleformat, 3);
    EXPECT_FALSE(d.has_predictor);
    EXPECT_EQ(d.format, "Shadow");
    EXPECT_FALSE(d.has_fov);
    EXPECT_FALSE(d.has_wraps);
    ASSERT_TRUE(d.has_matrices);
    EXPECT_EQ(0, std::memcmp(d.world_to_screen, screen, 64));
    EXPECT_EQ(0, std::memcmp(d.world_to_camera, camera, 64));
    ASSERT_EQ(d.pixels.size(), depths.size() * 4);
    EXPECT_EQ(0, std::memcmp(d.pixels.data(), depths.data(), d.pixels.size()));

    // Not there: code 3; not a depth file: code 4; cut short: refused.
    int code = 0;
    make_shadow_file((dir.path() + "/none.z").c_str(), tex.c_str(), 0, nullptr, nullptr);
    EXPECT_EQ(log.only(&code), "MakeShadow: couldn't open \"" + dir.path() + "/none.z\"");
    EXPECT_EQ(code, 3);
    std::string junk = dir.write("junk.z", std::string(200, 'x'));
    make_shadow_file(junk.c_str(), tex.c_str(), 0, nullptr, nullptr);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log.all()[1].code, 4);
    std::string bytes = dir.read("d.z");
    std::string cut = dir.write("cut.z", bytes.substr(0, bytes.size() - 4));
    testing::internal::CaptureStdout();
    make_shadow_file(cut.c_str(), (dir.path() + "/cut.shad").c_str(), 0, nullptr, nullptr);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log.all()[2].code, 4);
    EXPECT_FALSE(dir.exists("cut.shad"));

    // A header of 20000 x 20000 depths (1.6 GB) over no depths at all is
    // refused before room is made for them.
    std::string vast = dir.path() + "/vast.z";
    DepthFile *vz = zfile_open_write(vast.c_str(), 20000, 20000, screen, camera);
    ASSERT_NE(vz, nullptr);
    ASSERT_TRUE(zfile_close(vz));
    struct rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    testing::internal::CaptureStdout();
    make_shadow_file(vast.c_str(), (dir.path() + "/vast.shad").c_str(), 0, nullptr, nullptr);
    testing::internal::GetCapturedStdout();
    getrusage(RUSAGE_SELF, &after);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log.all()[3].message, "MakeShadow: depth file \"" + vast + "\" ends early");
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256L * 1024);   // kilobytes
    EXPECT_FALSE(dir.exists("vast.shad"));
}

TEST(TextureMaking, FailuresAreReported)
{
    velktest::TempDir dir;
    std::string pic = plain_picture(dir, "p.tif", 16, 16);
    int code = 0;
    {
        ErrorLog log;
        make_texture(dir.path() + "/none.tif", dir.path() + "/t.tex", "black", "black");
        EXPECT_EQ(log.only(&code), "TIFF file not found");
        EXPECT_EQ(code, 4);
        EXPECT_EQ(log.all()[0].severity, 2);
    }
    {
        ErrorLog log;
        std::string out = dir.path() + "/no/such/dir/t.tex";
        testing::internal::CaptureStderr();   // libtiff's own complaint
        make_texture(pic, out, "black", "black");
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(log.only(&code), "Could not open \"" + out + "\" for writing");
        EXPECT_EQ(code, 4);
    }
    {
        ErrorLog log;
        make_bump_file(pic.c_str(), (dir.path() + "/b.tex").c_str(), "black", "black", RiBoxFilter, 1, 1, 0,
                    nullptr, nullptr);
        EXPECT_EQ(log.only(&code), "MakeBump is not supported");
        EXPECT_EQ(code, 12);
        EXPECT_EQ(log.all()[0].severity, 1);
        EXPECT_FALSE(dir.exists("b.tex"));
    }
}
