#include <gtest/gtest.h>

#include <cmath>

#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"
#include "ri/tokens.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/recording_renderer.h"

namespace {

using velktest::CurrentRecorder;
using velktest::ErrorCapture;

Point to_world(const Transformation *t, Point p, float time = 0)
{
    Point out;
    t->point_to_world(p.data(), out.data(), time);
    return out;
}

void expect_point(const Point &a, const Point &b, float tol = 1e-5f)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

TEST(Transformation, ConcatenationAppliesBeforeTheCurrent)
{
    CurrentRecorder r;
    RiTranslate(10, 0, 0);
    RiScale(2, 2, 2);   // applies first: (1,0,0) -> (2,0,0) -> (12,0,0)
    expect_point(to_world(r->transformation.get(), Point(1, 0, 0)), Point(12, 0, 0));
    Transformation *t = r->transformation.get();
    // the inverse, normal and transpose follow the forward matrix
    float prod[16];
    matrix_multiply(t->statics[TM_M], t->statics[TM_INVERSE], prod);
    for (int i = 0; i < 16; i++) EXPECT_NEAR(prod[i], i % 5 == 0 ? 1 : 0, 1e-6);
    float nt[16];
    transpose_matrix(t->statics[TM_INVERSE], nt);
    for (int i = 0; i < 16; i++) EXPECT_FLOAT_EQ(nt[i], t->statics[TM_NORMAL][i]);
    RtMatrix m = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 5, 0, 1}};
    RiConcatTransform(m);
    expect_point(to_world(r->transformation.get(), Point(0, 0, 0)), Point(10, 10, 0));
    RiTransform(m);
    expect_point(to_world(r->transformation.get(), Point(0, 0, 0)), Point(0, 5, 0));
    RiIdentity();
    expect_point(to_world(r->transformation.get(), Point(1, 2, 3)), Point(1, 2, 3));
}

TEST(Transformation, NoOpCallsMakeNoCopy)
{
    CurrentRecorder r;
    TransformationRef shared = r->transformation;
    Transformation *before = r->transformation.get();
    RiTranslate(0, 0, 0);
    RiScale(1, 1, 1);
    RiRotate(0, 0, 0, 1);
    EXPECT_EQ(r->transformation.get(), before);
    RiTranslate(1, 0, 0);
    EXPECT_NE(r->transformation.get(), before);   // shared: copied on write
    expect_point(shared->origin(), Point(0, 0, 0));
}

TEST(Transformation, HandednessParity)
{
    CurrentRecorder r;
    RiScale(-1, 1, 1);
    EXPECT_TRUE(r->transformation->flags & TF_LEFTHANDED);
    RiScale(-1, 1, 1);
    EXPECT_FALSE(r->transformation->flags & TF_LEFTHANDED);
    // "rh" in a space of the camera's handedness marks the orientation inside-out
    RiOrientation("rh");
    EXPECT_EQ(r->attributes->orientation & 1, 1u);
    RiOrientation("lh");
    EXPECT_EQ(r->attributes->orientation & 1, 0u);
    RiReverseOrientation();
    EXPECT_EQ(r->attributes->orientation & 1, 1u);
    RiOrientation("outside");
    EXPECT_EQ(r->attributes->orientation & 1, 0u);
}

TEST(Transformation, SingularTransformsNeverGiveNaN)
{
    CurrentRecorder r;
    RiScale(0, 1, 1);
    Transformation *t = r->transformation.get();
    Point p;
    float in[3] = {1, 2, 3};
    t->point_from_world(in, p.data());
    t->normal_to_world(in, p.data());
    for (int i = 0; i < 3; i++) EXPECT_FALSE(std::isnan(p[i]));
    float len = t->length_from_world(1);
    EXPECT_FALSE(std::isnan(len));
}

TEST(Transformation, RefusedCallsAreReported)
{
    CurrentRecorder r;
    ErrorCapture errors;
    Transformation *before = r->transformation.get();
    RiRotate(30, 0, 0, 0);
    RiPerspective(0);
    RiPerspective(180);
    RiSkew(30, 0, 0, 0, 1, 0, 0);
    RiSkew(30, 1, 0, 0, 2, 0, 0);
    EXPECT_EQ(errors.count(), 5u);
    for (auto &e : errors.reports) EXPECT_EQ(e.code, RIE_RANGE);
    EXPECT_EQ(r->transformation.get(), before);
    for (int i = 0; i < 16; i++) EXPECT_FALSE(std::isnan(r->transformation->statics[TM_M][i]));
}

TEST(Transformation, Skew)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiSkew(45, 0, 1, 0, 1, 0, 0);
    EXPECT_TRUE(errors.reports.empty());
    // the skew keeps volume
    float det = 0;
    Matrix4(r->transformation->statics[TM_M]).inverse(&det);
    EXPECT_NEAR(det, 1, 1e-5);
    RiSkew(100, 0, 1, 0, 1, 0, 0);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].message, "RiSkew angle too large for the axes");
}

TEST(Transformation, MotionKeysAndInterpolation)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiMotionBegin(2, 0.0, 1.0);
    RiTranslate(0, 0, 0);
    RiTranslate(1, 0, 0);
    RiMotionEnd();
    EXPECT_TRUE(errors.reports.empty());
    Transformation *t = r->transformation.get();
    ASSERT_TRUE(t->moving());
    expect_point(to_world(t, Point(0, 0, 0), 0.5f), Point(0.5f, 0, 0));
    expect_point(to_world(t, Point(0, 0, 0), -1), Point(0, 0, 0));
    expect_point(to_world(t, Point(0, 0, 0), 2), Point(1, 0, 0));
    // a moving record keeps concatenating into both keys
    RiTranslate(0, 1, 0);
    expect_point(to_world(r->transformation.get(), Point(0, 0, 0), 1), Point(1, 1, 0));
    // the 11-sample bound of a moving record covers the whole path
    Bound b = r->transformation->motion_bound_to_world(Bound(0, 0, 0, 0, 0, 0), 0, 1);
    EXPECT_LE(b[0], 0);
    EXPECT_GE(b[1], 1);
    TransformationRef still(new Transformation);
    Bound sb = still->motion_bound_to_world(Bound(0, 1, 0, 1, 0, 1), 0, 1);
    EXPECT_NEAR(sb[1], 1 + 0.0005f * std::sqrt(3.0f), 1e-6);
}

TEST(Transformation, MotionBeginUnsharesBeforeWritingTimes)
{
    CurrentRecorder r;
    TransformationRef saved = r->transformation;
    RiMotionBegin(2, 3.0, 4.0);
    EXPECT_EQ(saved->t0, 0);
    EXPECT_EQ(r->transformation->t1, 4);
    RiTranslate(1, 0, 0);
    RiTranslate(2, 0, 0);
    RiMotionEnd();
    EXPECT_FALSE(saved->moving());
}

TEST(Transformation, MotionBlockErrors)
{
    CurrentRecorder r;
    ErrorCapture errors;
    // More than two times: the first and last keys are kept.
    RiMotionBegin(3, 0.0, 0.5, 1.0);
    EXPECT_TRUE(r->level & LEVEL_MOTION);
    RiTranslate(1, 0, 0);
    RiTranslate(2, 0, 0);
    RiTranslate(4, 0, 0);
    RiMotionEnd();
    for (const auto &e : errors.reports) EXPECT_LT(e.severity, RIE_WARNING) << e.message;
    expect_point(to_world(r->transformation.get(), Point(0, 0, 0), 0), Point(1, 0, 0));
    expect_point(to_world(r->transformation.get(), Point(0, 0, 0), 1), Point(4, 0, 0));
    // Identity as a later key leaves the first.
    RiIdentity();
    RiMotionBegin(2, 0.0, 1.0);
    RiTranslate(1, 0, 0);
    RiIdentity();
    RiMotionEnd();
    expect_point(to_world(r->transformation.get(), Point(0, 0, 0), 0), Point(1, 0, 0));
    expect_point(to_world(r->transformation.get(), Point(0, 0, 0), 1), Point(0, 0, 0));
    // A block of one time is no motion.
    RiIdentity();
    RiMotionBegin(1, 0.0);
    RiTranslate(2, 0, 0);
    RiMotionEnd();
    EXPECT_FALSE(r->transformation->moving());
    expect_point(r->transformation->origin(), Point(2, 0, 0));
    RiMotionBegin(0);
    EXPECT_TRUE(errors.has_message("MotionBegin without times"));
    EXPECT_FALSE(r->level & LEVEL_MOTION);
    errors.clear();
    RiMotionBegin(2, 0.0, 1.0);
    RiTranslate(1, 0, 0);
    RiMotionEnd();
    EXPECT_TRUE(errors.has_message("Wrong number of motion specifications: 2 expected, 1 found"));
    errors.clear();
    RiMotionBegin(2, 0.0, 1.0);
    RiMotionEnd();
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].message, "Empty motion block");
    EXPECT_EQ(errors.reports[0].severity, RIE_WARNING);
    errors.clear();
    RiMotionEnd();
    EXPECT_TRUE(errors.has(RIE_BADMOTION));
}

TEST(Transformation, OneKeyBackEndIgnoresTheSecond)
{
    CurrentRecorder r;
    r->max_times = 1;
    ErrorCapture errors;
    RiMotionBegin(2, 0.0, 1.0);
    RiTranslate(1, 0, 0);
    RiTranslate(5, 0, 0);
    RiMotionEnd();
    EXPECT_TRUE(errors.reports.empty());
    EXPECT_FALSE(r->transformation->moving());
    expect_point(r->transformation->origin(), Point(1, 0, 0));
}

TEST(Transformation, StackLimits)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiTransformEnd();
    EXPECT_TRUE(errors.has_message("Transformation stack underflow"));
    for (int i = 0; i < 129; i++) RiTransformBegin();
    EXPECT_TRUE(errors.has_message("Transformation stack overflow"));
    EXPECT_EQ(r->transformation_depth, 128);
    RiTranslate(1, 1, 1);
    for (int i = 0; i < 128; i++) RiTransformEnd();
    expect_point(r->transformation->origin(), Point(0, 0, 0));
}

TEST(Transformation, CoordinateSystemsAndSpaces)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiTranslate(0, 0, 5);   // camera
    RiWorldBegin();
    RiTranslate(1, 2, 3);
    RiCoordinateSystem("lamp");
    RiIdentity();
    RtPoint p[1] = {{0, 0, 0}};
    ASSERT_NE(RiTransformPoints("lamp", "world", 1, p), nullptr);
    expect_point(Point::from(p[0]), Point(1, 2, 3));
    RtPoint q[1] = {{0, 0, 0}};
    RiTransformPoints("world", "camera", 1, q);
    expect_point(Point::from(q[0]), Point(0, 0, 5));
    EXPECT_EQ(RiTransformPoints("nowhere", "world", 1, q), nullptr);
    // "object" is the current transformation, not world space
    RiTranslate(0, 0, 1);
    RtPoint o[1] = {{0, 0, 0}};
    RiTransformPoints("object", "world", 1, o);
    expect_point(Point::from(o[0]), Point(0, 0, 1));
    RiCoordSysTransform("lamp");
    expect_point(r->transformation->origin(), Point(1, 2, 3));
    RiCoordSysTransform("nowhere");
    EXPECT_TRUE(errors.has_message("RiCoordSysTransform: space \"nowhere\" unknown"));
    RiWorldEnd();
    errors.clear();
    RiCoordSysTransform("lamp");
    EXPECT_TRUE(errors.has_message("can be used only inside World block"));
}

TEST(Transformation, RasterSpaceRoundTrip)
{
    CurrentRecorder r;
    RtToken fov = "fov";
    float angle = 90;
    RtPointer v = &angle;
    RiProjectionV("perspective", 1, &fov, &v);
    RiWorldBegin();
    float m[16];
    ASSERT_EQ(find_space_matrix("camera", "raster", 0, m), 1);
    RtPoint centre[1] = {{0, 0, 1}};
    RiTransformPoints("camera", "raster", 1, centre);
    EXPECT_NEAR(centre[0][0], 320, 1e-3);
    EXPECT_NEAR(centre[0][1], 240, 1e-3);
    RiTransformPoints("raster", "camera", 1, centre);
    EXPECT_NEAR(centre[0][0], 0, 1e-4);
    RiWorldEnd();
}

TEST(Transformation, PoolAndStatistics)
{
    int64_t before = transformation_counter().current;
    {
        std::vector<TransformationRef> v(20);
        for (auto &h : v) h.set(new Transformation);
        EXPECT_EQ(transformation_counter().current, before + 20);
        int64_t extra = extra_matrix_counter().current;
        v[0]->start_motion();
        TransformationRef copy(new Transformation(*v[0]));
        EXPECT_TRUE(copy->moving());
        EXPECT_EQ(extra_matrix_counter().current, extra + 8);
    }
    EXPECT_EQ(transformation_counter().current, before);
}

} // namespace
