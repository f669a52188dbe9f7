#include "ri_common/filters.h"

#include <gtest/gtest.h>

TEST(PixelFilters, WeightsAtKnownOffsets)
{
    EXPECT_FLOAT_EQ(RiGaussianFilter(0, 0, 2, 2), 1.0f);
    EXPECT_NEAR(RiGaussianFilter(1, 0, 2, 2), 0.13533528f, 1e-7);
    EXPECT_NEAR(RiGaussianFilter(0, 2, 2, 4), 0.13533528f, 1e-7);

    EXPECT_EQ(RiBoxFilter(1, 0, 2, 2), 0.0f);       // the edge is outside
    EXPECT_EQ(RiBoxFilter(0.999f, 0, 2, 2), 1.0f);
    EXPECT_EQ(RiBoxFilter(0, -1, 2, 2), 0.0f);

    EXPECT_FLOAT_EQ(RiTriangleFilter(0.5f, 0, 2, 2), 0.5f);
    EXPECT_EQ(RiTriangleFilter(1.5f, 0, 2, 2), 0.0f);
    EXPECT_FLOAT_EQ(RiTriangleFilter(0.5f, 0.25f, 2, 2), 0.5f);   // the smaller side wins

    for (float w : {1.0f, 2.0f, 7.0f}) {
        EXPECT_FLOAT_EQ(RiCatmullRomFilter(0, 0, w, w), 2.0f);
        EXPECT_NEAR(RiCatmullRomFilter(1, 0, w, w), 0.0f, 1e-6);
        EXPECT_NEAR(RiCatmullRomFilter(2, 0, w, w), 0.0f, 1e-6);
    }
    EXPECT_NEAR(RiCatmullRomFilter(1.5f, 0, 1, 1), -0.125f, 1e-6);
    EXPECT_EQ(RiCatmullRomFilter(2.1f, 0, 1, 1), 0.0f);

    EXPECT_NEAR(RiSincFilter(0.5f, 0, 1, 1), 0.63661975f, 1e-6);
    EXPECT_EQ(RiSincFilter(0.00005f, 0, 1, 1), 1.0f);
    EXPECT_EQ(RiSincFilter(2.01f, 0, 1, 1), 0.0f);
    // Separable: a product of the two axes' sincs, each cut at 2.
    EXPECT_NEAR(RiSincFilter(0.5f, -0.5f, 1, 1), 0.63661975f * 0.63661975f, 1e-6);
    EXPECT_NEAR(RiSincFilter(1.5f, 1.5f, 1, 1), 0.04503164f, 1e-6);
    EXPECT_EQ(RiSincFilter(0.2f, 2.01f, 1, 1), 0.0f);
}

TEST(PixelFilters, ByName)
{
    EXPECT_EQ(filter_by_name("gaussian"), &RiGaussianFilter);
    EXPECT_EQ(filter_by_name("box"), &RiBoxFilter);
    EXPECT_EQ(filter_by_name("triangle"), &RiTriangleFilter);
    EXPECT_EQ(filter_by_name("catmull-rom"), &RiCatmullRomFilter);
    EXPECT_EQ(filter_by_name("sinc"), &RiSincFilter);
    EXPECT_EQ(filter_by_name("Gaussian"), nullptr);
    EXPECT_EQ(filter_by_name(nullptr), nullptr);
    EXPECT_STREQ(filter_name(&RiCatmullRomFilter), "catmull-rom");
    EXPECT_EQ(filter_name(nullptr), nullptr);
}
