// raylume renders a sphere: pixels, depth, adaptive sampling and likely hits.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "shading_files/depthfile.h"
#include "tests/support/run_program.h"

namespace {

// A red sphere of radius 1 four units in front of the eye, filling the middle
// of a 32 x 24 picture, shaded flat with its colour.
const char *const SCENE =
    "Option \"searchpath\" \"shader\" \".:&\"\n"
    "Format 32 24 1\n"
    "Projection \"perspective\" \"fov\" 40\n"
    "Translate 0 0 5\n"
    "%s"
    "WorldBegin\n"
    "Color [1 0 0]\n"
    "Surface \"flat\"\n"
    "Sphere 1 -1 1 360\n"
    "WorldEnd\n";

class SceneRender : public testing::Test {
protected:
    void SetUp() override
    {
        velktest::RunResult c = velktest::murn_compile(dir, "flat", "surface flat() { Ci = Cs; Oi = Os; }\n");
        ASSERT_EQ(c.status, 0) << c.err;
    }
    velktest::RunResult raylume(const std::string &options, std::vector<std::string> args = {})
    {
        char rib[2048];
        snprintf(rib, sizeof rib, SCENE, options.c_str());
        std::vector<std::string> argv = {velktest::program("raylume")};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back(dir.write("scene.rib", rib));
        velktest::RunOptions o;
        o.cwd = dir.path();
        return velktest::run(argv, o);
    }
    // Rows of an 8-bit image.
    std::vector<std::vector<uint8_t>> read_image(const std::string &name)
    {
        std::vector<std::vector<uint8_t>> rows;
        TIFF *t = TIFFOpen((dir.path() + "/" + name).c_str(), "r");
        EXPECT_NE(t, nullptr);
        if (!t) return rows;
        uint32_t h = 0;
        TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
        for (uint32_t y = 0; y < h; ++y) {
            rows.emplace_back(size_t(TIFFScanlineSize(t)));
            TIFFReadScanline(t, rows.back().data(), y, 0);
        }
        TIFFClose(t);
        return rows;
    }
    velktest::TempDir dir;
};

TEST_F(SceneRender, SphereCoversTheMiddleAndIsFilteredAtItsEdge)
{
    velktest::RunResult r = raylume("PixelSamples 2 2\nQuantize \"rgba\" 255 0 255 0\n", {"-stats"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Camera rays of neighbouring samples on the sphere reuse its shading.
    EXPECT_NE(r.out.find("primary rays   (tried likely hit"), std::string::npos) << r.out;
    std::vector<std::vector<uint8_t>> image = read_image("ri.tif");
    ASSERT_EQ(image.size(), 24u);
    ASSERT_EQ(image[0].size(), 32u * 4);
    // Normalised filter weights sum to 1 up to rounding, which the floor of
    // quantisation may take one level below.
    const uint8_t *centre = &image[12][16 * 4];
    EXPECT_GE(centre[0], 254);
    EXPECT_EQ(centre[1], 0);
    EXPECT_GE(centre[3], 254);
    const uint8_t *corner = &image[0][0];
    EXPECT_EQ(corner[0], 0);
    EXPECT_EQ(corner[3], 0);
    // Along the middle row red falls from full to nothing through the edge.
    bool partial = false;
    for (int x = 0; x < 16; ++x) {
        uint8_t red = image[12][size_t(4 * x)];
        partial = partial || (red > 0 && red < 255);
        EXPECT_EQ(image[12][size_t(4 * x + 3)], red);   // alpha follows coverage
    }
    EXPECT_TRUE(partial);
}

TEST_F(SceneRender, DepthOutputsHoldCameraSpaceZOfTheSphere)
{
    // The camera-space z where each pixel's centre ray meets the sphere
    // (centre 5 ahead, radius 1), not the distance along the ray.
    const float t = std::tan(20.0f * 3.14159265f / 180.0f);
    // The discriminant of the hit (negative: a miss) and the z.
    auto sphere_z = [t](int x, int y, float &disc) {
        float u = (float(x) + 0.5f - 16) / 12 * t, v = (12 - float(y) - 0.5f) / 12 * t;
        float d2 = 1 + u * u + v * v;
        disc = 25 - 24 * d2;
        return disc < 0 ? 1e30f : (5 - std::sqrt(disc)) / d2;
    };
    velktest::RunResult r = raylume("PixelSamples 1 1\nDisplay \"d.z\" \"zfile\" \"z\"\n");
    ASSERT_EQ(r.status, 0) << r.err;
    int w = 0, h = 0;
    DepthFile *z = zfile_open_read((dir.path() + "/d.z").c_str(), &w, &h, nullptr, nullptr);
    ASSERT_NE(z, nullptr);
    ASSERT_EQ(w, 32);
    ASSERT_EQ(h, 24);
    std::vector<float> depth(size_t(w * h));
    EXPECT_TRUE(zfile_read_rows(z, depth.size(), depth.data()));
    zfile_close(z);
    // The z of "rgbz" is the same depth.
    r = raylume("PixelSamples 1 1\nDisplay \"d\" \"floatdump\" \"rgbz\"\n", {"-silent"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream dump(r.out.substr(r.out.find("32 24")));
    std::string word;
    dump >> word >> word >> word;
    int near_edge = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float disc, rgbz[4] = {};
            const float expected = sphere_z(x, y, disc);
            for (float &v : rgbz) dump >> v;
            ASSERT_TRUE(dump) << x << " " << y;
            const float got = depth[size_t(y * w + x)];
            EXPECT_NEAR(rgbz[3], got, 1e-4f * got) << x << " " << y;   // printed to 6 digits
            if (std::fabs(disc) < 0.1f) continue;   // grazing the silhouette: either way
            EXPECT_NEAR(got, expected, 1e-3f) << x << " " << y;
            near_edge += expected > 4.6f;
        }
    EXPECT_GT(near_edge, 8);
}

TEST_F(SceneRender, AdaptiveSamplingRefinesOnlyTheEdge)
{
    velktest::RunResult r = raylume("PixelVariance 0.001\n", {"-stats"});
    ASSERT_EQ(r.status, 0) << r.err;
    size_t at = r.out.find("Variance sampling histogram:\n");
    ASSERT_NE(at, std::string::npos) << r.out;
    std::string histogram = r.out.substr(at);
    // Most pixels are flat (inside or outside the sphere); the edge goes further.
    long four = 0, more = 0;
    size_t pos = 0;
    while ((pos = histogram.find(" pixels had ", pos)) != std::string::npos) {
        size_t start = histogram.rfind('\n', pos) + 1;
        long pixels = std::stol(histogram.substr(start, pos - start));
        int samples = std::stoi(histogram.substr(pos + 12));
        (samples == 4 ? four : more) += pixels;
        pos += 12;
    }
    EXPECT_EQ(four + more, 32 * 24);
    EXPECT_GT(four, more);
    EXPECT_GT(more, 0);
}

} // namespace
