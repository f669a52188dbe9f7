// Pixel values of filtered, quantised output: full coverage stays full and
// coverage stays within [0, 1] whatever the filter and the dither.
#include <gtest/gtest.h>

#include "tests/support/render_support.h"

namespace {

// A constant white square that covers the whole picture of the pixel camera
// and more (the filter margin too).
const char *const WHITE_WORLD = "WorldBegin\nSurface \"constant\"\nPolygon \"P\" [-4 -4 0  20 -4 0  20 16 0  -4 16 0]\n"
                                "WorldEnd\n";

} // namespace

TEST(PixelValues, FullyCoveredOpaqueWhiteIsFullInEveryChannel)
{
    // Default filter and samples; first without dither, then with the default one.
    for (const char *quantize : {"Quantize \"rgba\" 255 0 255 0\n", ""}) {
        SCOPED_TRACE(quantize);
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
                for (int c = 0; c < 3; ++c) short_colour += im.at(x, y, c) != 255;
                short_alpha += im.at(x, y, 3) != 255;
            }
        // Dither moves colour only; coverage is never dithered.
        if (*quantize) {
            EXPECT_EQ(short_colour, 0);
        }
        EXPECT_EQ(short_alpha, 0);
    }
}

TEST(PixelValues, NegativeFilterLobesKeepCoverageWithinTheUnitRange)
{
    // The left half of the picture is covered; the filters ring at its edge.
    for (const char *filter : {"\"sinc\" 2 2", "\"catmull-rom\" 4 4"}) {
        SCOPED_TRACE(filter);
        e2e::Render r = e2e::render_floatdump(
            std::string("Display \"dump\" \"floatdump\" \"rgba\"\nFormat 12 4 1\nQuantize \"rgba\" 0 0 0 0\n") +
            "PixelFilter " + filter + "\n" + e2e::pixel_camera(12, 4) +
            "WorldBegin\nSurface \"constant\"\nPolygon \"P\" [-4 -4 0  6 -4 0  6 8 0  -4 8 0]\nWorldEnd\n");
        ASSERT_EQ(r.run.status, 0) << r.run.err;
        ASSERT_FALSE(r.image.empty()) << r.run.out;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 12; ++x) {
                float a = r.image.at(x, y, 3);
                EXPECT_GE(a, 0.0f) << x << ", " << y;
                EXPECT_LE(a, 1.0f) << x << ", " << y;
            }
        EXPECT_EQ(r.image.at(1, 2, 3), 1.0f);
        EXPECT_EQ(r.image.at(10, 2, 3), 0.0f);
    }
}
