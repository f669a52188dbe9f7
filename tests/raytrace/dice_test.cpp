// Micro-quad grids: dicing rates, the cell tree, rays through the cells, the
// grid normals of displaced surfaces and reclaiming.
#include "raytrace/dice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "raytrace/bilinear_inverse.h"
#include "raytrace/hierarchy.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"
#include "shading/shadehit.h"

namespace {

const float NaN = std::numeric_limits<float>::quiet_NaN();

// A surface given by a function of (u, v, time), traced through its grid.
class ParamSurface : public GSurface {
public:
    using Fn = Point (*)(float, float, float);
    explicit ParamSurface(Fn f) : GSurface(GP_SUBPATCH), f_(f) { recompute_bounds(); }
    void bound(Bound &b) override
    {
        b = EMPTY_BOUND;
        for (int i = 0; i <= 8; i++)
            for (int j = 0; j <= 8; j++) b.extend(f_(i / 8.0f, j / 8.0f, 0));
        b.expand(0.1f);
    }
    IntersectionList intersect(const Ray &r) override { return intersect_grid(this, r); }
    void eval_point(float u, float v, float t, Point &P) override { P = f_(u, v, t); }

private:
    Fn f_;
};

Point flat_square(float u, float v, float)
{
    return Point(2 * u - 1, 2 * v - 1, 0);
}

// Half a cylinder of radius 1 around the y axis, bulging towards the eye.
Point half_tube(float u, float v, float)
{
    float a = 3.14159265f * u;
    return Point(std::cos(a), 2 * v - 1, -std::sin(a));
}

// A half tube whose radius grows tenfold from v = 0 to v = 1.
Point flared_tube(float u, float v, float)
{
    float a = 3.14159265f * u, r = 0.1f + 0.9f * v;
    return Point(r * std::cos(a), 2 * v - 1, -r * std::sin(a));
}

// The flat square, slid by 1 in x over the shutter interval.
Point sliding_square(float u, float v, float t)
{
    return Point(2 * u - 1 + t, 2 * v - 1, 0);
}

class Dicing : public ::testing::Test {
protected:
    void SetUp() override
    {
        RiBegin(nullptr);
        RiFormat(64, 48, 1);
        RtFloat fov = 40;
        RiProjection("perspective", "fov", &fov, RI_NULL);
        RiTranslate(0, 0, 5);
        current_renderer->options.prepare_world(current_renderer->transformation);
        RiIdentity();
    }
    void TearDown() override { RiEnd(); }

    static void render_attribute(const char *name, int value)
    {
        RtInt v = value;
        RiAttribute("render", name, &v, RI_NULL);
    }
    // The nearest hit of a ray shot from z = -5 along +z at (x, y); null on a miss.
    static Intersection *shoot(GSurface &s, float x, float y, float time = 0)
    {
        Ray r(Point(x, y, -5), Point(0, 0, 1), time, 0, 1, 0);
        IntersectionList l = s.intersect(r);
        Intersection *h = l.dequeue();
        l.free_list();
        return h;
    }
};

} // namespace

TEST(BilinearInverse, FindsParametersInsideAndRejectsOutside)
{
    Point2d square[4] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    double u, v;
    ASSERT_TRUE(bilinear_hit_d(square, u, v));
    EXPECT_DOUBLE_EQ(u, 0.5);
    EXPECT_DOUBLE_EQ(v, 0.5);
    // The origin at a quarter of a 4 x 2 rectangle.
    Point2d shifted[4] = {{-1, -0.5}, {3, -0.5}, {-1, 1.5}, {3, 1.5}};
    ASSERT_TRUE(bilinear_hit_d(shifted, u, v));
    EXPECT_NEAR(u, 0.25, 1e-12);
    EXPECT_NEAR(v, 0.25, 1e-12);
    Point2d beside[4] = {{1, -1}, {3, -1}, {1, 1}, {3, 1}};
    EXPECT_FALSE(bilinear_hit_d(beside, u, v));
    Point2d broken[4] = {{NaN, -1}, {1, -1}, {-1, 1}, {1, 1}};
    EXPECT_FALSE(bilinear_hit_d(broken, u, v));
}

TEST(BilinearInverse, KeepsItsPrecisionOnTinyAndTwistedQuads)
{
    // A strongly non-parallel quadrilateral scaled down to a thousandth: the
    // parameters must not depend on the scale.
    const double corners[4][2] = {{-1, -1}, {2, -1}, {-1, 1}, {0.5, 2}};
    const double pu = 0.3, pv = 0.6;
    for (double scale : {1.0, 1e-3, 1e3}) {
        Point2d c[4];
        // The point at (pu, pv) moved to the origin.
        double px = 0, py = 0;
        double w[4] = {(1 - pu) * (1 - pv), pu * (1 - pv), (1 - pu) * pv, pu * pv};
        for (int k = 0; k < 4; k++) px += w[k] * corners[k][0], py += w[k] * corners[k][1];
        for (int k = 0; k < 4; k++) c[k] = Point2d{(corners[k][0] - px) * scale, (corners[k][1] - py) * scale};
        double u, v;
        ASSERT_TRUE(bilinear_hit_d(c, u, v)) << scale;
        EXPECT_NEAR(u, pu, 1e-9) << scale;
        EXPECT_NEAR(v, pv, 1e-9) << scale;
    }
}

TEST(BilinearInverse, PointOnASharedEdgeIsInExactlyOneCell)
{
    // The edge a-b passes through the origin up to rounding; the two cells
    // on either side walk it in opposite directions.
    const Point2d a{1.5736804947476521, 0.10610755471822102}, b{-1.7944095097324109, -0.12099050974852403};
    for (double s : {1.0, -1.0}) {
        Point2d n{s * 0.1 * (b.y - a.y), -s * 0.1 * (b.x - a.x)};
        Point2d first[4] = {a, b, {a.x + n.x, a.y + n.y}, {b.x + n.x, b.y + n.y}};
        Point2d second[4] = {{a.x - n.x, a.y - n.y}, {b.x - n.x, b.y - n.y}, a, b};
        double u, v;
        EXPECT_NE(bilinear_hit_d(first, u, v), bilinear_hit_d(second, u, v)) << s;
    }
}

TEST(DiceHelpers, SmallFunctions)
{
    EXPECT_EQ(next_power_of_two(-3), 1);
    EXPECT_EQ(next_power_of_two(1), 1);
    EXPECT_EQ(next_power_of_two(5), 8);
    EXPECT_EQ(next_power_of_two(64), 64);
    EXPECT_FLOAT_EQ(clamped_acos(1.5f), 0);
    EXPECT_FLOAT_EQ(clamped_acos(-2), 3.14159265f);
    EXPECT_FLOAT_EQ(clamped_acos(0), 1.5707964f);
    EXPECT_EQ(ratio_at_least_one(4, 16), 4);
    EXPECT_EQ(ratio_at_least_one(16, 4), 1);
}

TEST_F(Dicing, EdgeRatesFollowCurvatureLengthAndLevels)
{
    ParamSurface s(flat_square);
    EXPECT_EQ(edge_dice_rate(&s, 0, 0, 6, false), 1);
    EXPECT_EQ(edge_dice_rate(&s, 0.1f, 0, 6, false), 2);    // a passes 0.2
    EXPECT_EQ(edge_dice_rate(&s, 1.0f, 0, 6, false), 4);    // a passes 2
    EXPECT_EQ(edge_dice_rate(&s, 1.0f, 40, 6, false), 40);
    EXPECT_EQ(edge_dice_rate(&s, 1.0f, 40, 6, true), 64);
    // Nonsense lengths stay within the limits.
    EXPECT_EQ(edge_dice_rate(&s, 1.0f, 1e30f, 6, false), 256);
    EXPECT_EQ(edge_dice_rate(&s, 1.0f, NaN, 6, false), 4);
    RiAttributeBegin();
    render_attribute("patch_minlevel", 9);
    render_attribute("patch_maxlevel", 12);
    ParamSurface limited(flat_square);
    RiAttributeEnd();
    EXPECT_EQ(edge_dice_rate(&limited, 0, 0, 6, false), 9);
    EXPECT_EQ(edge_dice_rate(&limited, 1.0f, 40, 6, false), 12);
}

TEST_F(Dicing, FlatSquareFacingTheCameraIsOneCell)
{
    ParamSurface s(flat_square);
    Intersection *h = shoot(s, 0.5f, 0.5f);
    ASSERT_NE(h, nullptr);
    DicedGrid *g = s.subpatch_grid;
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->nu, 1);
    EXPECT_EQ(g->nv, 1);
    EXPECT_EQ(g->nodes.size(), 1u);
    EXPECT_EQ(g->nodes[0].child[0], ~0);
    EXPECT_EQ(g->nodes[0].child[1], GRID_NO_CHILD);
    EXPECT_EQ(h->obj, &s);
    EXPECT_EQ(h->whichpiece, g->cell(0));
    EXPECT_NEAR(h->linet, 5, 1e-5);
    EXPECT_NEAR(h->gu, 0.75f, 1e-6);
    EXPECT_NEAR(h->gv, 0.75f, 1e-6);
    h->release();
    EXPECT_EQ(shoot(s, 1.5f, 0), nullptr);
    // NaN in the ray never hits.
    Ray bad(Point(NaN, 0, -5), Point(0, 0, 1), 0, 0, 1, 0);
    IntersectionList l = s.intersect(bad);
    EXPECT_EQ(l.count, 0);
    l.free_list();
}

TEST_F(Dicing, HitsReportGridParametersOfTheirCell)
{
    RiAttributeBegin();
    render_attribute("patch_minlevel", 4);
    ParamSurface s(flat_square);
    RiAttributeEnd();
    // The centre of cell (1, 2) of 4 x 4: x = -1 + 2 (1.5 / 4), y = -1 + 2 (2.5 / 4).
    Intersection *h = shoot(s, -0.25f, 0.25f);
    ASSERT_NE(h, nullptr);
    DicedGrid *g = s.subpatch_grid;
    ASSERT_EQ(g->nu, 4);
    ASSERT_EQ(g->nv, 4);
    EXPECT_GT(g->nodes.size(), 1u);
    const Glitequad *c = grid_cell(h->whichpiece);
    EXPECT_EQ(c->col, 1);
    EXPECT_EQ(c->row, 2);
    EXPECT_NEAR(h->gu, 1.5f / 4, 1e-6);
    EXPECT_NEAR(h->gv, 2.5f / 4, 1e-6);
    h->release();
}

TEST_F(Dicing, CellTreesHoldEveryCellOnceWithAtMostFourFixedChildren)
{
    for (auto size : {std::make_pair(2, 2), std::make_pair(5, 1), std::make_pair(3, 7), std::make_pair(16, 16)}) {
        int nu = size.first, nv = size.second;
        ParamSurface s(flat_square);
        std::vector<Point> verts((nu + 1) * (nv + 1));
        for (int i = 0; i <= nv; i++)
            for (int j = 0; j <= nu; j++) s.eval_point((float)j / nu, (float)i / nv, 0, verts[j + (nu + 1) * i]);
        DicedGrid g(&s, nu, nv, verts, {});
        std::multiset<int> leaves;
        ASSERT_FALSE(g.nodes.empty());
        std::vector<std::pair<int32_t, Bound>> todo{{0, g.bound}};
        while (!todo.empty()) {
            auto [at, box] = todo.back();
            todo.pop_back();
            if (at < 0) {
                leaves.insert(~at);
                Bound b;
                g.cell(~at)->bound(b);
                for (int k = 0; k < 6; k++) EXPECT_EQ(box[k], b[k]);
                continue;
            }
            const GridNode &n = g.nodes[at];
            int count = 0;
            while (count < 4 && n.child[count] != GRID_NO_CHILD) count++;
            EXPECT_GE(count, nu * nv == 1 ? 1 : 2);
            for (int k = count; k < 4; k++) EXPECT_EQ(n.child[k], GRID_NO_CHILD);
            for (int k = 0; k < count; k++) {
                Bound lane(n.lo[0][k], n.hi[0][k], n.lo[1][k], n.hi[1][k], n.lo[2][k], n.hi[2][k]);
                for (int b = 0; b < 6; b += 2) {
                    EXPECT_LE(box[b], lane[b]);
                    EXPECT_GE(box[b + 1], lane[b + 1]);
                }
                todo.push_back({n.child[k], lane});
            }
        }
        EXPECT_EQ((int)leaves.size(), nu * nv);
        for (int k = 0; k < nu * nv; k++) EXPECT_EQ(leaves.count(k), 1u);
        // A cell and its share of the tree stay a few words: a scene of
        // patches once held three times its grids' vertices in them.
        EXPECT_LE(sizeof(Glitequad), 16u);
        EXPECT_EQ(g.nodes.capacity(), g.nodes.size());
        EXPECT_LE(g.nodes.size(), (size_t)(nu * nv / 2 + 1));
    }
}

TEST_F(Dicing, BinaryDicingStraightensCoarseEdges)
{
    RiAttributeBegin();
    RtInt on = 1;
    RiAttribute("dice", "binary", &on, RI_NULL);
    ParamSurface s(flared_tube);
    RiAttributeEnd();
    s.choose_dice_rates(6);
    DicedGrid *g = s.subpatch_grid;
    ASSERT_NE(g, nullptr);
    int nu = g->nu, nv = g->nv;
    EXPECT_EQ(nu, next_power_of_two(nu));
    EXPECT_EQ(nv, next_power_of_two(nv));
    // The narrow end (row 0) is diced more coarsely than the grid: between its
    // samples on the tube the vertices lie on straight chords.
    std::vector<int> on_tube;
    for (int j = 0; j <= nu; j++) {
        Point p = g->vertices[j];
        if (std::fabs(std::hypot(p.x, p.z) - 0.1f) < 1e-6f) on_tube.push_back(j);
    }
    ASSERT_GE(on_tube.size(), 2u);
    int k = on_tube[1] - on_tube[0];
    ASSERT_GT(k, 1);
    for (size_t m = 0; m < on_tube.size(); m++) EXPECT_EQ(on_tube[m], (int)m * k);
    for (int j = 0; j < nu; j++) {
        int r = j % k;
        if (!r) continue;
        Point a = g->vertices[j - r], b = g->vertices[j - r + k], p = g->vertices[j];
        Point want = a * (1 - (float)r / k) + b * ((float)r / k);
        EXPECT_NEAR((p - want).length(), 0, 1e-6f) << j;
    }
    // The wide end takes the grid's full rate: every vertex on the tube.
    for (int j = 0; j <= nu; j++) {
        Point p = g->vertices[j + (nu + 1) * nv];
        EXPECT_NEAR(std::hypot(p.x, p.z), 1, 1e-5f);
    }
}

TEST_F(Dicing, SurfaceBehindTheEyeDicesByCurvatureAlone)
{
    RiTranslate(0, 0, -20);   // behind the camera
    ParamSurface s(half_tube);
    s.choose_dice_rates(6);
    ASSERT_NE(s.subpatch_grid, nullptr);
    // Half a turn over 6 segments bends 30 degrees per step: a = 7 (pi/6) / pi > 0.2.
    EXPECT_EQ(s.subpatch_grid->nu, 2);
    EXPECT_EQ(s.subpatch_grid->nv, 1);
}

TEST_F(Dicing, OneGridNeverOutgrowsGridMemory)
{
    RiAttributeBegin();
    render_attribute("patch_minlevel", 30000);
    render_attribute("patch_maxlevel", 30000);
    ParamSurface s(flat_square);
    RiAttributeEnd();
    current_renderer->options.geommemory = 200000;
    s.choose_dice_rates(6);
    ASSERT_NE(s.subpatch_grid, nullptr);
    EXPECT_LE(s.subpatch_grid->memory(), 200000);
    EXPECT_GE(s.subpatch_grid->cell_count(), 1000);
}

TEST_F(Dicing, MovingGridFollowsTheShutter)
{
    RiShutter(0, 1);
    current_renderer->options.prepare_world(current_renderer->transformation);
    ParamSurface s(sliding_square);
    s.flags |= GPF_MOVING_CVS;
    Intersection *h = shoot(s, 0.4f, 0, 0.5f);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(s.subpatch_grid->moving);
    // Half way through the shutter the square spans x from -0.5 to 1.5.
    EXPECT_NEAR(h->gu, 0.45f, 1e-5);
    h->release();
    EXPECT_EQ(shoot(s, 1.2f, 0, 0), nullptr);
    h = shoot(s, 1.2f, 0, 1);
    ASSERT_NE(h, nullptr);
    h->release();
}

TEST_F(Dicing, DisplacedGridNormalsReachTheHit)
{
    ParamSurface s(flat_square);
    std::vector<Point> verts(4), normals(4);
    for (int k = 0; k < 4; k++) s.eval_point(k % 2, k / 2, 0, verts[k]);
    // Normals tilting from -x at u = 0 to +x at u = 1.
    normals = {Point(-1, 0, -1), Point(1, 0, -1), Point(-1, 0, -1), Point(1, 0, -1)};
    s.subpatch_grid = new DicedGrid(&s, 1, 1, verts, normals);
    Intersection *h = shoot(s, -0.5f, 0);
    ASSERT_NE(h, nullptr);
    s.fill_hit(h);
    EXPECT_NEAR(h->Ng.x, -0.5f, 1e-5);
    EXPECT_NEAR(h->Ng.z, -1, 1e-5);
    EXPECT_EQ(h->Ns, h->Ng);
    h->release();
}

TEST_F(Dicing, ReclaimingFreesOldGridsUntilUnderTheLimit)
{
    ParamSurface *a = new ParamSurface(flat_square), *b = new ParamSurface(half_tube);
    GPrimitive *list = nullptr;
    a->link(&list, 1);
    b->link(&list, 1);
    a->choose_dice_rates(6);
    b->choose_dice_rates(6);
    ASSERT_TRUE(a->subpatch_grid->built() && b->subpatch_grid->built());
    Options &o = current_renderer->options;
    o.geommemory = 0;
    // Both grids are fresh: nothing goes.
    reclaim_grid_memory(list, 1);
    EXPECT_TRUE(a->subpatch_grid->built() && b->subpatch_grid->built());
    // Long after their last use, one pass without repeat frees just one.
    int64_t W = (int64_t)o.xres * o.xsamples * o.ysamples;
    for (int64_t k = 0; k < 16 * W + 1; k++) next_shade_index();
    reclaim_grid_memory(list, 0);
    EXPECT_NE(a->subpatch_grid->built(), b->subpatch_grid->built());
    reclaim_grid_memory(list, 1);
    EXPECT_FALSE(a->subpatch_grid->built() || b->subpatch_grid->built());
    EXPECT_EQ(grid_stats().memory.current, 0);
    // A released grid is built again for the next ray.
    o.geommemory = 1 << 30;
    Intersection *h = shoot(*a, 0, 0);
    ASSERT_NE(h, nullptr);
    h->release();
    EXPECT_TRUE(a->subpatch_grid->built());
    free_object_list(list);
    EXPECT_EQ(grid_stats().grids.current, 0);
}

namespace {

// Two halves of a torus split along a tube circle: each reaches the shared
// circle through its own angle arithmetic, so the two evaluate it apart by
// rounding; the second's tube swells away from it, so that it is diced finer.
Point torus_at(float theta, float v, float tube = 0.7f)
{
    float phi = 6.2831853f * v, r = 2 + tube * std::cos(phi);
    return Point(r * std::cos(theta), r * std::sin(theta), tube * std::sin(phi));
}
Point torus_first(float u, float v, float) { return torus_at(0.3f + u * (1.9f - 0.3f), v); }
Point torus_second(float u, float v, float) { return torus_at(1.9f + u * (3.7f - 1.9f), v, 0.7f + u); }
// Two halves meeting on the circle in the plane y = 0, each a millionth off
// it to its own side.
Point torus_behind(float u, float v, float) { return torus_at(-1.6f + u * 1.6f, v) + Point(0, 1e-6f * u, 0); }
Point torus_ahead(float u, float v, float) { return torus_at(1.8f * u, v) - Point(0, 1e-6f * (1 - u), 0); }

} // namespace

TEST_F(Dicing, RaysThroughAnEdgeSharedByTwoGridsMeetOne)
{
    // Halves diced at different rates on different probe lattices, seen from
    // afar; then halves seen from the torus's centre with their shared circle
    // in the eye's plane, its points on either side by a hair.
    for (int in_plane : {0, 1}) {
        SCOPED_TRACE(in_plane);
        if (in_plane) {
            RiIdentity();
            RiRotate(90, 1, 0, 0);
            current_renderer->options.prepare_world(current_renderer->transformation);
            RiIdentity();
        }
        ParamSurface a(in_plane ? torus_behind : torus_first), b(in_plane ? torus_ahead : torus_second);
        a.choose_dice_rates(6);
        b.choose_dice_rates(9);
        DicedGrid *ga = a.subpatch_grid, *gb = b.subpatch_grid;
        ASSERT_TRUE(ga && gb);
        unsigned seed = 7;
        auto rnd = [&seed]() {
            seed = seed * 1103515245u + 12345u;
            return ((seed >> 8) & 0xffff) / 65536.0f;
        };
        // Both grids' vertices along the shared edge lie on one polyline.
        auto edge = [](DicedGrid *g, int col) {
            std::vector<Point> e;
            for (int i = 0; i <= g->nv; i++) e.push_back(g->vertices[col + (g->nu + 1) * i]);
            return e;
        };
        std::vector<Point> ea = edge(ga, ga->nu), eb = edge(gb, 0);
        auto off_line = [](const Point &p, const std::vector<Point> &line) {
            float best = 1e30f;
            for (size_t i = 0; i + 1 < line.size(); i++) {
                Point d = line[i + 1] - line[i];
                float t = std::min(1.0f, std::max(0.0f, dot(p - line[i], d) / std::max(dot(d, d), 1e-30f)));
                best = std::min(best, (line[i] + d * t - p).length());
            }
            return best;
        };
        int off = 0;
        for (const Point &p : ea) off += !(off_line(p, eb) < 1e-5f);
        for (const Point &p : eb) off += !(off_line(p, ea) < 1e-5f);
        EXPECT_EQ(off, 0);
        int missed = 0, shot = 0;
        for (DicedGrid *g : {ga, gb}) {
            int col = g == ga ? g->nu : 0;
            for (int i = 0; i < g->nv; i++) {
                Point p = g->vertices[col + (g->nu + 1) * i], q = g->vertices[col + (g->nu + 1) * (i + 1)];
                for (int k = 0; k < 40; k++) {
                    float f = k == 0 ? 0 : rnd();
                    Point target = p * (1 - f) + q * f;
                    Point d = normalize(Point(rnd() - 0.5f, rnd() - 0.5f, rnd() - 0.5f));
                    Ray r(target - d * 3, d, 0, 0, 1, 0);
                    IntersectionList la = a.intersect(r), lb = b.intersect(r);
                    bool met = false;
                    for (IntersectionList *l : {&la, &lb})
                        for (Intersection *h = l->first; h; h = h->next) met = met || std::fabs(h->linet - 3) < 1e-3f;
                    missed += !met;
                    shot++;
                    la.free_list();
                    lb.free_list();
                }
            }
        }
        EXPECT_GT(shot, 100);
        EXPECT_EQ(missed, 0) << shot;
    }
}
