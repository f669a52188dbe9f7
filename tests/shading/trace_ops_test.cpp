#include <gtest/gtest.h>

#include <cmath>

#include "raytrace/hierarchy.h"
#include "raytrace/quadric.h"
#include "raytrace/raytracer.h"
#include "ri/renderer.h"
#include "shading/lightsource.h"
#include "shading/slstack.h"
#include "shading/tracing.h"
#include "tests/shading/sl_support.h"

using sltest::param_float;
using sltest::param_triple;

namespace {

// A red sphere of radius 5 around the origin (its interior shader, when
// asked for, paints blue) in the ray tracer's hierarchies, and a shading
// point at its centre looking along +z.
class TraceOps : public testing::Test {
protected:
    velktest::TempDir dir;
    GPrimitive *list = nullptr;
    GHierBound *hierarchy = nullptr;
    Intersection sv;

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
        clear_last_hit_cache();
        RayTracer *rt = RayTracer::current();
        rt->secondary_hierarchy = rt->shadow_hierarchy = nullptr;
        delete hierarchy;
        free_object_list(list);
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
        RayTracer *rt = RayTracer::current();
        rt->secondary_hierarchy = rt->shadow_hierarchy = hierarchy;
    }
};

const char *const TRACER =
    "surface tracer(point outside = point(0, 0, 10); vector away = vector(0, 0, 1), back = vector(0, 0, -1);\n"
    "               output color tr = -1, fc = -1, vis = -1; output float d = -1, dmiss = -1, lvl = -1,\n"
    "               shad = -1, count = -1, fd = -1, mcount = -1;\n"
    "               output point ph = 0, fp = 0, pm = 0, mpm = 0; output normal nh = 0, fn = 0;\n"
    "               output vector rm = 0, mrm = 0)\n"
    "{\n"
    "    tr = trace(P, back);\n"
    "    d = rayhittest(P, I, ph, nh);\n"
    "    point pmiss = point(0, 0, 0); normal nmiss = normal(0, 0, 0);\n"
    "    dmiss = rayhittest(outside, away, pmiss, nmiss);\n"
    "    lvl = raylevel(); shad = isshadowray();\n"
    "    count = fulltrace(P, I, fc, fd, fp, fn, pm, rm);\n"
    "    color cmiss = color(0, 0, 0); float fmiss = 0;\n"
    "    mcount = fulltrace(outside, away, cmiss, fmiss, pmiss, nmiss, mpm, mrm);\n"
    "    vis = visibility(P, outside);\n"
    "}\n";

} // namespace

TEST_F(TraceOps, RaysFromInsideARedSphere)
{
    make_sphere(false);
    Shader *s = sltest::compile(dir, "tracer", TRACER);
    ASSERT_NE(s, nullptr);
    int depth = slstack.depth();
    auto block = shadertest::run(s, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(param_triple(s, block, "tr"), Color(1, 0, 0));
    EXPECT_NEAR(param_float(s, block, "d"), 5, 1e-4f);
    Point ph = param_triple(s, block, "ph");
    EXPECT_NEAR(ph.z, 5, 1e-4f);
    Point nh = param_triple(s, block, "nh");   // along the sphere's radius
    EXPECT_NEAR(nh.x, 0, 1e-4f);
    EXPECT_NEAR(nh.y, 0, 1e-4f);
    EXPECT_GT(std::fabs(nh.z), 0.5f);
    EXPECT_EQ(param_float(s, block, "dmiss"), 1e38f);
    EXPECT_EQ(param_float(s, block, "lvl"), 0);
    EXPECT_EQ(param_float(s, block, "shad"), 0);
    // A hit: its colour and geometry, and no ray missed.
    EXPECT_EQ(param_triple(s, block, "fc"), Color(1, 0, 0));
    EXPECT_NEAR(param_float(s, block, "fd"), 5, 1e-4f);
    EXPECT_EQ(param_float(s, block, "count"), 0);
    EXPECT_EQ(param_triple(s, block, "pm"), Point(0, 0, 0));
    // Into empty space: one ray, and it missed from where it started.
    EXPECT_EQ(param_float(s, block, "mcount"), 1);
    EXPECT_EQ(param_triple(s, block, "mpm"), Point(0, 0, 10));
    EXPECT_EQ(param_triple(s, block, "mrm"), Point(0, 0, 1));
    // The sphere stands between the centre and the point outside.
    EXPECT_EQ(param_triple(s, block, "vis"), Color(0, 0, 0));

    sv.shade_task = SHADE_TASK_SHADOW;
    sv.level = 2;
    sv.doillum = 0;   // no rays from here
    block = shadertest::run(s, sv);
    EXPECT_EQ(param_triple(s, block, "tr"), Color(0, 0, 0));
    EXPECT_EQ(param_float(s, block, "d"), 1e38f);
    EXPECT_EQ(param_triple(s, block, "ph"), Point(0, 0, 0));
    EXPECT_EQ(param_float(s, block, "lvl"), 2);
    EXPECT_EQ(param_float(s, block, "shad"), 1);
    EXPECT_EQ(param_float(s, block, "count"), 0);
}

TEST_F(TraceOps, InteriorShaderOfTheObjectHit)
{
    make_sphere(true);
    Shader *s = sltest::compile(dir, "tracer2", std::string(TRACER).replace(8, 6, "tracer2"));
    ASSERT_NE(s, nullptr);
    // Going into the surface's back: the interior shader colours the hit.
    sv.Ng = Point(0, 0, 1);
    auto block = shadertest::run(s, sv);
    EXPECT_EQ(param_triple(s, block, "tr"), Color(0, 0, 1));
    // Out through the front: the exterior shader is absent, so the traced
    // colour stands.
    sv.Ng = Point(0, 0, -1);
    block = shadertest::run(s, sv);
    EXPECT_EQ(param_triple(s, block, "tr"), Color(1, 0, 0));
}

TEST_F(TraceOps, DeepRaysWorkWithoutTheCache)
{
    make_sphere(false);
    current_renderer->options.max_raylevel = 15;
    Shader *s = sltest::compile(dir, "tracer3", std::string(TRACER).replace(8, 6, "tracer3"));
    ASSERT_NE(s, nullptr);
    for (int level : {13, 14, 15}) {
        sv.level = level;
        auto block = shadertest::run(s, sv);
        Color expected = level + 1 <= 15 ? Color(1, 0, 0) : Color(0, 0, 0);
        EXPECT_EQ(param_triple(s, block, "tr"), expected) << level;
        EXPECT_EQ(param_triple(s, block, "fc"), expected) << level;
    }
}

TEST_F(TraceOps, ShadowsOfIlluminateKeepTheLightAboveAThreshold)
{
    sltest::compile(dir, "lamp",
        "light lamp(point from = point \"shader\" (0, 0, 0)) { illuminate(from) Cl = color(1, 1, 1); }\n");
    Shader *s = sltest::compile(dir, "shadowed",
        "surface shadowed() { illuminance(P) { printf(\"%.3c;\", Cl); } }\n");
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
        std::string out = testing::internal::GetCapturedStdout();
        light_list().free_to(nullptr);
        RayTracer::current()->secondary_hierarchy = RayTracer::current()->shadow_hierarchy = nullptr;
        delete hierarchy;
        hierarchy = nullptr;
        free_object_list(list);
        list = nullptr;
        return out;
    };
    EXPECT_EQ(lit_through(1, false), "1 1 1;");
    EXPECT_EQ(lit_through(1, true), "0 0 0;");
    // What gets through is the light's filter; below 0.001 in all it is dark.
    EXPECT_EQ(lit_through(0.999f, true), "0.001 0.001 0.001;");
    EXPECT_EQ(lit_through(0.9998f, true), "0 0 0;");
}
