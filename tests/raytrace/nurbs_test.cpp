// NURBS patches and trim curves: the spline basis, rational evaluation,
// corrected ranges, motion keys, splitting, vertex data by storage class,
// the crossing count of trim loops and trimmed hits.
#include "raytrace/nurbs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "raytrace/dice.h"
#include "raytrace/primitive_makers.h"
#include "raytrace/raytracer.h"
#include "raytrace/trimcurve.h"
#include "ri/declarations.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"
#include "ri/stdtokens.h"
#include "tests/ri/error_capture.h"

namespace {

class Nurbs : public ::testing::Test {
protected:
    void SetUp() override
    {
        RiBegin(nullptr);
        RiShutter(0, 1);
        current_renderer->options.prepare_world(current_renderer->transformation);
    }
    void TearDown() override { RiEnd(); }

    // A linear patch over the square [0, 2] x [0, 2] in the plane z = 0.
    static GNurbPatch *square(float umin = 0, float umax = 1);
};

// A patch made as scene assembly makes it: the points also named in the
// parameter list, after any other variables.
GNurbPatch *nurb(RtInt nu, RtInt uo, float *uk, float umin, float umax, RtInt nv, RtInt vo, float *vk, float vmin,
                 float vmax, float *points, int kind, std::vector<RtToken> tokens = {},
                 std::vector<RtPointer> values = {})
{
    tokens.push_back(kind == 4 ? "Pw" : kind == 1 ? "Pz" : "P");
    values.push_back(points);
    return static_cast<GNurbPatch *>(make_nurb_patch(nu, uo, uk, umin, umax, nv, vo, vk, vmin, vmax, points, kind,
                                                     (RtInt)tokens.size(), tokens.data(), values.data()));
}

GNurbPatch *Nurbs::square(float umin, float umax)
{
    static float knots[4] = {0, 0, 1, 1};
    static float P[12] = {0, 0, 0, 2, 0, 0, 0, 2, 0, 2, 2, 0};
    return nurb(2, 2, knots, umin, umax, 2, 2, knots, 0, 1, P, 3);
}

// A closed polygon loop of order 2 through the points (u, v).
struct Loop {
    std::vector<float> knots, u, v, w;
    Loop(std::initializer_list<float> uv)
    {
        for (auto it = uv.begin(); it != uv.end(); it += 2) u.push_back(it[0]), v.push_back(it[1]), w.push_back(1);
        int n = (int)u.size();
        knots.push_back(0);
        for (int i = 0; i < n; i++) knots.push_back((float)i);
        knots.push_back((float)(n - 1));
    }
};

// A set of loops of one curve each.
TrimLoopsRef trim_set(const std::vector<Loop> &loops)
{
    std::vector<RtInt> ncurves, order, n;
    std::vector<RtFloat> knot, lo, hi, u, v, w;
    for (const Loop &l : loops) {
        ncurves.push_back(1);
        order.push_back(2);
        n.push_back((RtInt)l.u.size());
        knot.insert(knot.end(), l.knots.begin(), l.knots.end());
        lo.push_back(0);
        hi.push_back(l.knots.back());
        u.insert(u.end(), l.u.begin(), l.u.end());
        v.insert(v.end(), l.v.begin(), l.v.end());
        w.insert(w.end(), l.w.begin(), l.w.end());
    }
    return make_trim_loops((RtInt)loops.size(), ncurves.data(), order.data(), knot.data(), lo.data(), hi.data(),
                           n.data(), u.data(), v.data(), w.data());
}

} // namespace

TEST(SplineBasis, SpansValuesAndDerivatives)
{
    // Cubic, clamped, one double interior knot.
    float k[] = {0, 0, 0, 0, 1, 2, 2, 3, 3, 3, 3};
    int n = 7, order = 4;
    EXPECT_EQ(find_knot_span(0, k, n - 1, order - 1), 3);
    EXPECT_EQ(find_knot_span(1.5f, k, n - 1, order - 1), 4);
    EXPECT_EQ(find_knot_span(2, k, n - 1, order - 1), 6);   // past the zero-length interval
    EXPECT_EQ(find_knot_span(3, k, n - 1, order - 1), 6);
    EXPECT_EQ(find_knot_span(9, k, n - 1, order - 1), 6);
    for (float t : {0.0f, 0.4f, 1.0f, 1.7f, 2.0f, 2.5f, 3.0f}) {
        int span = find_knot_span(t, k, n - 1, order - 1);
        float b[4], d[4], b2[4];
        bspline_basis(t, span, k, order, b);
        bspline_basis_derivs(t, span, k, order, d);
        float sum = 0, dsum = 0;
        for (int j = 0; j < 4; j++) {
            EXPECT_GE(b[j], -1e-6f);
            sum += b[j], dsum += d[j];
        }
        EXPECT_NEAR(sum, 1, 1e-5) << t;
        EXPECT_NEAR(dsum, 0, 1e-4) << t;
        // Derivatives against a one-sided difference inside the span.
        float h = 1e-3f, s = t < 3 ? t : t - h;
        if (find_knot_span(s + h, k, n - 1, order - 1) != span || s != t) continue;
        bspline_basis(s + h, span, k, order, b2);
        for (int j = 0; j < 4; j++) EXPECT_NEAR((b2[j] - b[j]) / h, d[j], 0.02f) << t << " " << j;
    }
}

TEST_F(Nurbs, RationalQuarterCircleAndUnitWeights)
{
    // A quadratic rational arc from (1, 0) to (0, 1), extruded along z.
    float k3[] = {0, 0, 0, 1, 1, 1}, k2[] = {0, 0, 1, 1};
    float c = std::sqrt(0.5f);
    float Pw[] = {1, 0, 0, 1, c, c, 0, c, 0, 1, 0, 1, 1, 0, 1, 1, c, c, c, c, 0, 1, 1, 1};
    GNurbPatch *arc = nurb(3, 3, k3, 0, 1, 2, 2, k2, 0, 1, Pw, 4);
    ASSERT_NE(arc, nullptr);
    ASSERT_NE(arc->data->weights, nullptr);
    for (float u : {0.0f, 0.3f, 0.5f, 0.9f, 1.0f}) {
        Point P, du, dv;
        arc->eval_point(u, 0.5f, 0, P);
        EXPECT_NEAR(std::hypot(P.x, P.y), 1, 1e-5) << u;
        EXPECT_NEAR(P.z, 0.5f, 1e-6);
        arc->eval_derivs(u, 0.5f, 0, du, dv);
        // The tangent of a circle is at right angles to its radius.
        EXPECT_NEAR(du.x * P.x + du.y * P.y, 0, 1e-2 * du.length()) << u;
        EXPECT_NEAR(dv.z, 1, 1e-2);
    }
    // Bound: the control points' box (the middle one divided by its weight).
    Bound b;
    arc->bound(b);
    EXPECT_GE(b[1], 1.0f);
    EXPECT_GE(b[3], 1.0f);
    EXPECT_LE(b[0], 0.0f);

    // All weights 1 store the patch as non-rational, with the same points.
    float Pw1[] = {0, 0, 0, 1, 2, 0, 0, 1, 0, 2, 0, 1, 2, 2, 1, 1};
    float P3[] = {0, 0, 0, 2, 0, 0, 0, 2, 0, 2, 2, 1};
    GNurbPatch *a = nurb(2, 2, k2, 0, 1, 2, 2, k2, 0, 1, Pw1, 4);
    GNurbPatch *p = nurb(2, 2, k2, 0, 1, 2, 2, k2, 0, 1, P3, 3);
    EXPECT_EQ(a->data->weights, nullptr);
    Point qa, qp;
    a->eval_point(0.3f, 0.7f, 0, qa);
    p->eval_point(0.3f, 0.7f, 0, qp);
    EXPECT_EQ(qa, qp);
    delete arc;
    delete a;
    delete p;
}

TEST_F(Nurbs, RangesAreCorrectedAndBadInputDropped)
{
    velktest::ErrorCapture errors;
    GNurbPatch *p = square(-1, 0.5f);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].message, "NuPatch min/max bad range (corrected)");
    EXPECT_EQ(p->umin, 0);
    EXPECT_EQ(p->urange, 0.5f);
    Point q;
    p->eval_point(1, 1, 0, q);
    EXPECT_NEAR(q.x, 1, 1e-6);   // half of the square in u
    delete p;

    errors.clear();
    float k[] = {0, 0, 1, 1}, bad[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, std::numeric_limits<float>::quiet_NaN()};
    EXPECT_EQ(nurb(2, 2, k, 0, 1, 2, 2, k, 0, 1, bad, 3), nullptr);
    float back[] = {1, 0, 0, 1};   // knots out of order
    float P[12] = {};
    EXPECT_EQ(nurb(2, 2, back, 0, 1, 2, 2, k, 0, 1, P, 3), nullptr);
    EXPECT_EQ(nurb(2, 2, k, 2, 3, 2, 2, k, 0, 1, P, 3), nullptr);   // empty range
    ASSERT_EQ(errors.count(), 3u);
    EXPECT_EQ(errors.reports[0].message, "Degenerate NURBS primitive ignored");
}

TEST_F(Nurbs, MotionKeysAndSplitting)
{
    velktest::ErrorCapture errors;
    GNurbPatch *p = square();
    float k[] = {0, 0, 1, 1}, up[] = {0, 0, 4, 2, 0, 4, 0, 2, 4, 2, 2, 4};
    GPrimitive *second = nurb(2, 2, k, 0, 1, 2, 2, k, 0, 1, up, 3);
    ASSERT_TRUE(set_motion_key(p, second));
    delete second;
    EXPECT_TRUE(p->flags & GPF_MOVING_CVS);
    Point q;
    p->eval_point(0.5f, 0.5f, 0.5f, q);
    EXPECT_EQ(q.z, 0);
    p->eval_point(0.5f, 0.5f, 1, q);
    EXPECT_EQ(q.z, 4);
    Bound b;
    p->bound(b);
    EXPECT_GE(b[5], 4.0f);
    float k3[] = {0, 0, 0, 1, 1, 1}, P9[27] = {};
    GPrimitive *other = nurb(3, 3, k3, 0, 1, 3, 3, k3, 0, 1, P9, 3);
    GNurbPatch *q2 = square();
    EXPECT_FALSE(set_motion_key(q2, other));
    EXPECT_TRUE(errors.has_message("NURBS in motion block don't match"));
    EXPECT_FALSE(q2->flags & GPF_MOVING_CVS);
    delete other;
    delete q2;

    // The halves of v share the points and meet in the middle.
    GPrimitive *lo, *hi;
    ASSERT_TRUE(split_nurb_patch(p, true, lo, hi));
    GNurbPatch *a = static_cast<GNurbPatch *>(lo), *c = static_cast<GNurbPatch *>(hi);
    EXPECT_EQ(a->data.get(), p->data.get());
    Point top, bottom;
    a->eval_point(0.5f, 1, 0, top);
    c->eval_point(0.5f, 0, 0, bottom);
    EXPECT_EQ(top, bottom);
    EXPECT_NEAR(top.y, 1, 1e-6);
    a->bound(b);
    EXPECT_LE(b[2], 0.0f);
    delete a;
    delete c;
    delete p;
}

TEST_F(Nurbs, VertexDataByStorageClass)
{
    // Two u spans (order 2, three points), one v span.
    float ku[] = {0, 0, 1, 2, 2}, kv[] = {0, 0, 1, 1};
    float P[18] = {0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 1, 0, 1, 1, 0, 2, 1, 0};
    float vert[6] = {0, 10, 40, 0, 10, 40};   // per control point
    float unif[2] = {5, 7};                   // per span
    float vary[6] = {1, 2, 3, 1, 2, 3};       // per span corner
    RtToken tokens[3] = {"uniform float a", "varying float b", "vertex float c"};
    RtPointer values[3] = {unif, vary, vert};
    GNurbPatch *p = nurb(3, 2, ku, 0, 2, 2, 2, kv, 0, 1, P, 3, std::vector<RtToken>(tokens, tokens + 3),
                         std::vector<RtPointer>(values, values + 3));
    ASSERT_NE(p, nullptr);
    auto value = [&](const char *name, float u) {
        for (VVData *vv = p->vertex_vars.head; vv; vv = vv->next)
            if (std::string(vv->token) == name) {
                float out = -1;
                p->vertex_var_value(vv, 1, u, 0.5f, &out);
                return out;
            }
        return -100.0f;
    };
    EXPECT_FLOAT_EQ(value("a", 0.2f), 5);
    EXPECT_FLOAT_EQ(value("a", 0.8f), 7);
    EXPECT_FLOAT_EQ(value("a", 1.0f), 7);
    EXPECT_FLOAT_EQ(value("b", 0.25f), 1.5f);
    EXPECT_FLOAT_EQ(value("b", 0.75f), 2.5f);
    EXPECT_FLOAT_EQ(value("c", 0.25f), 5);    // knot 0.5: half way from 0 to 10
    EXPECT_FLOAT_EQ(value("c", 0.75f), 25);   // knot 1.5
    delete p;
}

TEST_F(Nurbs, TrimLoopsCountCrossings)
{
    velktest::ErrorCapture errors;
    // Outer square 0.1..0.9 and inner square 0.4..0.6: a frame.
    TrimLoopsRef set = trim_set({Loop{0.1f, 0.1f, 0.9f, 0.1f, 0.9f, 0.9f, 0.1f, 0.9f, 0.1f, 0.1f},
                                 Loop{0.4f, 0.4f, 0.6f, 0.4f, 0.6f, 0.6f, 0.4f, 0.6f, 0.4f, 0.4f}});
    ASSERT_TRUE(set.is_set());
    EXPECT_EQ(trim_curve_set(set)->total, 2);
    EXPECT_EQ(trim_curve_set(set)->inside(0.2f, 0.5f, 0.1f), 1);
    EXPECT_EQ(trim_curve_set(set)->inside(0.5f, 0.5f, 0.1f), 0);   // inside the inner loop
    EXPECT_EQ(trim_curve_set(set)->inside(0.95f, 0.5f, 0.1f), 0);
    EXPECT_EQ(trim_curve_set(set)->inside(0.5f, 0.05f, 0.1f), 0);
    // A point level with a corner is counted once (the two edges meeting
    // there are half-open in v): a diamond's side vertex.
    TrimLoopsRef diamond = trim_set({Loop{0.5f, 0.0f, 1.0f, 0.5f, 0.5f, 1.0f, 0.0f, 0.5f, 0.5f, 0.0f}});
    EXPECT_EQ(trim_curve_set(diamond)->inside(0.5f, 0.5f, 0.1f), 1);
    EXPECT_EQ(trim_curve_set(diamond)->inside(1.5f, 0.5f, 0.1f), 0);
    EXPECT_EQ(trim_curve_set(diamond)->curves[0].crossings(1.5f, 0.5f), 2);
    EXPECT_EQ(errors.count(), 0u);

    // A range outside the knots is corrected; a curve with fewer points
    // than its order is dropped.
    RtInt nc[] = {2}, order[] = {2, 3}, n[] = {2, 2};
    RtFloat knot[] = {0, 0, 1, 1, 0, 0, 0, 1, 1}, lo[] = {-1, 0}, hi[] = {1, 1};
    RtFloat u[] = {0, 1, 0, 1}, v[] = {0, 1, 0, 1}, w[] = {1, 1, 1, 1};
    TrimLoopsRef odd = make_trim_loops(1, nc, order, knot, lo, hi, n, u, v, w);
    EXPECT_TRUE(errors.has_message("TrimCurve min/max bad range (corrected)"));
    EXPECT_TRUE(errors.has_message("Degenerate trim curve ignored"));
    EXPECT_EQ(trim_curve_set(odd)->total, 1);
    EXPECT_EQ(trim_curve_set(odd)->curves[0].min, 0);
}

TEST_F(Nurbs, TrimmedHitsAreDropped)
{
    // Keep only the inside of the loop u, v 0.25..0.75 (world 0.5..1.5).
    current_renderer->attributes->trim_loops =
        trim_set({Loop{0.25f, 0.25f, 0.75f, 0.25f, 0.75f, 0.75f, 0.25f, 0.75f, 0.25f, 0.25f}});
    GNurbPatch *p = square();
    ASSERT_NE(p, nullptr);
    auto hits = [&](float x, float y) {
        Ray r(Point(x, y, -5), Point(0, 0, 1), 0, 0, 1, 0);
        IntersectionList l = p->intersect(r);
        int n = l.count;
        if (n) {
            p->fill_hit(l.head());
            EXPECT_NEAR(l.head()->u, x / 2, 1e-4);
            EXPECT_NEAR(l.head()->linet, 5, 1e-4);
        }
        l.free_list();
        return n;
    };
    EXPECT_EQ(hits(1, 1), 1);
    EXPECT_EQ(hits(0.2f, 1), 0);
    EXPECT_EQ(hits(1.8f, 1.8f), 0);
    current_renderer->attributes->flags |= GS_TRIM_OUTSIDE;
    EXPECT_EQ(hits(1, 1), 0);
    EXPECT_EQ(hits(0.2f, 1), 1);
    // A ray with a NaN direction finds nothing.
    float nan = std::numeric_limits<float>::quiet_NaN();
    Ray bad(Point(0.2f, 1, -5), Point(0, 0, 1), 0, 0, 1, 0);
    bad.dir = Point(nan, 0, 1);
    IntersectionList l = p->intersect(bad);
    EXPECT_EQ(l.count, 0);
    l.free_list();
    delete p;
}

TEST_F(Nurbs, ThroughTheInterfaceLargePatchesSplitAndTrimsAreKept)
{
    RiFormat(2048, 2048, 1);
    RiProjection("orthographic", RI_NULL);
    RiScreenWindow(0, 2, 0, 2);
    RiWorldBegin();
    RiTranslate(0, 0, 5);
    RtInt depth = 2;
    RiAttribute("render", "patch_splitdepth", &depth, RI_NULL);
    RtInt nc[] = {1}, order[] = {2}, n[] = {2};
    RtFloat knot[] = {0, 0, 1, 1}, lo[] = {0}, hi[] = {1}, u[] = {0, 1}, v[] = {0, 1}, w[] = {1, 1};
    RiTrimCurve(1, nc, order, knot, lo, hi, n, u, v, w);
    ASSERT_TRUE(current_renderer->attributes->trim_loops.is_set());
    float k[] = {0, 0, 1, 1}, P[] = {0, 0, 0, 2, 0, 0, 0, 2, 0, 2, 2, 0};
    RiNuPatch(2, 2, k, 0, 1, 2, 2, k, 0, 1, "P", P, RI_NULL);
    // 2048 pixels square: halved in v, then each half in u.
    std::vector<GNurbPatch *> pieces;
    for (GPrimitive *o = RayTracer::current()->world_objects; o; o = o->next)
        if (o->type == GP_NURB) pieces.push_back(static_cast<GNurbPatch *>(o));
    ASSERT_EQ(pieces.size(), 4u);
    float area = 0;
    for (GNurbPatch *p : pieces) {
        EXPECT_FLOAT_EQ(p->urange, 0.5f);
        EXPECT_TRUE(p->attributes()->trim_loops.is_set());
        area += p->urange * p->vrange;
    }
    EXPECT_FLOAT_EQ(area, 1);
    current_renderer->options.render_enabled = 0;
    RiWorldEnd();
}
