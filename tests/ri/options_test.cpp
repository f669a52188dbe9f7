#include <gtest/gtest.h>

#include <cmath>

#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/recording_renderer.h"

namespace {

using velktest::CurrentRecorder;
using velktest::ErrorCapture;

TEST(Options, DefaultWorld)
{
    CurrentRecorder r;
    RiWorldBegin();
    const Options &o = r->options;
    EXPECT_EQ(o.eff_xres, 640);
    EXPECT_EQ(o.eff_yres, 480);
    EXPECT_FLOAT_EQ(o.frame_aspect, 1.3333334f);
    EXPECT_FLOAT_EQ(o.screen[0], -1.3333334f);
    EXPECT_FLOAT_EQ(o.screen[3], 1);
    EXPECT_EQ(o.crop_bounds[0], 0);
    EXPECT_EQ(o.crop_bounds[1], 639);
    EXPECT_EQ(o.crop_bounds[3], 479);
    EXPECT_EQ(o.sample_bounds[0], -1);
    EXPECT_EQ(o.sample_bounds[1], 640);
    EXPECT_EQ(o.sample_bounds[2], -1);
    EXPECT_EQ(o.sample_bounds[3], 480);
    EXPECT_EQ(o.rowsperstrip, 25);   // 65536 / 640 / 4
    EXPECT_STREQ(o.display_name, "ri.tif");
    RiWorldEnd();
}

TEST(Options, FrameAspectRatioGivesEffectiveResolution)
{
    CurrentRecorder r;
    RiFormat(100, 100, 1);
    RiFrameAspectRatio(2);
    RiWorldBegin();
    EXPECT_EQ(r->options.eff_xres, 100);
    EXPECT_EQ(r->options.eff_yres, 50);
    // raster space is the image actually made
    EXPECT_EQ(r->options.ndc_to_raster.at(1, 1), 50);
    EXPECT_EQ(r->options.crop_bounds[3], 49);
    RiWorldEnd();
    RiFrameAspectRatio(0.5f);
    RiWorldBegin();
    EXPECT_EQ(r->options.eff_xres, 50);
    EXPECT_EQ(r->options.eff_yres, 100);
    EXPECT_FLOAT_EQ(r->options.screen[2], -2);
    EXPECT_FLOAT_EQ(r->options.screen[3], 2);
    RiWorldEnd();
}

TEST(Options, SecondWorldDerivesAgain)
{
    CurrentRecorder r;
    RtToken fov = "fov";
    float angle = 90;
    RtPointer v = &angle;
    RiProjectionV("perspective", 1, &fov, &v);
    RiScreenWindow(-2, 2, -1, 1);
    RiWorldBegin();
    RiWorldEnd();
    float s = std::tan(radians(45));
    EXPECT_FLOAT_EQ(r->options.screen[0], -2 * s);
    RiFormat(200, 100, 1);
    RiWorldBegin();
    RiWorldEnd();
    EXPECT_FLOAT_EQ(r->options.screen[0], -2 * s);   // not scaled twice
    EXPECT_FLOAT_EQ(r->options.frame_aspect, 2);
}

TEST(Options, CropWindowAndDisplayName)
{
    CurrentRecorder r;
    RiCropWindow(0.5f, 1, 0, 1);
    r->options.display_name = NewToken("base");
    r->options.pending_display = NewToken("+.tif");
    RiWorldBegin();
    EXPECT_EQ(r->options.crop_bounds[0], 320);
    EXPECT_EQ(r->options.crop_bounds[1], 639);
    EXPECT_EQ(r->options.crop_width, 320);
    EXPECT_STREQ(r->options.display_name, "base.tif");
    RiWorldEnd();
    RiWorldBegin();
    EXPECT_STREQ(r->options.display_name, "base.tif");
    RiWorldEnd();
}

TEST(Options, AsciiPreview)
{
    CurrentRecorder r;
    r->options.ascii = 1;
    RiWorldBegin();
    EXPECT_EQ(r->options.eff_xres, 78);
    EXPECT_EQ(r->options.eff_yres, 39);
    EXPECT_EQ(r->options.verbosity, 0);
    EXPECT_EQ(r->options.display_kind, DISPLAY_ASCII);
    RiWorldEnd();
}

TEST(Options, FrameRestoresOptionsWithDeepCopiedDisplayParameters)
{
    CurrentRecorder r;
    float res[2] = {1, 2};
    VVData *v = new VVData(NewToken("resolution"), 1, 2, 2, res, 2);
    r->options.display_params.push_front(v);
    RiFrameBegin(7);
    RiFormat(320, 200, 1);
    EXPECT_EQ(r->options.frame_number, 7);
    ASSERT_NE(r->options_stack, nullptr);
    EXPECT_NE(r->options_stack->display_params.head, v);   // the saved copy has its own list
    r->options.display_params.clear();
    RiFrameEnd();
    EXPECT_EQ(r->options.xres, 640);
    ASSERT_NE(r->options.display_params.head, nullptr);
    EXPECT_EQ(static_cast<float *>(r->options.display_params.find(NewToken("resolution")))[1], 2);
}

TEST(Options, ProceduresCheckAndClamp)
{
    CurrentRecorder r;
    ErrorCapture errors;
    Options &o = r->options;
    RiFormat(0, 480, 1);
    EXPECT_EQ(o.xres, 640);
    RiClipping(0, 100);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_CONSISTENCY);
    EXPECT_EQ(errors.reports[0].message, "Bad values for RiClipping");
    RiClipping(1e-9f, 100);
    EXPECT_FLOAT_EQ(o.near_clip, 1e-6f);
    RiPixelSamples(0.3f, 2);
    EXPECT_EQ(o.xsamples, 1);
    EXPECT_EQ(o.ysamples, 2);
    RiPixelSamples(NAN, 1e30f);
    EXPECT_EQ(o.xsamples, 1);
    errors.clear();
    RiProjectionV("fisheye", 0, nullptr, nullptr);
    EXPECT_EQ(errors.reports.at(0).message, "RiProjection: Invalid projection \"fisheye\"");
    errors.clear();
    RiHiderV("paint", 0, nullptr, nullptr);
    EXPECT_EQ(o.hider, HIDER_PAINT);
    EXPECT_EQ(errors.reports.at(0).severity, RIE_WARNING);
    RiQuantize("rgba", 100, 0, 100, 0.5f);
    EXPECT_FLOAT_EQ(o.color_quant[3], 0.005f);
    RiQuantize("z", 0, 0, 0, 0.5f);
    EXPECT_FLOAT_EQ(o.depth_quant[3], 0.5f);
    RiDepthOfField(8, 0.5f, 10);
    EXPECT_EQ(o.dof_on, 1);
    EXPECT_FLOAT_EQ(o.lens_radius, 0.03125f);
    RiDepthOfField(1e38f, 0, 0);
    EXPECT_EQ(o.dof_on, 0);
    RiExposure(1, 2.2f);
    EXPECT_EQ(o.exposure_differs, 1);
}

TEST(Options, DegenerateValuesAreRefused)
{
    CurrentRecorder r;
    ErrorCapture errors;
    Options &o = r->options;
    RiFrameAspectRatio(0);
    RiFrameAspectRatio(-2);
    RiScreenWindow(1, 1, -1, 1);
    RiDepthOfField(0, 1, 1);
    RiPixelFilter(RiBoxFilter, 0, 1);
    RiPixelFilter(RiBoxFilter, 1, -1);
    EXPECT_EQ(errors.count(), 6u);
    EXPECT_LT(o.frame_aspect_given, 0);
    EXPECT_LT(o.screen_given[0], SCREEN_NOT_GIVEN);
    EXPECT_EQ(o.dof_on, 0);
    EXPECT_EQ(o.filter, RiGaussianFilter);
    RiWorldBegin();
    for (int i = 0; i < 16; i++) {
        EXPECT_FALSE(std::isnan(o.camera_to_clip.m[i]));
        EXPECT_FALSE(std::isnan(o.screen_to_ndc.m[i]));
    }
    RiWorldEnd();
}

TEST(Options, OptionInsideWorldWarnsAndTakesEffect)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiWorldBegin();
    RiFormat(10, 10, 1);
    RiWorldEnd();
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_NOTOPTIONS);
    EXPECT_EQ(errors.reports[0].severity, RIE_WARNING);
    EXPECT_EQ(r->options.xres, 10);
}

} // namespace
