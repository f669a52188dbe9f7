// Pixel sampling and the render driver's loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "raytrace/image_order.h"
#include "raytrace/imgout.h"
#include "raytrace/pixel_sampler.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"
#include "ri/stdtokens.h"
#include "ri/tokens.h"
#include "sampling/random.h"
#include "tests/ri/error_capture.h"
#include "tests/support/run_program.h"

namespace {

TEST(ImageOrder, VisitsEveryCellOnceAlongNeighbours)
{
    for (auto size : std::vector<std::pair<int, int>>{{1, 1}, {3, 5}, {8, 8}, {7, 2}, {64, 64}, {0, 4}, {33, 70}}) {
        // The order is that of the enclosing power-of-two square, cut down.
        int side = 2;
        while (side < std::max(size.first, size.second)) side <<= 1;
        std::vector<std::pair<int, int>> cut, walked;
        ImageOrder square(side, side);
        for (int sx, sy; square.next(sx, sy);)
            if (sx < size.first && sy < size.second) cut.emplace_back(sx, sy);
        ImageOrder order(size.first, size.second);
        for (int wx, wy; order.next(wx, wy);) walked.emplace_back(wx, wy);
        EXPECT_EQ(walked, cut);
        order = ImageOrder(size.first, size.second);
        std::set<std::pair<int, int>> seen;
        int x, y, px = 0, py = 0;
        bool first = true;
        while (order.next(x, y)) {
            ASSERT_GE(x, 0);
            ASSERT_LT(x, size.first);
            ASSERT_GE(y, 0);
            ASSERT_LT(y, size.second);
            EXPECT_TRUE(seen.insert({x, y}).second);
            if (first) {
                EXPECT_EQ(std::make_pair(x, y), std::make_pair(0, 0));
            } else if (size.first == size.second) {
                // On a power-of-two square each step moves to a side neighbour.
                EXPECT_EQ(std::abs(x - px) + std::abs(y - py), 1);
            }
            px = x;
            py = y;
            first = false;
        }
        EXPECT_EQ(seen.size(), size_t(std::max(size.first, 0) * std::max(size.second, 0)));
    }
}

TEST(ImageOrder, KeptWalksRepeatWhileOthersRun)
{
    // A grid walked again gives the same cells, though another grid's walk
    // starts in the middle of it; a grid too large to keep walks the same curve.
    auto walk_of = [](int w, int h) {
        std::vector<std::pair<int, int>> cells;
        ImageOrder order(w, h);
        int x, y;
        while (order.next(x, y)) cells.push_back({x, y});
        EXPECT_FALSE(order.next(x, y));
        return cells;
    };
    const auto first = walk_of(16, 16);
    ImageOrder again(16, 16);
    std::vector<std::pair<int, int>> second;
    int x, y;
    for (int k = 0; again.next(x, y); k++) {
        second.push_back({x, y});
        if (k == 100) {
            EXPECT_EQ(walk_of(5, 3).size(), 15u);
        }
    }
    EXPECT_EQ(first, second);
    const auto wide = walk_of(300, 2);
    const std::set<std::pair<int, int>> distinct(wide.begin(), wide.end());
    EXPECT_EQ(distinct.size(), 600u);
    EXPECT_EQ(wide.size(), 600u);
}

class SamplerTest : public testing::Test {
protected:
    void SetUp() override
    {
        predeclare_tokens();
        seed_random(5234);
        options.set_format(9, 7, 1);
        options.projection = PROJ_PERSPECTIVE;
        options.display_name = NewToken((dir.path() + "/s.tif").c_str());
    }
    void prepare(int xs, int ys, float variance = 0)
    {
        options.xsamples = xs;
        options.ysamples = ys;
        options.pixel_variance = variance;
        options.prepare_world(TransformationRef());
        ASSERT_TRUE(output.open());
        sampler.setup(options, output.filter_radius);
        sampler.start_pixels();
    }
    velktest::TempDir dir;
    Options options;
    SessionOptions session;
    ImageOutput output{options, session};
    PixelSampler sampler;
};

TEST_F(SamplerTest, OneSampleIsThePixelCentre)
{
    prepare(1, 1);
    EXPECT_FALSE(sampler.jitter_on);
    CameraSample s;
    sampler.sample_pixel(4, 3, 0, s);
    EXPECT_EQ(sampler.sample_x(), 4.5f);
    EXPECT_EQ(sampler.sample_y(), 3.5f);
    // The centre pixel of an odd image looks straight ahead.
    EXPECT_NEAR(s.dir.x, 0, 1e-6);
    EXPECT_NEAR(s.dir.y, 0, 1e-6);
    EXPECT_NEAR(s.dir.z, 1, 1e-6);
    EXPECT_EQ(s.time, 0.0f);
    EXPECT_FLOAT_EQ(s.tmin, options.near_clip);
    // A corner pixel: up and to the left.
    sampler.sample_pixel(0, 0, 0, s);
    EXPECT_LT(s.dir.x, 0);
    EXPECT_GT(s.dir.y, 0);
    EXPECT_NEAR(s.dir.length(), 1, 1e-5);
    EXPECT_GT(s.tmin, options.near_clip);
}

TEST_F(SamplerTest, FixedCellsAndTheirFilterWeights)
{
    prepare(3, 3);
    ASSERT_EQ(sampler.samples_per_pixel, 9);
    EXPECT_EQ(sampler.jitter_x[0], 0.0f);
    EXPECT_EQ(sampler.jitter_y[0], 0.0f);
    std::set<std::pair<float, float>> cells;
    for (int k = 0; k < 9; ++k) cells.insert({sampler.jitter_x[size_t(k)], sampler.jitter_y[size_t(k)]});
    EXPECT_EQ(cells.size(), 9u);
    // The weights are the filter's own values at each sample's offset from
    // each neighbour centre, scaled alike so that they sum to 1; pixels
    // divide by the weights they received.
    const int cells_n = output.filter_cells, span = output.filter_span, radius = output.filter_radius;
    double total = 0;
    for (int k = 0; k < 9; ++k)
        for (int n = 0; n < cells_n; ++n) {
            float dx = float(n % span - radius), dy = float(n / span - radius);
            total += options.filter(sampler.jitter_x[size_t(k)] - dx, sampler.jitter_y[size_t(k)] - dy,
                                    options.filter_xwidth, options.filter_ywidth);
        }
    for (int k = 0; k < 9; ++k)
        for (int n = 0; n < cells_n; ++n) {
            float dx = float(n % span - radius), dy = float(n / span - radius);
            EXPECT_FLOAT_EQ(sampler.filter_weights[size_t(n) * 9 + size_t(k)],
                            float(options.filter(sampler.jitter_x[size_t(k)] - dx, sampler.jitter_y[size_t(k)] - dy,
                                                 options.filter_xwidth, options.filter_ywidth) /
                                  total));
        }
    // Jittered positions stay inside their pixel.
    CameraSample s;
    for (int k = 0; k < 9; ++k) {
        sampler.sample_pixel(2, 5, k, s);
        EXPECT_GE(sampler.sample_x(), 2.0f);
        EXPECT_LE(sampler.sample_x(), 3.0f);
        EXPECT_GE(sampler.sample_y(), 5.0f);
        EXPECT_LE(sampler.sample_y(), 6.0f);
    }
    // Without the hider's jitter the samples keep to their cells' centres.
    options.hider_jitter = 0;
    prepare(3, 3);
    EXPECT_FALSE(sampler.jitter_on);
    for (int k = 0; k < 9; ++k) {
        sampler.sample_pixel(2, 5, k, s);
        EXPECT_NEAR(sampler.sample_x(), 2.5f + sampler.jitter_x[size_t(k)], 1e-6f) << k;
        EXPECT_NEAR(sampler.sample_y(), 5.5f + sampler.jitter_y[size_t(k)], 1e-6f) << k;
    }
}

// A radial sinc cut at 2: its lobes cancel over its disk.
RtFloat radial_sinc(RtFloat x, RtFloat y, RtFloat, RtFloat)
{
    float r = std::sqrt(x * x + y * y);
    if (r > 2) return 0;
    return r < 1e-4f ? 1.0f : std::sin(3.1415927f * r) / (3.1415927f * r);
}

TEST_F(SamplerTest, WeightsThatNearlyCancelAreNotDividedBy)
{
    // Each pixel is divided by the sum of the whole table; for the sinc and
    // a filter whose lobes cancel that sum stays a fair part of the weights'
    // magnitudes.
    for (RtFilterFunc f : {&RiSincFilter, &RiCatmullRomFilter, &radial_sinc}) {
        for (float width : {2.0f, 3.0f, 5.0f}) {
            options.filter = f;
            options.filter_xwidth = options.filter_ywidth = width;
            velktest::ErrorCapture errors;
            prepare(4, 4);
            double total = 0, magnitude = 0;
            for (float w : sampler.filter_weights) {
                total += w;
                magnitude += std::fabs(w);
            }
            EXPECT_GE(total, 0.25 * magnitude) << width;
            EXPECT_EQ(errors.count() != 0, f == &radial_sinc) << width;
        }
    }
}

TEST_F(SamplerTest, ShutterTimesAndLensSamplesAreStratified)
{
    options.shutter_open = 1;
    options.shutter_close = 3;
    options.set_depth_of_field(2, 1, 5);
    prepare(2, 2);
    std::vector<int> strata(4, 0);
    CameraSample s;
    for (int k = 0; k < 4; ++k) {
        sampler.sample_pixel(4, 3, k, s);
        ASSERT_GE(s.time, 1.0f);
        ASSERT_LT(s.time, 3.0f);
        ++strata[size_t((s.time - 1.0f) / 0.5f)];
        // The lens lies in the plane of the eye, within its radius.
        EXPECT_NEAR(s.origin.z, 0, 1e-6);
        EXPECT_LE(std::hypot(s.origin.x, s.origin.y), options.lens_radius + 1e-6);
    }
    EXPECT_EQ(strata, std::vector<int>(4, 1));
}

TEST_F(SamplerTest, FixedAccumulationStaysInsideTheCrop)
{
    options.crop[0] = 0.2f;   // columns 2..8
    prepare(1, 1);
    SampleResult r;
    r.color = Color(1, 0, 0);
    r.depth = 3;
    // A sample of column 1 (outside the crop) lends colour to column 2 only.
    sampler.accumulate(output, 1, 3, 0, r);
    PixelSample *row = output.row(3);
    EXPECT_EQ(row[1].color.x, 0.0f);
    EXPECT_EQ(row[1].depth, PIXEL_NO_DEPTH);
    EXPECT_GT(row[2].color.x, 0.0f);
    EXPECT_EQ(row[2].depth, PIXEL_NO_DEPTH);
    sampler.accumulate(output, 2, 3, 0, r);
    EXPECT_EQ(row[2].depth, 3.0f);
}

RtFloat nowhere_filter(RtFloat, RtFloat, RtFloat, RtFloat)
{
    return 0;
}

TEST_F(SamplerTest, AdaptiveOffsetsOfAFilterThatIsZeroEverywhere)
{
    options.filter = &nowhere_filter;
    prepare(2, 2, 0.01f);
    ASSERT_EQ(sampler.jitter_x.size(), size_t(ADAPTIVE_OFFSETS));
    for (size_t i = 0; i < sampler.jitter_x.size(); ++i) {
        ASSERT_LE(std::fabs(sampler.jitter_x[i]), 1.0f);
        ASSERT_LE(std::fabs(sampler.jitter_y[i]), 1.0f);
    }
}

TEST_F(SamplerTest, AdaptiveSamplingStopsOnFlatPixelsAndKeepsDepth)
{
    options.minsamples = 4;
    options.maxsamples = 16;
    prepare(2, 2, 0.01f);
    ASSERT_TRUE(sampler.adaptive());
    // The offsets follow the filter inside its support.
    for (size_t i = 0; i < sampler.jitter_x.size(); ++i) {
        ASSERT_LE(std::fabs(sampler.jitter_x[i]), options.filter_xwidth / 2);
        ASSERT_LE(std::fabs(sampler.jitter_y[i]), options.filter_ywidth / 2);
    }
    // Half-integer gamma arguments: one sample has its own, smaller limit.
    EXPECT_GT(sampler.variance_limits[1], 0.0f);
    EXPECT_LT(sampler.variance_limits[1], sampler.variance_limits[2]);
    for (int j = 2; j <= 16; ++j) {
        EXPECT_GE(sampler.variance_limits[size_t(j)], sampler.variance_limits[size_t(j - 1)]);
        EXPECT_LE(sampler.variance_limits[size_t(j)], 0.01f);
    }

    SampleResult flat;
    flat.color = Color(0.5f);
    int k = 0;
    for (; k < 100; ++k) {
        flat.depth = 10.0f - float(k);
        if (sampler.accumulate(output, 4, 3, k, flat)) break;
    }
    EXPECT_EQ(k, 3);   // four samples
    EXPECT_EQ(output.row(3)[4].color, Color(2.0f));   // their sum, over a weight of 4
    EXPECT_EQ(output.row(3)[4].weight, 4.0f);
    EXPECT_EQ(output.row(3)[4].depth, 7.0f);

    // A noisy pixel runs to the maximum.
    SampleResult noisy;
    for (k = 0; k < 100; ++k) {
        noisy.color = Color(float(k % 2));
        if (sampler.accumulate(output, 5, 3, k, noisy)) break;
    }
    EXPECT_EQ(k, 15);
    EXPECT_EQ(sampler.sample_histogram[4], 1);
    EXPECT_EQ(sampler.sample_histogram[16], 1);

    // Sample indices beyond the pass length pick valid strata.
    CameraSample s;
    options.shutter_close = 1;
    sampler.start_pixels();
    for (k = 0; k < 16; ++k) {
        sampler.sample_pixel(4, 3, k, s);
        EXPECT_GE(s.time, 0.0f);
        EXPECT_LT(s.time, 1.0f);
    }
}

// ---------------------------------------------------------------- loops

std::vector<int> *callback_rows = nullptr;
void record_row(int y)
{
    callback_rows->push_back(y);
}

TEST(RenderLoops, ScanlineCallbackGetsEveryRowInOrder)
{
    velktest::TempDir dir;
    std::vector<int> rows;
    callback_rows = &rows;
    const size_t image_bytes = 6 * 7 * 3;
    std::vector<unsigned char> memory(image_bytes + 8, 0x11);
    void *addr = memory.data();
    ScanlineCallback cb = &record_row;
    RiBegin(RI_NULL);
    RtString silent = "silent";
    RiOption("runtime", "verbosity", &silent, RI_NULL);
    RiFormat(9, 12, 1);
    RiCropWindow(0.3f, 0.9f, 0.2f, 0.8f);
    RiDisplay("mem", "memory", "rgb", "framebufferaddr", &addr, "scanlinecallback", &cb, RI_NULL);
    RiWorldBegin();
    RiWorldEnd();
    RiEnd();
    callback_rows = nullptr;
    // Crop rows 3..9, columns 3..8: every row once, top to bottom; the empty
    // world is black in the whole image and nothing is written after it.
    std::vector<int> expect;
    for (int y = 3; y <= 9; ++y) expect.push_back(y);
    EXPECT_EQ(rows, expect);
    for (size_t i = 0; i < memory.size(); ++i) EXPECT_EQ(memory[i], i < image_bytes ? 0 : 0x11) << i;

    // The whole picture: the sampled rows start above it, the rows written at row 0.
    rows.clear();
    callback_rows = &rows;
    std::vector<unsigned char> whole(4 * 3 * 3, 0x11);
    addr = whole.data();
    RiBegin(RI_NULL);
    RiOption("runtime", "verbosity", &silent, RI_NULL);
    RiFormat(4, 3, 1);
    RiDisplay("mem", "memory", "rgb", "framebufferaddr", &addr, "scanlinecallback", &cb, RI_NULL);
    RiWorldBegin();
    RiWorldEnd();
    RiEnd();
    callback_rows = nullptr;
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2}));
    for (unsigned char b : whole) EXPECT_EQ(b, 0);
}

TEST(RenderLoops, EmptyWorldStopsEveryPixelAtTheMinimum)
{
    velktest::TempDir dir;
    std::string rib = dir.write("e.rib", "Format 16 8 1\nWorldBegin\nWorldEnd\n");
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    velktest::RunResult r = velktest::run({velktest::program("raylume"), "-stats", "-var", "0.01", "4", "64", rib}, opts);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Variance sampling histogram:\n     128 pixels had 4 samples\nAverage samples per pixel: 4\n"),
              std::string::npos)
        << r.out;
}

// Every sampled pixel (the picture widened by the filter radius) shoots its
// samples: 66 x 50 pixels.
TEST(RenderLoops, PrimaryRaysCoverThePictureAndTheFilterMargin)
{
    velktest::TempDir dir;
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    for (auto samples : std::vector<std::pair<const char *, const char *>>{{"1 1", "      3300 primary rays"},
                                                                            {"2 2", "     13200 primary rays"}}) {
        std::string rib = dir.write("s.rib", std::string("Format 64 48 1\nPixelSamples ") + samples.first +
                                                 "\nProjection \"perspective\" \"fov\" 40\nTranslate 0 0 5\n"
                                                 "WorldBegin\nSphere 1 -1 1 360\nWorldEnd\n");
        velktest::RunResult r = velktest::run({velktest::program("raylume"), "-stats", rib}, opts);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("Ray tracing:\n") + std::string(samples.second).substr(0, 10) + " total rays traced:\n" +
                             samples.second),
                  std::string::npos)
            << r.out;
    }
}

} // namespace
