#include <gtest/gtest.h>

#include "raytrace/hierarchy.h"
#include "raytrace/quadric.h"
#include "raytrace/raytracer.h"
#include "ri/renderer.h"
#include "shading/lightsource.h"
#include "shading_shaderfile/slstack.h"
#include "shading/tracing.h"
#include "tests/shading/sl_support.h"

using sltest::param_float;
using sltest::param_triple;

namespace {

// A red sphere of radius 5 around the origin in the ray tracer's
// hierarchies, and a shading point at its centre.
class TraceOps : public testing::Test {
protected:
    velktest::TempDir dir;
    GPrimitive *list = nullptr;
    GHierBound *hierarchy = nullptr;
    ShadingPoint sv;

    void SetUp() override
    {
        RiBegin(nullptr);
        RiWorldBegin();
        sltest::compile(dir, "red", "surface red() { Ci = color(1, 0, 0); Oi = color(1, 1, 1); }\n");
        sltest::compile(dir, "blue", "volume blue() { Ci = color(0, 0, 1); }\n");
        sv.Ps = Point(0, 0, 0);
        sv.I = Point(0, 0, 1);
        sv.Ns = sv.Ng = Point(0, 0, -1);
        sv.doillum = 1;
        sv.weight = 1;
    }
    void TearDown() override
    {
        remove_sphere();
        current_renderer->options.render_enabled = 0;
        RiWorldEnd();
        RiEnd();
    }
    void make_sphere(bool interior, float opacity = 1)
    {
        RiAttributeBegin();
        RtColor o = {opacity, opacity, opacity};
        RiOpacity(o);
        RiSurface(const_cast<char *>("red"), RI_NULL);
        if (interior) RiInterior(const_cast<char *>("blue"), RI_NULL);
        GSphere *s = new GSphere(5, -5, 5, 360);
        RiAttributeEnd();
        s->link(&list, 1);
        hierarchy = GHierBound::build(HIER_ALL, list, 0, 0, 0, 0);
        RayTracer::current()->secondary_hierarchy = RayTracer::current()->shadow_hierarchy = hierarchy;
    }
    void remove_sphere()
    {
        clear_last_hit_cache();
        RayTracer::current()->secondary_hierarchy = RayTracer::current()->shadow_hierarchy = nullptr;
        delete hierarchy;
        hierarchy = nullptr;
        free_object_list(list);
        list = nullptr;
    }
};

} // namespace

TEST_F(TraceOps, RaysFromInsideARedSphere)
{
    make_sphere(true);
    Shader *s = sltest::compile(dir, "tracer",
        "surface tracer(point outside = point(0, 0, 10); vector away = vector(0, 0, 1), back = vector(0, 0, -1);\n"
        "               output color tr = -1, fc = -1, vis = -1; output float d = -1, dmiss = -1, lvl = -1,\n"
        "               shad = -1, count = -1, fd = -1, mcount = -1; output point ph = 0, mpm = 0;\n"
        "               output vector mrm = 0)\n"
        "{\n"
        "    tr = trace(P, back);\n"
        "    normal nh = normal(0, 0, 0); point pmiss = point(0, 0, 0); point pm = pmiss; vector rm = back;\n"
        "    d = rayhittest(P, I, ph, nh); dmiss = rayhittest(outside, away, pmiss, nh);\n"
        "    lvl = raylevel(); shad = isshadowray();\n"
        "    count = fulltrace(P, I, fc, fd, pmiss, nh, pm, rm);\n"
        "    color cmiss = color(0, 0, 0); float fmiss = 0;\n"
        "    mcount = fulltrace(outside, away, cmiss, fmiss, pmiss, nh, mpm, mrm);\n"
        "    vis = visibility(P, outside);\n"
        "}\n");
    ASSERT_NE(s, nullptr);
    int depth = slstack.depth();
    unsigned long likely = ray_stats().likely_hits[1];
    auto block = shadertest::run(s, sv);
    EXPECT_EQ(slstack.depth(), depth);
    // fulltrace tried the object the trace of its level hit first.
    EXPECT_GT(ray_stats().likely_hits[1], likely);
    // Out through the front of the point: no exterior shader, the traced colour stands.
    EXPECT_EQ(param_triple(s, block, "tr"), Color(1, 0, 0));
    EXPECT_NEAR(param_float(s, block, "d"), 5, 1e-4f);
    EXPECT_NEAR(param_triple(s, block, "ph").z, 5, 1e-4f);
    EXPECT_EQ(param_float(s, block, "dmiss"), 1e38f);
    EXPECT_EQ(param_float(s, block, "lvl"), 0);
    EXPECT_EQ(param_float(s, block, "shad"), 0);
    EXPECT_EQ(param_triple(s, block, "fc"), Color(1, 0, 0));
    EXPECT_NEAR(param_float(s, block, "fd"), 5, 1e-4f);
    EXPECT_EQ(param_float(s, block, "count"), 0);
    // Into empty space from level 0: one ray, missing where it started.
    EXPECT_EQ(param_float(s, block, "mcount"), 1);
    EXPECT_EQ(param_triple(s, block, "mpm"), Point(0, 0, 10));
    EXPECT_EQ(param_triple(s, block, "mrm"), Point(0, 0, 1));
    EXPECT_EQ(param_triple(s, block, "vis"), Color(0, 0, 0));

    // Into the back of the point's surface: the interior shader colours the hit.
    sv.Ng = Point(0, 0, 1);
    block = shadertest::run(s, sv);
    EXPECT_EQ(param_triple(s, block, "tr"), Color(0, 0, 1));

    // A shadow-ray point at level 15: no rays (nor a cache slot) from here.
    sv.shade_task = SHADE_TASK_SHADOW;
    sv.level = 15;
    block = shadertest::run(s, sv);
    EXPECT_EQ(param_triple(s, block, "tr"), Color(0, 0, 0));
    EXPECT_EQ(param_float(s, block, "lvl"), 15);
    EXPECT_EQ(param_float(s, block, "shad"), 1);
    sv.doillum = 0;
    block = shadertest::run(s, sv);
    EXPECT_EQ(param_float(s, block, "d"), 1e38f);
    EXPECT_EQ(param_triple(s, block, "ph"), Point(0, 0, 0));
}

// A ray past the deepest level is counted at its level and answers black,
// hitting nothing, though the sphere lies in its way.
TEST_F(TraceOps, TracePastTheDeepestLevelIsBlackButCounted)
{
    make_sphere(false);
    Shader *s = sltest::compile(dir, "deep", "surface deep(output color tr = -1) { tr = trace(P, vector(0, 0, -1)); }\n");
    ASSERT_NE(s, nullptr);
    const int top = current_renderer->options.max_raylevel;
    for (int level : {top - 1, top}) {
        sv.level = level;
        unsigned long rays = ray_stats().rays[level + 1], tests = ray_stats().isect_tests;
        auto block = shadertest::run(s, sv);
        EXPECT_EQ(ray_stats().rays[level + 1], rays + 1) << level;
        EXPECT_EQ(param_triple(s, block, "tr"), level < top ? Color(1, 0, 0) : Color(0, 0, 0)) << level;
        EXPECT_EQ(ray_stats().isect_tests > tests, level < top) << level;
    }
}

TEST_F(TraceOps, ShadowsOfIlluminateKeepTheLightAboveAThreshold)
{
    sltest::compile(dir, "lamp",
        "light lamp(point from = point \"shader\" (0, 0, 0)) { illuminate(from) Cl = color(1, 1, 1); }\n");
    Shader *s = sltest::compile(dir, "shadowed", "surface shadowed() { illuminance(P) { printf(\"%.3c;\", Cl); } }\n");
    ASSERT_NE(s, nullptr);
    auto lit_through = [&](float opacity, bool shadows) {
        make_sphere(false, opacity);
        RiAttributeBegin();
        const char *on = shadows ? "on" : "off";
        RiAttribute(const_cast<char *>("light"), "shadows", &on, RI_NULL);
        RiTranslate(0, 0, 10);
        RtLightHandle lamp = RiLightSource(const_cast<char *>("lamp"), RI_NULL);
        RiAttributeEnd();
        RiIlluminate(lamp, 1);
        sv.surf = current_renderer->attributes;
        sv.shade_index++;
        testing::internal::CaptureStdout();
        shadertest::run(s, sv);
        light_list().free_to(nullptr);
        remove_sphere();
        return testing::internal::GetCapturedStdout();
    };
    EXPECT_EQ(lit_through(1, false), "1 1 1;");
    // A light in full shadow does not reach the point: the loop skips it.
    EXPECT_EQ(lit_through(1, true), "");
    // The light keeps what gets through; below 0.001 in all it does not count.
    EXPECT_EQ(lit_through(0.999f, true), "0.001 0.001 0.001;");
    EXPECT_EQ(lit_through(0.9998f, true), "");
}
