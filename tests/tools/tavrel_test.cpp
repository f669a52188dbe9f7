// The texture maker program run on real pictures and depth files.
#include <gtest/gtest.h>

#include <tiffio.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "shading_files/depthfile.h"
#include "tests/shading/texture_support.h"
#include "tests/support/run_program.h"

using textest::Directory;
using textest::read_texture_file;

namespace {

velktest::RunResult tavrel(const velktest::TempDir &dir, std::vector<std::string> args)
{
    args.insert(args.begin(), velktest::program("tavrel"));
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    opts.timeout_seconds = 60;
    return velktest::run(args, opts);
}

void picture(const velktest::TempDir &dir, const std::string &name, int w, int h)
{
    std::vector<unsigned char> px = textest::picture8(w, h, 1, [](int x, int y, int) { return x + y; });
    textest::write_picture(dir.path() + "/" + name, px.data(), w, h, 1);
}

// A 24 x 24 RGBA picture stored as one 16384 x 16384 tile, of which only
// the rows of the picture are encoded.
void huge_tile_picture(const std::string &path)
{
    TIFF *tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 24u);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 24u);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(4));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    uint16_t extra = EXTRASAMPLE_ASSOCALPHA;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16384u);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16384u);
    std::vector<unsigned char> rows(size_t(24) * 16384 * 4, 200);
    ASSERT_GT(TIFFWriteEncodedTile(tif, 0, rows.data(), tmsize_t(rows.size())), 0);
    TIFFClose(tif);
}

} // namespace

TEST(Tavrel, UsageAndCommandLineMistakes)
{
    velktest::TempDir dir;
    picture(dir, "p.tif", 16, 16);
    velktest::RunResult r = tavrel(dir, {"-h"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("\ntavrel - Make a MIP-Map out of a TIFF file\n"
                          "Ostrane Rendering Tools 2.5.0.7 intelnt (Adheres to the RenderMan Standard)\n",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("Run modes:\n    tavrel [options] tifffile texturefile\n"), std::string::npos);
    EXPECT_NE(r.out.find("options:\n    -mode (black|clamp|periodic)\n"), std::string::npos);
    EXPECT_NE(r.out.find("    -resize (up|down|round|up-|down-|round-)\n"), std::string::npos);

    r = tavrel(dir, {"p.tif"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "tavrel: both input and output filenames required\n");

    r = tavrel(dir, {"-shadow", "-envlatl", "a", "b"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Run modes:"), std::string::npos);

    r = tavrel(dir, {"-envcube", "1", "2", "3", "4", "5", "6"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "Six input files required for cube env maps\n");

    // A failed making is reported and ends with status 1.
    r = tavrel(dir, {"missing.tif", "t.tex"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("TIFF file not found"), std::string::npos) << r.err;
    EXPECT_FALSE(dir.exists("t.tex"));

    // A value option at the very end has nothing to take.
    r = tavrel(dir, {"p.tif", "t.tex", "-swrap"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_texture_file(dir.path() + "/t.tex").size(), 4u);
}

TEST(Tavrel, APictureInOneHugeTileCostsNoMoreThanThePicture)
{
    // 1 GB of tile for 2 KB of picture: read with 300 MB at hand (the
    // address sanitizer's shadow memory does not fit under such a limit).
#ifdef __SANITIZE_ADDRESS__
    const std::string limit;
#else
    const std::string limit = "ulimit -v 300000 && ";
#endif
    velktest::TempDir dir;
    huge_tile_picture(dir.path() + "/tile.tif");
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    velktest::RunResult r =
        velktest::run({"/bin/sh", "-c", limit + "exec \"$0\" tile.tif t.tex", velktest::program("tavrel")}, opts);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<Directory> dirs = read_texture_file(dir.path() + "/t.tex");
    ASSERT_FALSE(dirs.empty());
    EXPECT_EQ(dirs[0].width, 32u);

    // A tile claimed larger than the bytes stored for it is refused before room is made for it.
    std::string bytes = dir.read("tile.tif");
    const size_t at = bytes.find(std::string("\x45\x01\x04\x00\x01\x00\x00\x00", 8));   // TileByteCounts
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at + 8, 4, std::string("\x01\x00\x00\x00", 4));
    dir.write("cut.tif", bytes);
    r = velktest::run({"/bin/sh", "-c", limit + "exec \"$0\" cut.tif c.tex", velktest::program("tavrel")}, opts);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("TIFF tile larger than the data stored for it"), std::string::npos) << r.err;
    EXPECT_FALSE(dir.exists("c.tex"));
}

TEST(Tavrel, WrapModesAndResize)
{
    velktest::TempDir dir;
    picture(dir, "p.tif", 100, 50);
    struct Case {
        std::vector<std::string> args;
        const char *wraps;
        uint32_t width;
        float aspect;
    } cases[] = {
        {{"p.tif", "t.tex"}, "black,black", 128, 2.0f},
        {{"-swrap", "periodic", "-tmode", "clamp", "p.tif", "t.tex"}, "periodic,clamp", 128, 2.0f},
        {{"-wrap", "periodic", "p.tif", "t.tex"}, "periodic", 128, 2.0f},
        {{"-resize", "up", "-resize", "down", "p.tif", "t.tex"}, "black,black", 64, 1.0f},
        {{"-filter", "gaussian", "-width", "3", "-ch", "rgb", "-float", "p.tif", "t.tex", "extra"},
         "black,black", 128, 2.0f},
    };
    for (const Case &c : cases) {
        velktest::RunResult r = tavrel(dir, c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::vector<Directory> dirs = read_texture_file(dir.path() + "/t.tex");
        ASSERT_FALSE(dirs.empty());
        EXPECT_EQ(dirs[0].wraps, c.wraps);
        EXPECT_EQ(dirs[0].width, c.width);
        EXPECT_EQ(dirs[0].fov, c.aspect);
    }
}

TEST(Tavrel, EnvironmentAndShadowModes)
{
    velktest::TempDir dir;
    picture(dir, "env.tif", 64, 32);
    velktest::RunResult r = tavrel(dir, {"-envlatl", "env.tif", "env.tex"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<Directory> dirs = read_texture_file(dir.path() + "/env.tex");
    ASSERT_EQ(dirs.size(), 5u);
    EXPECT_EQ(dirs[0].format, "LatLong Environment");

    std::vector<std::string> args = {"-envcube", "-fov", "60"};
    for (int i = 0; i < 6; ++i) {
        std::string name = "f" + std::to_string(i) + ".tif";
        picture(dir, name, 32, 32);
        args.push_back(name);
    }
    args.push_back("cube.tex");
    r = tavrel(dir, args);
    EXPECT_EQ(r.status, 0) << r.err;
    dirs = read_texture_file(dir.path() + "/cube.tex");
    ASSERT_EQ(dirs.size(), 5u);
    EXPECT_EQ(dirs[0].format, "CubeFace Environment");
    EXPECT_NEAR(dirs[0].fov, 1.7320508f, 1e-5f);   // cot 30 degrees

    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::vector<float> depths(40 * 30, 7.0f);
    DepthFile *z = zfile_open_write((dir.path() + "/d.z").c_str(), 40, 30, m, m);
    ASSERT_NE(z, nullptr);
    zfile_write_rows(z, depths.size(), depths.data());
    zfile_close(z);
    r = tavrel(dir, {"-shadow", "d.z", "d.shad"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Opened zfile d.z, 40 x 30\n");
    dirs = read_texture_file(dir.path() + "/d.shad");
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(dirs[0].format, "Shadow");
    EXPECT_EQ(dirs[0].width, 40u);

    // Refusals are reported and end with status 1.
    picture(dir, "f3.tif", 20, 21);
    args.back() = "bad.tex";
    dir.write("bad.tex", "kept");
    r = tavrel(dir, args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Environment map faces must be square"), std::string::npos) << r.err;
    EXPECT_EQ(dir.read("bad.tex"), "kept");   // a failed making leaves the file it would have replaced
    r = tavrel(dir, {"-shadow", "none.z", "none.shad"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("MakeShadow: couldn't open \"none.z\""), std::string::npos) << r.err;
}

TEST(Tavrel, AnEmptyDepthFileAndAnOutputAmongTheInputsAreRefused)
{
    velktest::TempDir dir;
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    DepthFile *z = zfile_open_write((dir.path() + "/empty.z").c_str(), 1, 1, m, m);
    ASSERT_NE(z, nullptr);
    zfile_close(z);
    std::string header = dir.read("empty.z");
    header.replace(4, 4, std::string(4, '\0'));   // width and height 0
    dir.write("empty.z", header);
    velktest::RunResult r = tavrel(dir, {"-shadow", "empty.z", "empty.shad"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("MakeShadow: depth file \"empty.z\" holds no pixels"), std::string::npos) << r.err;
    EXPECT_FALSE(dir.exists("empty.shad"));

    std::vector<std::string> args = {"-envcube"};
    for (int i = 0; i < 6; ++i) {
        args.push_back("f" + std::to_string(i) + ".tif");
        picture(dir, args.back(), 16, 16);
    }
    const std::string picture_bytes = dir.read("f2.tif");
    ASSERT_EQ(link((dir.path() + "/f2.tif").c_str(), (dir.path() + "/same.tif").c_str()), 0);
    z = zfile_open_write((dir.path() + "/d.z").c_str(), 4, 4, m, m);
    ASSERT_NE(z, nullptr);
    zfile_close(z);
    const std::string depth_bytes = dir.read("d.z");
    ASSERT_EQ(link((dir.path() + "/d.z").c_str(), (dir.path() + "/same.z").c_str()), 0);
    // By any name (the same, "./", a hard link), in every mode, the output
    // may not be an input: the file stays byte for byte.
    std::vector<std::string> cube = args;
    for (const char *out : {"f2.tif", "./f2.tif", "same.tif"}) {
        SCOPED_TRACE(out);
        cube.push_back(out);
        for (const std::vector<std::string> &call : {std::vector<std::string>{"f2.tif", out},
                                                     std::vector<std::string>{"-envlatl", "f2.tif", out}, cube}) {
            r = tavrel(dir, call);
            EXPECT_EQ(r.status, 1);
            EXPECT_NE(r.err.find(std::string("the output \"") + out + "\" is also an input"), std::string::npos)
                << r.err;
            EXPECT_EQ(dir.read("f2.tif"), picture_bytes);
        }
        cube.pop_back();
    }
    for (const char *out : {"d.z", "./d.z", "same.z"}) {
        r = tavrel(dir, {"-shadow", "d.z", out});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(std::string("MakeShadow: the output \"") + out + "\" is also an input"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(dir.read("d.z"), depth_bytes);
    }
    EXPECT_EQ(velktest::run({"/bin/ls", "-A", dir.path()}).out,
              "d.z\nempty.z\nf0.tif\nf1.tif\nf2.tif\nf3.tif\nf4.tif\nf5.tif\nsame.tif\nsame.z\n");
}
