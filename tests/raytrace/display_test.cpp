// Display-driver libraries through the RI calls of a program, and the
// display kinds of raylume end to end.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "raytrace/imgout.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"
#include "tests/ri/error_capture.h"
#include "tests/support/run_program.h"

namespace {

const char *const DRIVER_DIR = VELK_DSPY_DIR;

// Every pixel's red is its column, green its row (as 8-bit levels), blue 9:
// exact levels, so that quantisation keeps them.
void level_imager(const Options &, float x, float y, Color &c, Color &o, float &)
{
    c = Color((x - 0.5f) / 255.0f, (y - 0.5f) / 255.0f, 9.0f / 255.0f);
    o = Color(1.0f);
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

std::vector<std::string> starting(const std::vector<std::string> &lines, const std::string &prefix)
{
    std::vector<std::string> out;
    for (const std::string &l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
    return out;
}

// One data call of the log.
struct DataCall {
    int x0, x1, y0, y1, entry;
    std::vector<int> bytes;
};

DataCall parse_data(const std::string &line)
{
    DataCall d;
    std::istringstream in(line.substr(5));
    in >> d.x0 >> d.x1 >> d.y0 >> d.y1 >> d.entry;
    std::string b;
    while (in >> b) d.bytes.push_back(int(strtol(b.c_str(), nullptr, 16)));
    return d;
}

class DriverTest : public testing::Test {
protected:
    void SetUp() override
    {
        saved_runner_ = imager_runner;
        imager_runner = &level_imager;
    }
    void TearDown() override { imager_runner = saved_runner_; }

    // Renders an empty world of w x h through the test driver with extra
    // display parameters; returns the driver's log.
    std::string render(int w, int h, const char *mode, std::vector<RtToken> tokens = {},
                       std::vector<RtPointer> values = {}, const char *path = nullptr,
                       const std::function<void()> &before_world = nullptr)
    {
        std::string log = dir.path() + "/image.log";
        RiBegin(RI_NULL);
        RtInt one = 1;
        RtString silent = "silent";
        RiOption("runtime", "verbosity", &silent, RI_NULL);
        RiOption("render", "useprmandspy", &one, RI_NULL);
        std::string p = path ? path : DRIVER_DIR;
        RtString ps = p.c_str();
        RiOption("searchpath", "display", &ps, RI_NULL);
        RiFormat(w, h, 1);
        RiPixelSamples(1, 1);
        RiPixelFilter(RiBoxFilter, 1, 1);
        RiQuantize("rgba", 255, 0, 255, 0);
        RiDisplayV(const_cast<char *>(log.c_str()), const_cast<char *>("testlog"), const_cast<char *>(mode),
                   RtInt(tokens.size()), tokens.data(), values.data());
        current_renderer->options.imager = reinterpret_cast<Shader *>(current_renderer);
        if (before_world) before_world();
        RiWorldBegin();
        RiWorldEnd();
        RiEnd();
        return dir.read("image.log");
    }

    velktest::TempDir dir;
    ImagerRunner saved_runner_ = nullptr;
};

TEST_F(DriverTest, ReceivesFormatsParametersAndRows)
{
    setenv("HOSTNAME", "drawhost", 1);
    RtToken tokens[] = {RiDeclare("note", "string"), RiDeclare("pair", "float[2]"), RiDeclare("tint", "color"),
                        RiDeclare("scanline", "integer")};
    RtString note = "hello";
    float pair[2] = {1.5f, 2.5f}, tint[3] = {0.25f, 0.5f, 1};
    RtInt scan = 1;
    std::string text = render(3, 2, "rgba", {tokens[0], tokens[1], tokens[2], tokens[3]}, {&note, pair, tint, &scan});
    unsetenv("HOSTNAME");
    std::vector<std::string> lines = lines_of(text);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "open testlog 3 2");
    std::vector<std::string> params = starting(lines, "param ");
    auto has = [&params](const std::string &p) {
        for (const std::string &l : params)
            if (l == p) return true;
        return false;
    };
    EXPECT_EQ(starting(params, "param NP f 16 64 ").size(), 1u);
    EXPECT_EQ(starting(params, "param Nl f 16 64 ").size(), 1u);
    EXPECT_TRUE(has("param HostComputer s 1 8 drawhost"));
    EXPECT_TRUE(has("param Software s 1 8 Ostrane Rendering Tools 2.5.0.7 intelnt"));
    EXPECT_TRUE(has("param OriginalSize i 2 8 3 2"));
    EXPECT_TRUE(has("param origin i 2 8 0 0"));
    EXPECT_TRUE(has("param near f 1 4 1e-06"));
    EXPECT_TRUE(has("param far f 1 4 1e+38"));
    EXPECT_TRUE(has("param note s 1 8 hello"));
    EXPECT_TRUE(has("param pair f 2 8 1.5 2.5"));
    EXPECT_TRUE(has("param tint f 3 12 0.25 0.5 1"));
    EXPECT_TRUE(has("param scanline i 1 4 1"));
    std::vector<std::string> formats = starting(lines, "format ");
    ASSERT_EQ(formats.size(), 4u);
    const unsigned type = DSPY_UNSIGNED8 | DSPY_BYTE_ORDER_LOW_FIRST;
    EXPECT_EQ(formats[0], "format a " + std::to_string(type));
    EXPECT_EQ(formats[1], "format r " + std::to_string(type));

    // Scan-line order: one call per row, top to bottom, channels a, r, g, b.
    std::vector<std::string> data = starting(lines, "data ");
    ASSERT_EQ(data.size(), 2u);
    for (int y = 0; y < 2; ++y) {
        DataCall d = parse_data(data[size_t(y)]);
        EXPECT_EQ(d.x0, 0);
        EXPECT_EQ(d.x1, 3);
        EXPECT_EQ(d.y0, y);
        EXPECT_EQ(d.y1, y + 1);
        EXPECT_EQ(d.entry, 4);
        ASSERT_EQ(d.bytes.size(), 12u);
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(d.bytes[size_t(4 * x)], 255);
            EXPECT_EQ(d.bytes[size_t(4 * x + 1)], x);
            EXPECT_EQ(d.bytes[size_t(4 * x + 2)], y);
            EXPECT_EQ(d.bytes[size_t(4 * x + 3)], 9);
        }
    }
    EXPECT_EQ(lines[lines.size() - 2], "delayclose");
    EXPECT_EQ(lines.back(), "close");
}

TEST_F(DriverTest, ChannelOrderAndByteOrderOfTheDriverAreHonoured)
{
    // The driver puts the channels in r, g, b, a order and wants 16-bit
    // values high byte first.
    RtToken tokens[] = {RiDeclare("reorder", "integer"), RiDeclare("byteorder", "string"),
                        RiDeclare("scanline", "integer")};
    RtInt yes = 1;
    RtString big = "big";
    std::string text = render(2, 1, "rgba", {tokens[0], tokens[1], tokens[2]}, {&yes, &big, &yes}, nullptr, [] {
        RiQuantize("rgba", 65535, 0, 65535, 0);
    });
    std::vector<std::string> data = starting(lines_of(text), "data ");
    ASSERT_EQ(data.size(), 1u);
    DataCall d = parse_data(data[0]);
    EXPECT_EQ(d.entry, 8);
    ASSERT_EQ(d.bytes.size(), 16u);
    // Levels scale by 257: pixel 1 has red 1 x 257, green 0, blue 9 x 257.
    auto value = [&d](int pixel, int channel) { return d.bytes[size_t(8 * pixel + 2 * channel)] * 256 + d.bytes[size_t(8 * pixel + 2 * channel + 1)]; };
    EXPECT_EQ(value(1, 0), 257);
    EXPECT_EQ(value(1, 1), 0);
    EXPECT_EQ(value(1, 2), 2313);
    EXPECT_EQ(value(1, 3), 65535);
    EXPECT_EQ(value(0, 0), 0);
}

TEST_F(DriverTest, TilesAreSentWhenTheDriverTakesThem)
{
    // Without scan-line order finished tiles are sent (less the filter
    // margin, here outside the picture): the one tile is the whole image,
    // and no row follows it.
    std::string text = render(3, 2, "rgb");
    std::vector<std::string> data = starting(lines_of(text), "data ");
    ASSERT_EQ(data.size(), 1u);
    DataCall tile = parse_data(data[0]);
    EXPECT_EQ(tile.x0, 0);
    EXPECT_EQ(tile.x1, 3);
    EXPECT_EQ(tile.y0, 0);
    EXPECT_EQ(tile.y1, 2);
    EXPECT_EQ(tile.entry, 3);
    ASSERT_EQ(tile.bytes.size(), 18u);
    EXPECT_EQ(tile.bytes[3 * 4], 1);   // pixel (1, 1)
    EXPECT_EQ(tile.bytes[3 * 4 + 1], 1);

    // Over several tiles the strips between them follow as the rows finish;
    // each pixel arrives once, with its own values.
    data = starting(lines_of(render(70, 66, "rgb")), "data ");
    EXPECT_GT(data.size(), 4u);
    std::vector<int> times(70 * 66, 0);
    for (const std::string &line : data) {
        DataCall d = parse_data(line);
        ASSERT_EQ(d.bytes.size(), size_t((d.x1 - d.x0) * (d.y1 - d.y0) * 3));
        for (int y = d.y0; y < d.y1; ++y)
            for (int x = d.x0; x < d.x1; ++x) {
                ++times[size_t(y * 70 + x)];
                const size_t at = size_t(((y - d.y0) * (d.x1 - d.x0) + (x - d.x0)) * 3);
                EXPECT_EQ(d.bytes[at], x);
                EXPECT_EQ(d.bytes[at + 1], y);
            }
    }
    EXPECT_EQ(std::count(times.begin(), times.end(), 1), 70 * 66);
}

TEST_F(DriverTest, CroppedImageOpensAtTheCropSizeWithItsOrigin)
{
    RtToken scan = RiDeclare("scanline", "integer");
    RtInt yes = 1;
    std::string text = render(8, 8, "rgb", {scan}, {&yes}, nullptr, [] { RiCropWindow(0.25f, 0.5f, 0.5f, 1.0f); });
    std::vector<std::string> lines = lines_of(text);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "open testlog 2 4");
    std::vector<std::string> params = starting(lines, "param origin ");
    ASSERT_EQ(params.size(), 1u);
    EXPECT_EQ(params[0], "param origin i 2 8 2 4");
    std::vector<std::string> data = starting(lines, "data ");
    ASSERT_EQ(data.size(), 4u);
    DataCall d = parse_data(data[3]);
    EXPECT_EQ(d.y0, 3);
    ASSERT_EQ(d.bytes.size(), 6u);
    EXPECT_EQ(d.bytes[0], 2);   // column 2, row 7
    EXPECT_EQ(d.bytes[1], 7);
}

TEST_F(DriverTest, TheLibraryFoundOnThePathIsTheOneLoaded)
{
    // The driver lies in the second directory of the path, not in the current one.
    std::string path = dir.path() + "/empty:" + DRIVER_DIR;
    std::string text = render(1, 1, "rgb", {}, {}, path.c_str());
    EXPECT_EQ(lines_of(text).front(), "open testlog 1 1");
}

TEST_F(DriverTest, FailuresAreReported)
{
    velktest::ErrorCapture errors;
    RiBegin(RI_NULL);
    RtInt one = 1;
    RiOption("render", "useprmandspy", &one, RI_NULL);
    std::string path = dir.path();
    RtString ps = path.c_str();
    RiOption("searchpath", "display", &ps, RI_NULL);
    RiDisplay("x", "nosuch", "rgb", RI_NULL);
    EXPECT_TRUE(errors.has_message("RiDisplay given invalid type: \"nosuch\"\n\tfile \"d_nosuch.so\" not found in DSO path \"" + path));
    dir.write("d_broken.so", "not a library");
    errors.clear();
    RiDisplay("x", "broken", "rgb", RI_NULL);
    EXPECT_TRUE(errors.has_message("RiDisplay given invalid type: \"broken\"\n\tdlerror: "));
    RiEnd();

    // A driver that refuses the image.
    errors.clear();
    RtToken fail = RiDeclare("fail", "integer");
    RtInt yes = 1;
    render(1, 1, "rgb", {fail}, {&yes});
    EXPECT_TRUE(errors.has_message("Unable to open dspyserver \"testlog\""));
}

// ---------------------------------------------------------------- raylume

class RaylumeDisplayTest : public testing::Test {
protected:
    velktest::RunResult raylume(const std::string &rib, std::vector<std::string> args = {})
    {
        std::string file = dir.write("scene.rib", rib);
        std::vector<std::string> argv = {velktest::program("raylume")};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back(file);
        velktest::RunOptions opts;
        opts.cwd = dir.path();
        opts.timeout_seconds = 60;
        opts.env["DISPLAY"] = "";
        return velktest::run(argv, opts);
    }
    velktest::TempDir dir;
};

const char *const WORLD = "WorldBegin\nWorldEnd\n";

TEST_F(RaylumeDisplayTest, RefusedNamesTypesAndAddresses)
{
    velktest::RunResult r = raylume(std::string("Display \"+x\" \"file\" \"rgb\"\n"
                                                "Display \"a.tif\" \"bogus\" \"rgb\"\n"
                                                "Display \"a.tif\" \"file\" \"rgbq\"\n"
                                                "Option \"render\" \"integer useprmandspy\" [1]\n"
                                                "Display \"a.tif\" \"../../tmp/evil\" \"rgb\"\n"
                                                "Display \"m\" \"memory\" \"rgb\" \"framebufferaddr\" \"1234\"\n") +
                                    WORLD);
    EXPECT_NE(r.err.find("No support for arbitrary output variables: display name \"+x\""), std::string::npos);
    EXPECT_NE(r.err.find("RiDisplay given invalid type: \"bogus\""), std::string::npos);
    EXPECT_NE(r.err.find("No support for arbitrary output variables: display mode \"rgbq\""), std::string::npos);
    // A driver name is a plain name, never a path.
    EXPECT_NE(r.err.find("RiDisplay given invalid type: \"../../tmp/evil\"\n"), std::string::npos);
    EXPECT_NE(r.err.find("\"framebufferaddr\" takes an address"), std::string::npos);
    // The memory device then has no address: reported, and the run ends.
    EXPECT_NE(r.err.find("\"memory\" output device requested with Display"), std::string::npos);
    EXPECT_EQ(r.status, 255);
}

TEST_F(RaylumeDisplayTest, FloatDumpAndAsciiOnStandardOutput)
{
    velktest::RunResult r = raylume("Format 3 2 1\nDisplay \"-\" \"floatdump\" \"rgbz\"\n" + std::string(WORLD), {"-silent"});
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0], "3 2 rgbz");
    std::istringstream row(lines[1]);
    std::vector<float> values;
    float v;
    while (row >> v) values.push_back(v);
    ASSERT_EQ(values.size(), 12u);   // r g b z per pixel
    EXPECT_EQ(values[0], 0.0f);
    EXPECT_EQ(values[3], 1e30f);

    r = raylume(WORLD, {"-ascii"});
    EXPECT_EQ(r.status, 0);
    lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 39u);
    EXPECT_EQ(lines[0], std::string(78, ' '));
    EXPECT_FALSE(dir.exists("ri.tif"));
}

TEST_F(RaylumeDisplayTest, TiffTagsSafeModeAndOutputName)
{
    velktest::RunResult r = raylume("Format 64 48 1\nPixelSamples 3 2\nCropWindow 0.25 0.75 0 0.5\n" +
                                    std::string(WORLD));
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(dir.exists("ri.tif"));
    velktest::RunResult info = velktest::run({"/usr/bin/tiffinfo", dir.path() + "/ri.tif"});
    EXPECT_NE(info.out.find("Image Width: 32 Image Length: 24"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("ImageDescription: VELK2.5.0.7 intelnt, res64x48, samp3x2"), std::string::npos);
    EXPECT_NE(info.out.find("Software: Ostrane Rendering Tools 2.5.0.7 intelnt"), std::string::npos);
    EXPECT_NE(info.out.find("Position: 16, 0"), std::string::npos);
    EXPECT_NE(info.out.find("Compression Scheme: LZW"), std::string::npos);
    EXPECT_NE(info.out.find("Predictor: horizontal differencing"), std::string::npos);
    EXPECT_NE(info.out.find("Extra Samples: 1<assoc-alpha>"), std::string::npos);
    EXPECT_NE(info.out.find("Rows/Strip: 256"), std::string::npos);
    EXPECT_NE(r.out.find("Done computing image."), std::string::npos);

    dir.write("ri.tif", "old");
    r = raylume(WORLD, {"-safe"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("ri.tif"), "old");
    EXPECT_EQ(r.out.find("Rendering"), std::string::npos);

    r = raylume(WORLD, {"-of", "other.tif", "-silent"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(dir.exists("other.tif"));
    EXPECT_EQ(r.out, "");
}

TEST_F(RaylumeDisplayTest, ProgressModes)
{
    velktest::RunResult r = raylume("Format 8 8 1\n" + std::string(WORLD), {"-Progress"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("R90000   100%\n"), std::string::npos) << r.out;
    r = raylume("Format 8 8 1\n" + std::string(WORLD), {"-progress"});
    EXPECT_NE(r.out.find("   100%\r"), std::string::npos) << r.out;
    r = raylume("Format 8 8 1\n" + std::string(WORLD));
    EXPECT_NE(r.out.find("\rDone computing 100%   "), std::string::npos) << r.out;
}

TEST_F(RaylumeDisplayTest, DriverFromRib)
{
    velktest::RunResult r = raylume(std::string("Option \"render\" \"integer useprmandspy\" [1]\n"
                                                "Option \"searchpath\" \"display\" \"") +
                                    DRIVER_DIR + "\"\nFormat 2 2 1\nDisplay \"d.log\" \"testlog\" \"rgb\" \"string note\" \"x\"\n" +
                                    WORLD);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = lines_of(dir.read("d.log"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "open testlog 2 2");
    EXPECT_EQ(starting(lines, "param note s 1 8 x").size(), 1u);
    EXPECT_EQ(starting(lines, "format ").size(), 3u);
}

TEST_F(RaylumeDisplayTest, DriverWithoutScanlineOrderGetsEachPixelOnce)
{
    // Finished tiles, then what they left out at their edges: together
    // every pixel once, over one tile and over several, cropped or not.
    struct Case {
        const char *options;
        int width, height;
    };
    const Case cases[] = {{"Format 30 28 1\n", 30, 28},
                          {"Format 150 70 1\nPixelFilter \"gaussian\" 4 4\n", 150, 70},
                          {"Format 150 70 1\nPixelFilter \"box\" 1 1\nCropWindow 0.2 0.9 0.1 0.8\n", 105, 49}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options);
        velktest::RunResult r = raylume(std::string("Option \"render\" \"integer useprmandspy\" [1]\n"
                                                    "Option \"searchpath\" \"display\" \"") +
                                        DRIVER_DIR + "\"\n" + c.options + "Display \"d.log\" \"testlog\" \"rgb\"\n" + WORLD);
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<int> times(size_t(c.width * c.height), 0);
        long pixels = 0;
        for (const std::string &line : starting(lines_of(dir.read("d.log")), "data ")) {
            DataCall d = parse_data(line);
            ASSERT_TRUE(d.x0 >= 0 && d.x0 < d.x1 && d.x1 <= c.width && d.y0 >= 0 && d.y0 < d.y1 && d.y1 <= c.height)
                << line.substr(0, 40);
            EXPECT_EQ(d.bytes.size(), size_t((d.x1 - d.x0) * (d.y1 - d.y0) * 3));
            for (int y = d.y0; y < d.y1; ++y)
                for (int x = d.x0; x < d.x1; ++x) ++times[size_t(y * c.width + x)];
            pixels += long(d.x1 - d.x0) * (d.y1 - d.y0);
        }
        EXPECT_EQ(pixels, long(c.width) * c.height);
        EXPECT_EQ(std::count(times.begin(), times.end(), 1), long(c.width) * c.height);
    }
}

TEST_F(RaylumeDisplayTest, DriverIsToldTheFrameAsRendered)
{
    // The frame aspect ratio cuts the format; the driver's OriginalSize is
    // the frame rendered, the frame the crop window's origin is measured in.
    struct Case {
        const char *options, *open, *size, *origin, *description;
    };
    const Case cases[] = {
        {"FrameAspectRatio 2\n", "open testlog 120 60", "120 60", "0 0", "res120x60"},
        {"FrameAspectRatio 2\nCropWindow 0.5 1 0.5 1\n", "open testlog 60 30", "120 60", "60 30", "res120x60"},
        {"FrameAspectRatio 0.5\nCropWindow 0 0.5 0.25 0.5\n", "open testlog 20 20", "40 80", "0 20", "res40x80"},
        {"CropWindow 0.25 0.5 0 1\n", "open testlog 30 80", "120 80", "30 0", "res120x80"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options);
        velktest::RunResult r = raylume(std::string("Option \"render\" \"integer useprmandspy\" [1]\n"
                                                    "Option \"searchpath\" \"display\" \"") +
                                        DRIVER_DIR + "\"\nFormat 120 80 1\n" + c.options +
                                        "Display \"d.log\" \"testlog\" \"rgb\" \"integer scanline\" 1\n" + WORLD);
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::string> lines = lines_of(dir.read("d.log"));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], c.open);
        EXPECT_EQ(starting(lines, std::string("param OriginalSize i 2 8 ") + c.size).size(), 1u);
        EXPECT_EQ(starting(lines, std::string("param origin i 2 8 ") + c.origin).size(), 1u);

        // The TIFF file names the same frame.
        r = raylume(std::string("Format 120 80 1\n") + c.options + "Display \"f.tif\" \"file\" \"rgb\"\n" + WORLD,
                    {"-silent"});
        EXPECT_EQ(r.status, 0) << r.err;
        velktest::RunResult info = velktest::run({"/usr/bin/tiffinfo", dir.path() + "/f.tif"});
        EXPECT_NE(info.out.find(c.description), std::string::npos) << info.out;
    }
}

TEST_F(RaylumeDisplayTest, ImagerShaderPaintsEveryPixel)
{
    velktest::RunResult c =
        velktest::murn_compile(dir, "paint", "imager paint(color c = 1; float a = 1;) { Ci = c; alpha = a; }\n");
    ASSERT_EQ(c.status, 0) << c.err;
    velktest::RunResult r = raylume("Option \"searchpath\" \"shader\" \".\"\nFormat 4 2 1\n"
                                    "Quantize \"rgba\" 255 0 255 0\n"
                                    "Imager \"paint\" \"color c\" [0 1 0.5]\nDisplay \"p.tif\" \"file\" \"rgb\"\n" +
                                        std::string(WORLD),
                                    {"-silent"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    TIFF *t = TIFFOpen((dir.path() + "/p.tif").c_str(), "r");
    ASSERT_NE(t, nullptr);
    std::vector<uint8_t> row(size_t(TIFFScanlineSize(t)));
    for (uint32_t y = 0; y < 2; ++y) {
        ASSERT_EQ(TIFFReadScanline(t, row.data(), y, 0), 1);
        for (size_t x = 0; x < 4; ++x) {
            EXPECT_EQ(row[3 * x], 0);
            EXPECT_EQ(row[3 * x + 1], 255);
            EXPECT_EQ(row[3 * x + 2], 128);   // 127.5 to the nearest level
        }
    }
    TIFFClose(t);
}

} // namespace
