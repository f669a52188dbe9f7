#include "shading/shadingpoint.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ri/declarations.h"

TEST(ShadingGlobals, TableBindsNamesToFields)
{
    const ShadingGlobal *g = shading_globals();
    EXPECT_STREQ(g[0].name, "Ci");
    EXPECT_STREQ(g[SHADING_GLOBAL_COUNT - 1].name, "tl");

    ShadingPoint sv;
    sv.Ps = Point(1, 2, 3);
    sv.shade_du = 0.25f;
    sv.Ci = Color(0.5f, 0.5f, 0.5f);
    // "P" and "Ps" are one field; "du" is the shader's view of du.
    EXPECT_EQ(global_field(*find_shading_global("P"), &sv), &sv.Ps.x);
    EXPECT_EQ(global_field(*find_shading_global("Ps"), &sv), &sv.Ps.x);
    EXPECT_EQ(*global_field(*find_shading_global("du"), &sv), 0.25f);
    EXPECT_EQ(global_field(*find_shading_global("dPdu"), &sv), &sv.shade_dPdu.x);
    EXPECT_EQ(find_shading_global("dPdu")->bits, 0x20u);
    EXPECT_EQ(find_shading_global("s")->bits, 0x10u);
    EXPECT_EQ(find_shading_global("dPdtime")->bits, 0x10000u);
    EXPECT_EQ(find_shading_global("Nl")->type, DECL_NORMAL);
    EXPECT_EQ(find_shading_global("N")->type, DECL_POINT);
    EXPECT_EQ(find_shading_global("nosuch"), nullptr);
    EXPECT_EQ(find_shading_global(nullptr), nullptr);

    // Every entry lies inside the record.
    for (int i = 0; i < SHADING_GLOBAL_COUNT; i++) EXPECT_LT(g[i].offset + 4u, sizeof(ShadingPoint)) << g[i].name;
}

TEST(ShadingGlobals, LightShaderView)
{
    ShadingPoint sv;
    const struct {
        const char *name;
        float *field;
    } cases[] = {{"P", &sv.Pl.x}, {"Ps", &sv.Ps.x}, {"N", &sv.Nl.x}, {"Ng", &sv.Ngl.x},
                 {"u", &sv.ul}, {"v", &sv.vl}, {"s", &sv.sl}, {"t", &sv.tl},
                 {"L", &sv.L.x}, {"Cl", &sv.Cl.x}};
    for (auto &c : cases) {
        const ShadingGlobal *g = find_shading_global(c.name, true);
        ASSERT_NE(g, nullptr) << c.name;
        EXPECT_EQ(global_field(*g, &sv), c.field) << c.name;
    }
}

TEST(ShadingPoint, CopiesKeepTheirOwnReferences)
{
    GState *g = new GState;
    Transformation *x = new Transformation;
    ShadingPoint *a = new ShadingPoint;
    a->surf.set(g);
    a->ssx.set(x);
    a->Cs = Color(1, 0, 0);
    a->time = 0.5f;
    ShadingPoint *b = new ShadingPoint;
    *b = *a;
    EXPECT_EQ(g->refcount, 2);
    EXPECT_EQ(x->refcount, 2);
    EXPECT_EQ(b->time, 0.5f);
    EXPECT_EQ(b->Cs, Color(1, 0, 0));
    delete a;
    // The copy still holds valid handles.
    EXPECT_EQ(g->refcount, 1);
    EXPECT_EQ(b->surf->color, Color(1, 1, 1));
    delete b;
}

TEST(ShadingPoint, DerivativeNeighbourProtocol)
{
    ShadingPoint sv;
    DerivScratch area(&sv);
    sv.doareaops = 1;
    const float du_value = 3, dv_value = 5;
    const float p_du[3] = {1, 2, 3}, p_dv[3] = {4, 5, 6};

    // Neighbour runs store their values and get the placeholder answer.
    sv.whichdisp = DISP_DU;
    sv.highestscratch = 0;
    EXPECT_EQ(sv.deriv_exchange(&du_value, 1), nullptr);
    EXPECT_EQ(sv.deriv_exchange(p_du, 3), nullptr);
    sv.whichdisp = DISP_DV;
    sv.highestscratch = 0;
    EXPECT_EQ(sv.deriv_exchange(&dv_value, 1), nullptr);
    EXPECT_EQ(sv.deriv_exchange(p_dv, 3), nullptr);

    // The main run meets the same slots, in the same order.
    sv.whichdisp = DISP_MAIN;
    sv.highestscratch = 0;
    const float main_value = 1;
    const float *f = sv.deriv_exchange(&main_value, 1);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f[0], 3);
    EXPECT_EQ(f[1], 5);
    const float *p = sv.deriv_exchange(p_du, 3);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, p_du, sizeof p_du), 0);
    EXPECT_EQ(std::memcmp(p + 3, p_dv, sizeof p_dv), 0);
    EXPECT_EQ(sv.highestscratch, 8);

    // Without derivatives the mark still advances.
    sv.doareaops = 0;
    EXPECT_EQ(sv.deriv_exchange(&main_value, 1), nullptr);
    EXPECT_EQ(sv.highestscratch, 10);

    // An area left uncleared reads as zero where no neighbour wrote, and
    // keeps what one did write.
    std::vector<float> dirty(size_t(deriv_scratch_floats()), 7.0f);
    float *saved = sv.scratch;
    sv.scratch = dirty.data();
    deriv_scratch_lazy_begin(dirty.data());
    sv.doareaops = 1;
    sv.whichdisp = DISP_DU;
    sv.highestscratch = 0;
    EXPECT_EQ(sv.deriv_exchange(&du_value, 1), nullptr);
    sv.whichdisp = DISP_MAIN;
    sv.highestscratch = 0;
    f = sv.deriv_exchange(&main_value, 1);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f[0], 3);
    EXPECT_EQ(f[1], 0);
    p = sv.deriv_exchange(p_du, 3);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 6; i++) EXPECT_EQ(p[i], 0) << i;
    EXPECT_EQ(dirty[8], 7.0f);   // beyond what was reserved: untouched
    deriv_scratch_lazy_end(dirty.data());
    sv.scratch = saved;
}

TEST(ShadingPoint, ScratchGrowsAndIsRestored)
{
    ShadingPoint sv;
    sv.doareaops = 1;
    float outer[4] = {};
    sv.scratch = outer;
    sv.highestscratch = 3;
    {
        DerivScratch area(&sv);
        EXPECT_NE(sv.scratch, outer);
        EXPECT_EQ(sv.highestscratch, 0);
        // Operations past the end of the area still meet in the same slots:
        // the main run reads what both neighbour runs stored.
        const int calls = deriv_scratch_floats() / 6 + 40;
        for (int run : {DISP_DU, DISP_DV}) {
            sv.whichdisp = run;
            sv.highestscratch = 0;
            for (int i = 0; i < calls; ++i) {
                float v[3] = {float(i), float(run), 7};
                EXPECT_EQ(sv.deriv_exchange(v, 3), nullptr);
            }
        }
        sv.whichdisp = DISP_MAIN;
        sv.highestscratch = 0;
        int right = 0;
        for (int i = 0; i < calls; ++i) {
            float v[3] = {};
            const float *n = sv.deriv_exchange(v, 3);
            right += n && n[0] == i && n[1] == DISP_DU && n[2] == 7 && n[3] == i && n[4] == DISP_DV;
        }
        EXPECT_EQ(right, calls);
    }
    EXPECT_EQ(sv.scratch, outer);
    EXPECT_EQ(sv.highestscratch, 3);
}
