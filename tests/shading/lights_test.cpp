#include <gtest/gtest.h>

#include "raytrace/gprim.h"
#include "ri/renderer.h"
#include "ri/tokens.h"
#include "shading/bindshader.h"
#include "shading/lightsource.h"
#include "shading/stringids.h"
#include "shading/tracing.h"
#include "tests/ri/error_capture.h"
#include "tests/shading/shader_support.h"

namespace {

int light_runs = 0;

// A light whose colour is its "intensity" times (1, 0.5, 0.25).
int counting_light(ShaderVars *sv, char *params)
{
    light_runs++;
    float k = params ? *reinterpret_cast<float *>(params) : 1;
    sv->Cl = Color(k, k * 0.5f, k * 0.25f);
    sv->L = sv->Ps - sv->Pl;
    return 1;
}

PARAM_INFO light_rows[] = {
    {nullptr, PtFLOAT, 2, 0, 0, 1, 4, 0, nullptr, nullptr},
    {nullptr, PtSTRING, 2, 0, 0, 1, 4, 4, nullptr, nullptr},
    {nullptr, PtPOINT, 2, 0, 0, 1, 12, 8, nullptr, nullptr},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr},
};

// "lit" (uses illuminate) and "amb" (does not), registered once.
void register_test_lights()
{
    static bool done = false;
    if (done) return;
    done = true;
    light_rows[0].name = NewToken("intensity");
    light_rows[1].name = NewToken("__category");
    light_rows[2].name = NewToken("from");
    Shader *lit = register_shader("lit", counting_light, nullptr, light_rows, nullptr, SH_LIGHT);
    lit->flags = VU_ILLUMINATE;
    uint32_t words[5] = {0, 0, 0, 0, 0};
    float one = 1;
    std::memcpy(words, &one, 4);
    words[1] = string_id("");
    lit->defaults.assign(words, words + 5);
    register_shader("amb", counting_light, nullptr, light_rows, nullptr, SH_LIGHT)->defaults = lit->defaults;
}

class Lights : public testing::Test {
protected:
    void SetUp() override
    {
        register_test_lights();
        RiBegin(nullptr);
        light_runs = 0;
    }
    void TearDown() override
    {
        RiEnd();
        light_list().free_to(nullptr);
    }
    static const uint32_t *light_set() { return current_renderer->attributes->light_set; }
};

} // namespace

TEST_F(Lights, HandlesKindsAndTheLightSet)
{
    RiWorldBegin();
    RtLightHandle a = RiLightSource("lit", RI_NULL);
    RtLightHandle b = RiLightSource("amb", RI_NULL);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    LightSource *la = static_cast<LightSource *>(a), *lb = static_cast<LightSource *>(b);
    EXPECT_EQ(la->kind, LIGHT_ORDINARY);
    EXPECT_EQ(lb->kind, LIGHT_AMBIENT);
    EXPECT_EQ(lb->id, la->id + 1);
    EXPECT_EQ(light_list().head, lb);
    EXPECT_TRUE(light_set_contains(light_set(), la->id));
    EXPECT_TRUE(light_set_contains(light_set(), lb->id));
    RiAttributeBegin();
    RiIlluminate(a, 0);
    EXPECT_FALSE(light_set_contains(light_set(), la->id));
    RiAttributeEnd();
    EXPECT_TRUE(light_set_contains(light_set(), la->id));

    velktest::ErrorCapture errors;
    RiIlluminate(nullptr, 1);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_BADHANDLE);
    EXPECT_EQ(errors.reports[0].message, "Bad handle for RiIlluminate()");
    RiWorldEnd();
}

TEST_F(Lights, LastBlockersAndParameterOffsetsAreEachLightsOwn)
{
    RiWorldBegin();
    LightSource *a = static_cast<LightSource *>(RiLightSource("lit", RI_NULL));
    LightSource *b = static_cast<LightSource *>(RiLightSource("lit", RI_NULL));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    GPrimitive *blocker = reinterpret_cast<GPrimitive *>(&light_runs);
    EXPECT_EQ(light_blocker(a), nullptr);
    light_blocker(a) = blocker;
    EXPECT_EQ(light_blocker(a), blocker);
    EXPECT_EQ(light_blocker(b), nullptr);
    // The world's objects go: no light keeps one.
    clear_last_hit_cache();
    EXPECT_EQ(light_blocker(a), nullptr);
    // Floats only, each name asked twice (more names than the light keeps).
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(a->float_param_offset(NewToken("intensity")), 0);
        EXPECT_EQ(a->float_param_offset(NewToken("__category")), -1);
        EXPECT_EQ(a->float_param_offset(NewToken("from")), -1);
        EXPECT_EQ(a->float_param_offset(NewToken("__nondiffuse")), -1);
    }
    RiWorldEnd();
}

TEST(LightMask, IdsBeyondTheSetAreNeverStored)
{
    uint32_t set[4] = {0, 0, 0, 0};
    light_mask_set(set, 130);
    light_mask_set(set, -1);
    for (uint32_t w : set) EXPECT_EQ(w, 0u);
    light_mask_set(set, 33);
    EXPECT_EQ(set[1], 2u);
    light_mask_clear(set, 33);
    EXPECT_EQ(set[1], 0u);
}

TEST_F(Lights, ScopingAndAreaLights)
{
    velktest::ErrorCapture errors;
    RtLightHandle outside = RiLightSource("lit", RI_NULL);
    ASSERT_NE(outside, nullptr);
    EXPECT_EQ(static_cast<LightSource *>(outside)->outside_world, 1);
    RiWorldBegin();
    light_list().prepare();   // the ray tracer's world begin
    EXPECT_EQ(static_cast<LightSource *>(outside)->outside_world, 0);
    EXPECT_EQ(light_list().mark, outside);
    RiAttributeBegin();
    RtLightHandle area = RiAreaLightSource("lit", RI_NULL);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(static_cast<LightSource *>(area)->kind, LIGHT_AREA);
    EXPECT_EQ(current_renderer->attributes->area_light, area);
    RiAttributeEnd();
    EXPECT_EQ(current_renderer->attributes->area_light, nullptr);
    RiWorldEnd();
    light_list().clear();
    EXPECT_EQ(light_list().head, outside);
    EXPECT_EQ(errors.count(), 0u);
}

TEST_F(Lights, WalksVisitEachKindAndEverySample)
{
    RiWorldBegin();
    RtInt sixteen = 16;
    RiAttribute("light", "nsamples", &sixteen, RI_NULL);
    RiLightSource("lit", RI_NULL);
    RiLightSource("amb", RI_NULL);
    ShadingPoint sv;
    LightSourceListWalker w;
    int visits = 0;
    for (w.start(light_list(), &sv, 0); !w.end(); w.step()) {
        EXPECT_EQ(w()->kind, LIGHT_ORDINARY);
        EXPECT_EQ(w.weight(), 1.0f / 16);
        visits++;
    }
    EXPECT_EQ(visits, 16);
    sv.indirectlevel = 1;
    visits = 0;
    for (w.start(light_list(), &sv, 0); !w.end(); w.step()) {
        EXPECT_EQ(w.weight(), 1.0f);
        visits++;
    }
    EXPECT_EQ(visits, 1);
    visits = 0;
    for (w.start(light_list(), &sv, 1); !w.end(); w.step()) {
        EXPECT_EQ(w()->kind, LIGHT_AMBIENT);
        visits++;
    }
    EXPECT_EQ(visits, 1);
    RiWorldEnd();
}

TEST_F(Lights, RunsAreCachedPerLevelAndWeighted)
{
    RiWorldBegin();
    RtFloat two = 2;
    RtLightHandle h = RiLightSource("lit", "intensity", &two, RI_NULL);
    LightSource *l = static_cast<LightSource *>(h);
    ShadingPoint sv;
    sv.shade_index = 5;
    sv.level = 1;
    Point P(0, 0, 1), axis(0, 0, -1);
    float scratch_marker = 0;
    sv.scratch = &scratch_marker;
    sv.highestscratch = 3;
    LightSourceListWalker w;
    w.start(light_list(), &sv, 0);
    ASSERT_EQ(w(), l);
    EXPECT_EQ(w.call_shader(P, axis, 0.5f, 1, &sv), 1);
    EXPECT_EQ(light_runs, 1);
    EXPECT_EQ(sv.Cl, Color(2, 1, 0.5f));
    EXPECT_EQ(sv.Pl, Point(0, 0, 0));   // the light's origin in world space
    // The run gives the point back as it was.
    EXPECT_EQ(sv.scratch, &scratch_marker);
    EXPECT_EQ(sv.highestscratch, 3);
    EXPECT_EQ(sv.shadetype, 0);
    // The same point, level and a narrower cone: from the cache.
    sv.Cl = Color(0, 0, 0);
    w.call_shader(P, axis, 0.75f, 1, &sv);
    EXPECT_EQ(light_runs, 1);
    EXPECT_EQ(sv.Cl, Color(2, 1, 0.5f));
    // A wider cone, another point or another shading runs the light again.
    w.call_shader(P, axis, 0.25f, 1, &sv);
    EXPECT_EQ(light_runs, 2);
    sv.shade_index = 6;
    w.call_shader(P, axis, 0.75f, 1, &sv);
    EXPECT_EQ(light_runs, 3);
    // Levels beyond the cache run without it.
    sv.level = 40;
    w.call_shader(P, axis, 0.75f, 1, &sv);
    w.call_shader(P, axis, 0.75f, 1, &sv);
    EXPECT_EQ(light_runs, 5);
    RiWorldEnd();
}

TEST_F(Lights, Categories)
{
    RiWorldBegin();
    RtString spec = "spec,rim";
    LightSource *with = static_cast<LightSource *>(RiLightSource("lit", "__category", &spec, RI_NULL));
    LightSource *without = static_cast<LightSource *>(RiLightSource("lit", RI_NULL));
    EXPECT_TRUE(with->category_matches(nullptr));
    EXPECT_TRUE(with->category_matches(""));
    EXPECT_FALSE(with->category_matches("-"));
    EXPECT_TRUE(with->category_matches("rim"));
    EXPECT_TRUE(with->category_matches("spec"));
    EXPECT_FALSE(with->category_matches("sp"));
    EXPECT_FALSE(with->category_matches("-spec"));
    EXPECT_TRUE(with->category_matches("-diffuse"));
    EXPECT_TRUE(with->category_matches("*"));
    EXPECT_FALSE(with->category_matches("-*"));
    EXPECT_FALSE(without->category_matches("spec"));
    EXPECT_TRUE(without->category_matches("-spec"));
    EXPECT_FALSE(without->category_matches("*"));
    EXPECT_TRUE(without->category_matches("-*"));
    RiWorldEnd();
}

TEST_F(Lights, LightsBeforeTheWorldAreConvertedAtWorldBegin)
{
    // Outside the world, the current transformation is the camera's.
    RiTranslate(0, 0, 5);
    RtPoint from = {0, 0, 0};
    LightSource *l = static_cast<LightSource *>(RiLightSource("lit", "from", from, RI_NULL));
    float *p = reinterpret_cast<float *>(l->params() + 8);
    EXPECT_EQ(p[2], 5.0f);
    RiWorldBegin();
    light_list().prepare();   // the ray tracer's world begin
    EXPECT_NEAR(p[2], 0.0f, 1e-6f);
    RiWorldEnd();
}
