// Scenes that ask too much or say something impossible: the renderer answers
// with a message and an exit status, in bounded time and memory, and renders
// what it can.
#include <gtest/gtest.h>

#include "tests/e2e/render_support.h"

using e2e::Image;

namespace {

const int W = 6, H = 4;

// A constant white disk that covers the whole frame of the pixel camera.
std::string covering_disk()
{
    return "Surface \"constant\"\nTranslate 3 2 0\nDisk 0 1000 360\n";
}

// Renders options + the pixel camera + a world to a float dump.
e2e::Render frame(const std::string &options, const std::string &world)
{
    return e2e::render_floatdump(e2e::exact_floatdump_options(W, H) + options + e2e::pixel_camera(W, H) +
                                 "WorldBegin\n" + world + "WorldEnd\n");
}

bool all_white(const Image &im)
{
    if (im.empty()) return false;
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x)
            if (im.at(x, y, 0) < 0.99f || im.at(x, y, 3) < 0.99f) return false;
    return true;
}

} // namespace

TEST(BadInputRender, AFrameBeyondMemoryIsRefusedAsOutOfCore)
{
    for (const char *format : {"Format 2147483647 2147483647 1\n", "Format 1e30 1e30 1\n"}) {
        e2e::Render r = frame(format, covering_disk());
        EXPECT_EQ(r.run.status, 255) << format << r.run.err;
        EXPECT_NE(r.run.err.find("out of core memory"), std::string::npos) << r.run.err;
    }
}

TEST(BadInputRender, HugeSampleCountsAndFilterWidthsAreClampedWithAWarning)
{
    e2e::Render r = frame("PixelSamples 65536 65536\n", covering_disk());
    EXPECT_EQ(r.run.status, 0) << r.run.err;
    EXPECT_NE(r.run.err.find("clamped"), std::string::npos) << r.run.err;
    EXPECT_TRUE(all_white(r.image));
    for (const char *filter : {"PixelFilter \"gaussian\" 1e6 1e6\n", "PixelFilter \"gaussian\" 3000 3000\n"}) {
        r = frame(filter, covering_disk());
        EXPECT_EQ(r.run.status, 0) << filter << r.run.err;
        EXPECT_NE(r.run.err.find("clamped"), std::string::npos) << r.run.err;
        EXPECT_TRUE(all_white(r.image)) << filter;
    }
}
