// The attribute and transformation state seen in rendered pixels: small disks
// of constant colour, each lighting one pixel of a camera where one world unit
// is one pixel, read back from a float dump.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/render_support.h"

using e2e::Image;
using e2e::unit_disk;

namespace {

const int W = 12, H = 8;

// Renders a world of constant-shaded disks on the pixel camera, after the
// options given; the messages must be those expected.
Image disks(const std::string &world, const std::string &options = "", const std::string &err = "")
{
    e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(W, H) + options + e2e::pixel_camera(W, H) +
                                          "WorldBegin\nSurface \"constant\"\n" + world + "WorldEnd\n");
    EXPECT_EQ(r.run.status, 0);
    EXPECT_EQ(r.run.err, err);
    EXPECT_FALSE(r.image.empty()) << r.run.out;
    return r.image;
}

// The colour and alpha of the pixel that holds world (x, y).
struct Rgba {
    float r, g, b, a;
    bool operator==(const Rgba &o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};
std::ostream &operator<<(std::ostream &os, const Rgba &c)
{
    return os << "(" << c.r << " " << c.g << " " << c.b << " " << c.a << ")";
}
Rgba at(const Image &im, int x, int y)
{
    int row = H - 1 - y;
    return {im.at(x, row, 0), im.at(x, row, 1), im.at(x, row, 2), im.at(x, row, 3)};
}

const Rgba RED{1, 0, 0, 1}, GREEN{0, 1, 0, 1}, BLUE{0, 0, 1, 1}, NONE{0, 0, 0, 0};

// Every pixel other than the listed ones is empty.
void expect_only(const Image &im, std::initializer_list<std::pair<int, int>> lit)
{
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            bool listed = false;
            for (auto &p : lit) listed |= p.first == x && p.second == y;
            if (!listed) {
                EXPECT_EQ(at(im, x, y), NONE) << "pixel of world " << x << ", " << y;
            }
        }
}

} // namespace

TEST(StateInPixels, AChangedAttributeNeverReachesAnEarlierPrimitive)
{
    Image im = disks("Color [1 0 0]\n" + unit_disk(1, 1) +
                       "Color [0 1 0]\n" + unit_disk(3, 1) +
                       "AttributeBegin\nColor [0 0 1]\n" + unit_disk(5, 1) + "AttributeEnd\n" +
                       unit_disk(7, 1) +
                       "Opacity [0.5 0.5 0.5]\n");
    ASSERT_FALSE(im.empty());
    EXPECT_EQ(at(im, 1, 1), RED);
    EXPECT_EQ(at(im, 3, 1), GREEN);
    EXPECT_EQ(at(im, 5, 1), BLUE);
    EXPECT_EQ(at(im, 7, 1), GREEN);   // the state before AttributeBegin came back
    expect_only(im, {{1, 1}, {3, 1}, {5, 1}, {7, 1}});
}

TEST(StateInPixels, AChangedTransformationNeverMovesAnEarlierPrimitive)
{
    Image im = disks("Color [1 0 0]\nTranslate 2 4 0\n" + unit_disk(0, 0) +
                       "Translate 2 0 0\n" + unit_disk(0, 0) +
                       "TransformBegin\nTranslate 2 0 0\n" + unit_disk(0, 0) + "TransformEnd\n" +
                       unit_disk(0, -2));
    ASSERT_FALSE(im.empty());
    expect_only(im, {{2, 4}, {4, 4}, {6, 4}, {4, 2}});
    EXPECT_EQ(at(im, 2, 4), RED);
    EXPECT_EQ(at(im, 4, 2), RED);
}

TEST(StateInPixels, AConcatenatedTransformationAppliesBeforeTheCurrentOne)
{
    // Translate then Scale: points are scaled first, so the disk spans x 4..6.
    Image a = disks("Color [1 0 0]\nTranslate 4 1 0\nScale 2 1 1\n" + unit_disk(0, 0));
    ASSERT_FALSE(a.empty());
    expect_only(a, {{4, 1}, {5, 1}});
    EXPECT_EQ(at(a, 4, 1), RED);
    EXPECT_EQ(at(a, 5, 1), RED);
    // Scale then Translate: the translation is scaled too, x 8..10.
    Image b = disks("Color [1 0 0]\nScale 2 1 1\nTranslate 4 1 0\n" + unit_disk(0, 0));
    ASSERT_FALSE(b.empty());
    expect_only(b, {{8, 1}, {9, 1}});
    EXPECT_EQ(at(b, 9, 1), RED);
}

TEST(StateInPixels, NamedCoordinateSystemsPlaceLaterPrimitives)
{
    Image im = disks("Color [0 0 1]\n"
                       "TransformBegin\nTranslate 6 5 0\nCoordinateSystem \"lamp\"\nTransformEnd\n"
                       "TransformBegin\nTranslate 1 1 0\nScale 3 3 1\nCoordinateSystem \"big\"\nTransformEnd\n"
                       "Translate 9 0 0\n" + unit_disk(0, 0) +
                       "TransformBegin\nCoordSysTransform \"lamp\"\n" + unit_disk(0, 0) + "TransformEnd\n"
                       "TransformBegin\nCoordSysTransform \"big\"\n" + unit_disk(1, 0) + "TransformEnd\n");
    ASSERT_FALSE(im.empty());
    // The "big" disk covers x 4..7 and y 1..4.
    for (int y = 1; y < 4; ++y)
        for (int x = 4; x < 7; ++x) {
            EXPECT_EQ(at(im, x, y), BLUE) << x << ", " << y;
        }
    EXPECT_EQ(at(im, 9, 0), BLUE);
    EXPECT_EQ(at(im, 6, 5), BLUE);
    EXPECT_EQ(at(im, 3, 3), NONE);
    EXPECT_EQ(at(im, 7, 1), NONE);
    EXPECT_EQ(at(im, 0, 0), NONE);
}

TEST(StateInPixels, GaussianFilterSpreadsOnePixelByItsNormalisedWeights)
{
    // One sample per pixel, centre weight 1, edge exp(-2), corner exp(-4),
    // normalised over the 3 x 3 neighbours.
    e2e::Render r = e2e::render_floatdump(
        "Display \"dump\" \"floatdump\" \"rgba\"\nFormat 9 9 1\nPixelSamples 1 1\n"
        "PixelFilter \"gaussian\" 2 2\nQuantize \"rgba\" 0 0 0 0\n" + e2e::pixel_camera(9, 9) +
        "WorldBegin\nSurface \"constant\"\n" + unit_disk(4, 4) + "WorldEnd\n");
    ASSERT_EQ(r.run.status, 0);
    ASSERT_FALSE(r.image.empty()) << r.run.out;
    const Image &im = r.image;
    double sum = 1 + 4 * std::exp(-2.0) + 4 * std::exp(-4.0);
    EXPECT_NEAR(im.at(4, 4, 0), 0.61935, 5e-6);
    EXPECT_NEAR(im.at(4, 4, 0), 1 / sum, 1e-6);
    for (auto d : {std::make_pair(-1, 0), std::make_pair(1, 0), std::make_pair(0, -1), std::make_pair(0, 1)}) {
        EXPECT_NEAR(im.at(4 + d.first, 4 + d.second, 0), 0.08382, 5e-6);
        EXPECT_NEAR(im.at(4 + d.first, 4 + d.second, 3), std::exp(-2.0) / sum, 1e-6);
    }
    EXPECT_NEAR(im.at(3, 3, 1), std::exp(-4.0) / sum, 1e-6);
    EXPECT_EQ(im.at(2, 4, 0), 0.0f);
    EXPECT_EQ(im.at(4, 6, 2), 0.0f);
}

TEST(StateInPixels, OnlyTheModelWhoseDetailRangeHoldsTheBoundsAreaIsDrawn)
{
    // Three models, each one disk further right: coarse, middle and fine.
    auto models = [](int y, const std::string &detail, const char *const ranges[3]) {
        std::string rib = "AttributeBegin\n" + detail;
        const char *colours[3] = {"1 0 0", "0 1 0", "0 0 1"};
        for (int k = 0; k < 3; k++)
            if (ranges[k])
                rib += std::string("DetailRange ") + ranges[k] + "\nColor [" + colours[k] + "]\n" +
                       unit_disk(1 + 2 * k, y);
        return rib + "AttributeEnd\n";
    };
    const char *const three[3] = {"[0 0 2 2]", "[2 2 50 50]", "[50 50 1e38 1e38]"};
    const char *const overlapping[3] = {"[0 0 2 8]", "[2 8 1e38 1e38]", nullptr};
    Image im = disks(models(1, "Detail [0 2 0 2 -1 1]\n", three) +       // 4 pixels: the middle one
                     models(3, "Detail [0 100 0 100 -1 1]\n", three) +   // 10000 pixels: the fine one
                     models(5, "", three) +                               // no bound: the finest
                     models(7, "Detail [0 2 0 2 -1 1]\n", overlapping) + // within a transition: the nearer
                     "ObjectBegin 1\n" + unit_disk(9, 1) + "ObjectEnd\nAttributeBegin\n"
                     "Detail [0 100 0 100 -1 1]\nDetailRange [0 0 2 2]\nObjectInstance 1\nAttributeEnd\n");
    ASSERT_FALSE(im.empty());
    EXPECT_EQ(at(im, 3, 1), GREEN);
    EXPECT_EQ(at(im, 5, 3), BLUE);
    EXPECT_EQ(at(im, 5, 5), BLUE);
    EXPECT_EQ(at(im, 1, 7), RED);
    expect_only(im, {{3, 1}, {5, 3}, {5, 5}, {1, 7}});
}

TEST(StateInPixels, AMotionBlockOfThreeTimesMovesFromItsFirstToItsLastKey)
{
    // Transformations: keys at x 1, 2 and 5 (applied one after another they
    // would make 8); a disk given three times: only its first key is drawn.
    std::string world = "Color [1 0 0]\nMotionBegin [0 0.4 1]\nTranslate 1 0 0\nTranslate 2 0 0\nTranslate 5 0 0\n"
                        "MotionEnd\n" + unit_disk(0, 1) +
                        "Identity\nTranslate 2.5 5.5 0\nMotionBegin [0 0.5 1]\nDisk 0 0.5 360\nDisk 0 1.5 360\n"
                        "Disk 0 2.5 360\nMotionEnd\n";
    const std::string told = "INFO: scene.rib (13): Program limit\n"
                             "    --> Motion blocks of more than two times keep their first and last keys\n";
    for (int last = 0; last < 2; last++) {
        Image im = disks(world, last ? "Shutter 1 1\n" : "Shutter 0 0\n", told);
        ASSERT_FALSE(im.empty());
        int x = last ? 5 : 1;
        EXPECT_EQ(at(im, x, 1), RED) << last;
        EXPECT_EQ(at(im, 2, 5), RED) << last;
        expect_only(im, {{x, 1}, {2, 5}});
    }
}
