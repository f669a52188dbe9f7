#include "raytrace/hierarchy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "raytrace/quadric.h"
#include "raytrace/ray.h"
#include "raytrace/screen_boxes.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"
#include "sampling/random.h"

namespace {

class Hierarchy : public ::testing::Test {
protected:
    void SetUp() override
    {
        RiBegin(nullptr);
        seed_random(5234);
    }
    void TearDown() override
    {
        free_object_list(list);
        RiEnd();
    }
    GSphere *sphere_at(float x, float y, float z)
    {
        RiAttributeBegin();
        RiTranslate(x, y, z);
        GSphere *s = new GSphere(0.5f, -0.5f, 0.5f, 360);
        RiAttributeEnd();
        s->link(&list, 1);
        return s;
    }
    GPrimitive *list = nullptr;
};

// Every object under a node, with how often it appears; checks the node
// invariants on the way (children packed first and marked used, boxes
// enclosing children).
void collect(GPrimitive *o, std::map<GPrimitive *, int> &seen, int &nodes)
{
    if (o->type != GP_HIERBOUND) {
        seen[o]++;
        return;
    }
    nodes++;
    GHierBound *h = static_cast<GHierBound *>(o);
    bool gap = false;
    for (int slot = 0; slot < 4; slot++) {
        GPrimitive *c = h->children[slot];
        EXPECT_EQ((h->used >> slot) & 1, c ? 1 : 0) << "slot " << slot;
        if (!c) {
            gap = true;
            continue;
        }
        EXPECT_FALSE(gap) << "used slots come first";
        for (int i = 0; i < 6; i += 2) {
            EXPECT_LE(h->world_bound[i], c->world_bound[i] + 1e-4f);
            EXPECT_GE(h->world_bound[i + 1], c->world_bound[i + 1] - 1e-4f);
        }
        collect(c, seen, nodes);
    }
}

} // namespace

TEST(BoxMeasures, AreaAndUnion)
{
    EXPECT_EQ(bbox_area(Bound(0, 1, 0, 2, 0, 3)), 22);
    Bound u = bbox_union(Bound(0, 1, 0, 1, 0, 1), Bound(-1, 0.5f, 2, 3, 0, 0));
    EXPECT_EQ(u[0], -1);
    EXPECT_EQ(u[1], 1);
    EXPECT_EQ(u[2], 0);
    EXPECT_EQ(u[3], 3);
    EXPECT_EQ(u[5], 1);
}

TEST_F(Hierarchy, OneObjectGivesOneChild)
{
    GSphere *s = sphere_at(0, 0, 5);
    GHierBound *h = GHierBound::build(HIER_ALL, list, 0, 0, 0, 0);
    EXPECT_EQ(h->child_count(), 1);
    EXPECT_EQ(h->children[0], s);
    delete h;
    GHierBound *empty = GHierBound::build(HIER_ALL, nullptr, 0, 0, 0, 0);
    EXPECT_EQ(empty->child_count(), 0);
    delete empty;
}

TEST_F(Hierarchy, EveryObjectOnceAndNodesReturnToThePool)
{
    for (int i = 0; i < 200; i++) sphere_at((float)(i % 10), (float)(i / 10 % 5), (float)(i / 50));
    long outstanding = (long)hier_bound_counter().current;
    GHierBound *h = GHierBound::build(HIER_ALL, list, 0, 0, 0, 0);
    std::map<GPrimitive *, int> seen;
    int nodes = 0;
    collect(h, seen, nodes);
    EXPECT_EQ(seen.size(), 200u);
    for (auto &e : seen) EXPECT_EQ(e.second, 1);
    EXPECT_EQ((long)hier_bound_counter().current, outstanding + nodes);
    // Nodes hold at most four children, so 200 objects need many of them.
    EXPECT_GE(nodes, 200 / 4);
    // Each node starts a cache line, so that a walk reads three lines of it, not four.
    std::vector<GHierBound *> todo{h};
    while (!todo.empty()) {
        GHierBound *n = todo.back();
        todo.pop_back();
        EXPECT_EQ(reinterpret_cast<uintptr_t>(n) % 64, 0u);
        for (GPrimitive *c : n->children)
            if (c && c->type == GP_HIERBOUND) todo.push_back(static_cast<GHierBound *>(c));
    }
    delete h;
    EXPECT_EQ((long)hier_bound_counter().current, outstanding);
    // The objects are still there.
    int n = 0;
    for (GPrimitive *o = list; o; o = o->next) n++;
    EXPECT_EQ(n, 200);
}

TEST_F(Hierarchy, InsertionNeverOverfillsANode)
{
    GHierBound h;
    std::vector<GSphere *> s;
    for (int i = 0; i < 40; i++) s.push_back(sphere_at((i % 7) * 3.0f, (float)(i % 3), i * 0.5f));
    for (GSphere *o : s) h.insert(o, o->world_bound);
    std::map<GPrimitive *, int> seen;
    int nodes = 0;
    collect(&h, seen, nodes);
    EXPECT_EQ(seen.size(), 40u);
    EXPECT_GE(nodes, 10);
    // A node filled one child at a time marks its slots too, and its box takes each child in.
    GHierBound one;
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(one.add_child(s[i]));
        for (int a = 0; a < 6; a += 2) {
            EXPECT_LE(one.world_bound[a], s[i]->world_bound[a]);
            EXPECT_GE(one.world_bound[a + 1], s[i]->world_bound[a + 1]);
        }
    }
    EXPECT_EQ(one.used, 7);
}

TEST_F(Hierarchy, KindsSelectTheirObjects)
{
    GSphere *plain = sphere_at(0, 0, 5);
    RiAttributeBegin();
    RtInt one = 1;
    RiAttribute("invisible", "secondary", &one, RI_NULL);
    GSphere *hidden = sphere_at(2, 0, 5);
    RiAttributeEnd();
    RiAttributeBegin();
    const char *none = "none";
    RiAttribute("render", "casts_shadows", &none, RI_NULL);
    GSphere *shadowless = sphere_at(4, 0, 5);
    RiAttributeEnd();

    auto members = [&](int kind) {
        GHierBound *h = GHierBound::build(kind, list, 0, 0, 0, 0);
        std::map<GPrimitive *, int> seen;
        int nodes = 0;
        collect(h, seen, nodes);
        delete h;
        return seen;
    };
    auto secondary = members(HIER_SECONDARY);
    EXPECT_EQ(secondary.count(hidden), 0u);
    EXPECT_EQ(secondary.count(plain), 1u);
    EXPECT_EQ(secondary.count(shadowless), 1u);
    auto shadow = members(HIER_SHADOW);
    EXPECT_EQ(shadow.count(shadowless), 0u);
    EXPECT_EQ(shadow.count(hidden), 1u);
    EXPECT_EQ(members(HIER_ALL).size(), 3u);
    // One tree may serve two kinds only when they pick the same objects.
    EXPECT_FALSE(GHierBound::same_selection(HIER_SECONDARY, HIER_SHADOW, list));
}

// Through a built tree, a tree grown by insertion and the bare object list,
// every ray (axis-parallel ones too) finds the same nearest object at the
// same distance: the four-box tests and the tree shapes change no answer.
TEST_F(Hierarchy, TreesFindWhatTheObjectListFinds)
{
    for (int i = 0; i < 300; i++)
        sphere_at((float)(i * 37 % 19) - 9, (float)(i * 11 % 13) - 6, (float)(i * 7 % 17));
    GHierBound *built = GHierBound::build(HIER_ALL, list, 0, 0, 0, 0);
    GHierBound grown;
    for (GPrimitive *o = list; o; o = o->next) grown.insert(o, o->world_bound);
    int hits = 0;
    for (int k = 0; k < 400; k++) {
        Point from((float)(k % 20) - 10, (float)(k / 20 % 20) - 10, -20);
        Point dir = k % 5 == 0 ? Point(0, 0, 1) : Point(0.013f * (float)(k % 7) - 0.04f, 0.011f * (float)(k % 9) - 0.04f, 1);
        auto nearest = [&](GPrimitive *root) {
            Ray r(from, dir, 0, 1, 1, 0);
            IntersectionList l = r.find_hit(root);
            std::pair<GPrimitive *, float> got(l.head() ? gprim(l.head()->obj) : nullptr,
                                               l.head() ? l.head()->linet : 0);
            l.free_list();
            return got;
        };
        auto want = nearest(list);
        if (want.first) hits++;
        EXPECT_EQ(nearest(built), want) << "ray " << k;
        EXPECT_EQ(nearest(&grown), want) << "ray " << k;
    }
    EXPECT_GT(hits, 50);
    delete built;
}

TEST_F(Hierarchy, CameraKindUsesScreenBounds)
{
    RiFormat(100, 100, 1);
    RiProjection("perspective", RI_NULL);
    // The camera as the world begins, without opening a world.
    current_renderer->options.prepare_world(current_renderer->transformation);
    GSphere *left = sphere_at(-2, 0, 5);
    GSphere *right = sphere_at(2, 0, 5);
    GSphere *behind = sphere_at(0, 0, -5);
    int box[4];
    ASSERT_TRUE(left->screen_bound(box));
    EXPECT_LT(box[1], 50);
    ASSERT_TRUE(right->screen_bound(box));
    EXPECT_GT(box[0], 50);
    EXPECT_FALSE(behind->screen_bound(box));
    // The left half of the picture holds only the left sphere.
    GHierBound *h = GHierBound::build(HIER_CAMERA, list, 0, 49, 0, 99);
    std::map<GPrimitive *, int> seen;
    int nodes = 0;
    collect(h, seen, nodes);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen.count(left), 1u);
    delete h;
}

TEST_F(Hierarchy, FrameScreenBoxesPickWhatEachBucketsOwnTestPicks)
{
    RiFormat(100, 100, 1);
    RiProjection("perspective", RI_NULL);
    current_renderer->options.prepare_world(current_renderer->transformation);
    RiAttributeBegin();
    RtInt one = 1;
    RiAttribute("invisible", "primary", &one, RI_NULL);
    GSphere *hidden = sphere_at(-2, -2, 5);
    RiAttributeEnd();
    std::vector<GSphere *> shown;
    for (float x : {-2.0f, 0.0f, 2.0f})
        for (float y : {-2.0f, 0.0f, 2.0f}) shown.push_back(sphere_at(x, y, 6));
    sphere_at(0, 0, -5);   // behind the camera: tested, never picked

    ScreenBoxes boxes, banded;
    boxes.fill(list);
    banded.fill(list, 0, 99);
    RayStats &st = ray_stats();
    for (int by = 0; by < 100; by += 25)
        for (int bx = 0; bx < 100; bx += 25) {
            SCOPED_TRACE(testing::Message() << "bucket " << bx << " " << by);
            const int x1 = bx + 24, y1 = by + 24;
            std::vector<GPrimitive *> expected;
            for (GPrimitive *o = list; o; o = o->next) {
                int box[4];
                if (o == hidden || !o->screen_bound(box)) continue;
                if (box[0] <= x1 && box[1] >= bx && box[2] <= y1 && box[3] >= by) expected.push_back(o);
            }
            unsigned long tests = st.screen_tests, hits = st.screen_hits;
            EXPECT_EQ(boxes.select(bx, x1, by, y1), expected);
            // Every visible surface counts as tested in every bucket.
            EXPECT_EQ(st.screen_tests - tests, shown.size() + 1);
            EXPECT_EQ(st.screen_hits - hits, expected.size());
            // Served from bands of rows, the same objects in the same order.
            EXPECT_EQ(banded.select(bx, x1, by, y1), expected);
        }
    // The corner spheres reach only their own quarter of the picture.
    std::vector<GPrimitive *> corner = boxes.select(0, 24, 0, 24);
    EXPECT_EQ(std::count(corner.begin(), corner.end(), shown.back()), 0);
}
