// Pixel values of filtered, quantised output: full coverage stays full and
// coverage stays within [0, 1] whatever the filter and the dither.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/render_support.h"

namespace {

// A constant white square that covers the whole picture of the pixel camera
// and more (the filter margin too).
const char *const WHITE_WORLD = "WorldBegin\nSurface \"constant\"\nPolygon \"P\" [-4 -4 0  20 -4 0  20 16 0  -4 16 0]\n"
                                "WorldEnd\n";

} // namespace

TEST(PixelValues, FullyCoveredOpaqueWhiteIsFullInEveryChannel)
{
    // Default filter and samples; without dither, with the default one, and
    // 16-bit with a dither of half a step: quantisation rounds to the nearest
    // level, so white stays full under the dither too.
    for (const char *quantize : {"Quantize \"rgba\" 255 0 255 0\n", "", "Quantize \"rgba\" 65535 0 65535 0.5\n"}) {
        SCOPED_TRACE(quantize);
        const float full = std::string(quantize).find("65535") != std::string::npos ? 65535 : 255;
        velktest::TempDir dir;
        velktest::RunResult run = e2e::raylume(dir, std::string("Display \"white.tif\" \"file\" \"rgba\"\n") +
                                                        "Format 16 12 1\n" + quantize + e2e::pixel_camera(16, 12) +
                                                        WHITE_WORLD);
        ASSERT_EQ(run.status, 0) << run.err;
        e2e::Image im = e2e::read_tiff(dir.path() + "/white.tif");
        ASSERT_EQ(im.channels, 4);
        int short_colour = 0, short_alpha = 0;
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x) {
                for (int c = 0; c < 3; ++c) short_colour += im.at(x, y, c) != full;
                short_alpha += im.at(x, y, 3) != full;
            }
        EXPECT_EQ(short_colour, 0);
        EXPECT_EQ(short_alpha, 0);
    }
}

TEST(PixelValues, QuantisationRoundsToTheNearestLevelWithoutBias)
{
    // Mid-grey under the default dither averages the level it lies on, in 8
    // and 16 bits; without dither a value rounds to its nearest level.
    struct Case {
        const char *quantize;
        float grey, mean;
    };
    const Case cases[] = {{"", 0.5f, 127.5f},
                          {"Quantize \"rgba\" 65535 0 65535 0.5\n", 0.5f, 32767.5f},
                          {"Quantize \"rgba\" 255 0 255 0\n", 100.8f / 255, 101.0f},
                          {"Quantize \"rgba\" 255 0 255 0\n", 100.2f / 255, 100.0f}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.quantize) + std::to_string(c.grey));
        velktest::TempDir dir;
        velktest::RunResult run = e2e::raylume(
            dir, std::string("Display \"grey.tif\" \"file\" \"rgb\"\nFormat 64 64 1\n") + c.quantize +
                     e2e::pixel_camera(64, 64) + "WorldBegin\nSurface \"constant\"\nColor " + std::to_string(c.grey) +
                     " " + std::to_string(c.grey) + " " + std::to_string(c.grey) +
                     "\nPolygon \"P\" [-4 -4 0  70 -4 0  70 70 0  -4 70 0]\nWorldEnd\n");
        ASSERT_EQ(run.status, 0) << run.err;
        e2e::Image im = e2e::read_tiff(dir.path() + "/grey.tif");
        ASSERT_EQ(im.values.size(), size_t(64 * 64 * 3));
        double sum = 0;
        for (float v : im.values) sum += v;
        EXPECT_NEAR(sum / double(im.values.size()), c.mean, 0.05);
    }

    // Depth rounds the same way: depth 5.7 at one 1 is level 6.
    velktest::TempDir dir;
    velktest::RunResult run = e2e::raylume(
        dir, std::string("Display \"z.tif\" \"file\" \"z\"\nFormat 8 8 1\nQuantize \"z\" 1 0 255 0\n") +
                 e2e::pixel_camera(8, 8) + "WorldBegin\nPolygon \"P\" [-4 -4 0.7  12 -4 0.7  12 12 0.7  -4 12 0.7]\n"
                 "WorldEnd\n");
    ASSERT_EQ(run.status, 0) << run.err;
    e2e::Image z = e2e::read_tiff(dir.path() + "/z.tif");
    ASSERT_EQ(z.values.size(), 64u);
    for (float v : z.values) EXPECT_EQ(v, 6.0f);
}

TEST(PixelValues, FiltersWithNegativeLobesRampAHalfPlaneFromZeroToOne)
{
    // The left part of the picture is covered, up to an edge on a pixel
    // boundary and up to one inside a pixel; each filter of each width gives
    // a ramp from 0 to 1 with bounded ringing, and coverage within [0, 1].
    const char *const filters[] = {"\"sinc\" 3 3",        "\"sinc\" 2 2",     "\"sinc\" 5 5",
                                   "\"catmull-rom\" 4 4", "\"catmull-rom\" 2 2", "\"catmull-rom\" 3 3",
                                   "\"gaussian\" 3 3",    "\"triangle\" 2 2", "\"box\" 1 1"};
    for (const char *filter : filters)
        for (const char *edge : {"8", "7.5"}) {
            SCOPED_TRACE(std::string(filter) + " edge " + edge);
            e2e::Render r = e2e::render_floatdump(
                std::string("Display \"dump\" \"floatdump\" \"rgba\"\nFormat 16 4 1\nQuantize \"rgba\" 0 0 0 0\n") +
                "PixelFilter " + filter + "\nPixelSamples 4 4\n" + e2e::pixel_camera(16, 4) +
                "WorldBegin\nSurface \"constant\"\nPolygon \"P\" [-4 -4 0  " + edge + " -4 0  " + edge + " 8 0  -4 8 0]\n"
                "WorldEnd\n");
            ASSERT_EQ(r.run.status, 0) << r.run.err;
            ASSERT_FALSE(r.image.empty()) << r.run.out;
            float lo = 0, hi = 0, alpha_lo = 0, alpha_hi = 0;
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 16; ++x) {
                    for (int c = 0; c < 3; ++c) {
                        lo = std::min(lo, r.image.at(x, y, c));
                        hi = std::max(hi, r.image.at(x, y, c));
                    }
                    alpha_lo = std::min(alpha_lo, r.image.at(x, y, 3));
                    alpha_hi = std::max(alpha_hi, r.image.at(x, y, 3));
                }
            EXPECT_GE(lo, -0.16f);
            EXPECT_LE(hi, 1.16f);
            EXPECT_GE(alpha_lo, 0.0f);
            EXPECT_LE(alpha_hi, 1.0f);
            // Far from the edge: full inside, empty outside.
            EXPECT_NEAR(r.image.at(1, 2, 0), 1.0f, 1e-4);
            EXPECT_EQ(r.image.at(1, 2, 3), 1.0f);
            EXPECT_NEAR(r.image.at(14, 2, 0), 0.0f, 1e-4);
            EXPECT_EQ(r.image.at(14, 2, 3), 0.0f);
            // Across the edge the values fall: inside the pixel before it is
            // above the middle, the pixel after it below.
            const int first_out = edge[0] == '8' ? 8 : 7;
            EXPECT_GT(r.image.at(first_out - 1, 2, 0), 0.5f);
            EXPECT_LT(r.image.at(first_out + 1, 2, 0), 0.5f);
        }
}

TEST(PixelValues, FiltersNarrowerThanTheSampleSpacingStillShowThePicture)
{
    // Two by two samples lie a quarter pixel from the centre: these filters
    // give them tiny weights or none, and pixels are not divided by that.
    for (const char *filter : {"\"gaussian\" 0.1 0.1", "\"box\" 0.5 0.5", "\"triangle\" 0.5 0.5"}) {
        SCOPED_TRACE(filter);
        e2e::Render r = e2e::render_floatdump(
            std::string("Display \"dump\" \"floatdump\" \"rgba\"\nFormat 16 4 1\nQuantize \"rgba\" 0 0 0 0\n") +
            "PixelFilter " + filter + "\nPixelSamples 2 2\n" + e2e::pixel_camera(16, 4) +
            "WorldBegin\nSurface \"constant\"\nPolygon \"P\" [-4 -4 0  8 -4 0  8 8 0  -4 8 0]\nWorldEnd\n");
        ASSERT_EQ(r.run.status, 0) << r.run.err;
        ASSERT_FALSE(r.image.empty()) << r.run.out;
        for (int x : {0, 7, 8, 15}) {
            const float expect = x < 8 ? 1.0f : 0.0f;
            EXPECT_FLOAT_EQ(r.image.at(x, 1, 0), expect) << x;
            EXPECT_FLOAT_EQ(r.image.at(x, 1, 3), expect) << x;
        }
    }
}

TEST(PixelValues, FourCropWindowsJoinedAreTheWholeFrameBitForBit)
{
    // Anti-aliased edges, an area light's shadows and a shader's random
    // numbers, dithered to 8 bits: each crop must render its pixels exactly
    // as the whole frame does, whatever the sampling and the filter.
    velktest::TempDir dir;
    for (const char *shader : {"light panel() { illuminate(P, N, 1.5707963) Cl = 6 / (L . L); }\n",
                               "surface noisy() { Oi = Os; Ci = Os * Cs * (0.5 + random()); }\n"}) {
        std::string name = std::string(shader).substr(shader[0] == 'l' ? 6 : 8);
        velktest::RunResult c = velktest::murn_compile(dir, name.substr(0, name.find('(')), shader);
        ASSERT_EQ(c.status, 0) << c.err;
    }
    const std::string scene = "Format 40 32 1\nProjection \"perspective\" \"fov\" 45\n"
                              "Translate 0 -0.5 6\nRotate -20 1 0 0\nWorldBegin\n"
                              "Attribute \"light\" \"shadows\" \"on\"\n"
                              "AttributeBegin\nAttribute \"light\" \"nsamples\" [4]\nTranslate 0 3 0\n"
                              "Rotate 90 1 0 0\nAreaLightSource \"panel\" 1\nDisk 0 0.8 360\nAttributeEnd\n"
                              "Illuminate 1 1\nSurface \"matte\"\nPolygon \"P\" [-4 0 -4  -4 0 4  4 0 4  4 0 -4]\n"
                              "Translate 0 1 0\nSphere 0.7 -0.7 0.7 360\n"
                              "Translate 1.5 0 0\nSurface \"noisy\"\nSphere 0.5 -0.5 0.5 360\nWorldEnd\n";
    // Crops split at 15 of 40 columns and 20 of 32 rows.
    struct Crop {
        const char *window;
        int x0, y0;
    };
    const Crop crops[] = {{"0 0.375 0 0.625", 0, 0}, {"0.375 1 0 0.625", 15, 0},
                          {"0 0.375 0.625 1", 0, 20}, {"0.375 1 0.625 1", 15, 20}};
    for (const char *sampling : {"", "PixelSamples 3 2\nPixelFilter \"catmull-rom\" 3 3\nHider \"hidden\" \"jitter\" [0]\n",
                                 "PixelSamples 4 4\nPixelFilter \"sinc\" 4 4\n", "PixelVariance 0.02\n"}) {
        SCOPED_TRACE(sampling);
        auto render = [&](const std::string &crop) {
            velktest::RunResult run = e2e::raylume(dir, "Option \"searchpath\" \"shader\" [\".:&\"]\n"
                                                        "Display \"f.tif\" \"file\" \"rgba\"\n" +
                                                            crop + sampling + scene);
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.err, "");
            return e2e::read_tiff(dir.path() + "/f.tif");
        };
        e2e::Image whole = render("");
        ASSERT_EQ(whole.values.size(), size_t(40 * 32 * 4));
        e2e::Image joined = whole;
        std::fill(joined.values.begin(), joined.values.end(), -1.0f);
        for (const Crop &crop : crops) {
            e2e::Image part = render(std::string("CropWindow ") + crop.window + "\n");
            ASSERT_FALSE(part.empty()) << crop.window;
            for (int y = 0; y < part.height; ++y)
                for (int x = 0; x < part.width; ++x)
                    for (int c = 0; c < 4; ++c)
                        joined.values[(size_t(crop.y0 + y) * 40 + size_t(crop.x0 + x)) * 4 + size_t(c)] =
                            part.at(x, y, c);
        }
        int differ = 0, edge = 0;
        for (size_t i = 0; i < whole.values.size(); i += 4) {
            for (size_t c = 0; c < 4; ++c)
                if (joined.values[i + c] != whole.values[i + c]) {
                    ++differ;
                    break;
                }
            edge += whole.values[i + 3] > 0 && whole.values[i + 3] < 255;
        }
        EXPECT_EQ(differ, 0);
        EXPECT_GT(edge, 0);   // there are anti-aliased edges to get wrong
    }
}

