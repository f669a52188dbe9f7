#include <gtest/gtest.h>

#include <cmath>

#include "ri/gstate.h"
#include "ri/renderer.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/recording_renderer.h"

namespace {

using velktest::CurrentRecorder;

TEST(GState, DefaultsAndFlags)
{
    GStateRef g(new GState);
    EXPECT_EQ(g->flags, uint32_t(GS_TWOSIDED | GS_RAD_SHADOWS | GS_USE_SHADINGRATE));
    EXPECT_TRUE(g->flags & GS_TWOSIDED);
    EXPECT_EQ(g->color, Color(1.0f));
    EXPECT_EQ(g->texture_coords[2], 1);
    EXPECT_EQ(g->texture_coords[7], 1);
    EXPECT_EQ(g->ustep, 3);
    EXPECT_EQ(g->ubasis, &RiBezierBasis[0][0]);
    EXPECT_EQ(g->patch_maxlevel, 256);
    EXPECT_EQ(g->zonal, 3);
    EXPECT_EQ(g->casts_shadows, 2);
    EXPECT_FLOAT_EQ(g->detail_values[0], 5e37f);
    set_shading_rate(g.get(), 0.01f);
    EXPECT_FLOAT_EQ(g->shading_rate, 0.125f);
    EXPECT_FLOAT_EQ(g->shading_rate_root, 0.35355338f);
    set_shading_rate(g.get(), NAN);
    EXPECT_FLOAT_EQ(g->shading_rate, 0.125f);
}

TEST(GState, CopyOnWriteKeepsPrimitivesAndSavedLevels)
{
    CurrentRecorder r;
    RiWorldBegin();
    RtColor red = {1, 0, 0}, blue = {0, 0, 1};
    RiColor(red);
    RiSphereV(1, -1, 1, 360, 0, nullptr, nullptr);
    RiColor(blue);   // the sphere keeps red
    ASSERT_EQ(r->primitive_states.size(), 1u);
    EXPECT_EQ(r->primitive_states[0]->color, Color(1, 0, 0));
    EXPECT_EQ(r->attributes->color, Color(0, 0, 1));

    RiAttributeBegin();
    GState *before = r->attributes.get();
    RiColor(blue);   // unchanged: no copy
    EXPECT_EQ(r->attributes.get(), before);
    RiColor(red);
    EXPECT_EQ(r->attributes->color, Color(1, 0, 0));
    RiAttributeEnd();
    EXPECT_EQ(r->attributes->color, Color(0, 0, 1));
    EXPECT_EQ(r->primitive_states[0]->color, Color(1, 0, 0));
    RiWorldEnd();
}

TEST(GState, UnsharedRecordChangesInPlace)
{
    CurrentRecorder r;
    GState *g = r->attributes.get();
    ASSERT_EQ(g->refcount, 1);
    RtColor c = {0.5f, 0.5f, 0.5f};
    RiColor(c);
    EXPECT_EQ(r->attributes.get(), g);
    EXPECT_EQ(g->rad_averagecolor, Color(0.5f));   // follows the colour ...
    RtToken t = "averagecolor";
    RtPointer v = c;
    RiAttributeV("radiosity", 1, &t, &v);
    RtColor d = {0.25f, 0.25f, 0.25f};
    RiColor(d);
    EXPECT_EQ(r->attributes->rad_averagecolor, Color(0.5f));   // ... until given explicitly
}

TEST(GState, PoolGrowsInBlocksAndCounts)
{
    int64_t before = gstate_counter().current;
    std::vector<GStateRef> live(60);
    for (auto &h : live) h.set(new GState);
    EXPECT_EQ(gstate_counter().current, before + 60);
    for (size_t i = 1; i < live.size(); i++) EXPECT_NE(live[i].get(), live[i - 1].get());
    live.clear();
    EXPECT_EQ(gstate_counter().current, before);
    char line[200];
    FILE *f = fmemopen(line, sizeof line, "w");
    print_gstate_stats(f);
    fclose(f);
    EXPECT_EQ(std::string(line).rfind("GStates allocated: ", 0), 0u);
}

TEST(Handles, SelfAssignmentKeepsTheRecord)
{
    GStateRef a(new GState);
    a->color = Color(0.25f);
    a = a;
    ASSERT_TRUE(a.is_set());
    EXPECT_EQ(a->refcount, 1);
    EXPECT_EQ(a->color, Color(0.25f));
    GStateRef b = a;
    a = b;
    EXPECT_EQ(a->refcount, 2);
    b.clear();
    EXPECT_EQ(a->refcount, 1);
}

TEST(GState, ShaderSpacesAreSharedByCopies)
{
    GStateRef a(new GState);
    a->shader_spaces[2].set(new Transformation);
    GStateRef b(new GState(*a));
    EXPECT_EQ(a->shader_spaces[2].get(), b->shader_spaces[2].get());
    EXPECT_EQ(a->shader_spaces[2]->refcount, 2);
    b.clear();
    EXPECT_EQ(a->shader_spaces[2]->refcount, 1);
}

} // namespace
