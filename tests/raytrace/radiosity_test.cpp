// Progressive radiosity: the mesh of patches, elements and welded vertices,
// the light shot from an emitting disk to a receiver with the point-to-disk
// form factor, shadows between them, the lookup at shading time, and raylume
// with "radiosity" "steps" end to end (image, statistics, dumps).
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "raytrace/gprim.h"
#include "raytrace/radiosity.h"
#include "raytrace/raytracer.h"
#include "ri_common/ri.h"
#include "shading/shadingpoint.h"
#include "tests/support/render_support.h"
#include "tests/raytrace/world_fixture.h"

namespace {

const float PI = 3.14159265358979f;

RtToken tok(const char *s) { return const_cast<RtToken>(s); }

void zonal(const char *mode)
{
    RtString m = mode;
    RiAttribute(tok("radiosity"), "zonal", &m, RI_NULL);
}

void radiosity_float(const char *name, float f)
{
    RiAttribute(tok("radiosity"), name, &f, RI_NULL);
}

// The vertex of the surface nearest P.
RadVertex *vertex_near(GSurface *s, const Point &P)
{
    RadVertex *best = nullptr;
    for (RadVertex *v = rad_vertices(s); v; v = v->next)
        if (!best || (v->P - P).length() < (best->P - P).length()) best = v;
    return best;
}

// An emitting disk of radius 1 facing a receiving disk of radius 3 two
// units below it; optionally an opaque disk half way that takes no part.
class RadiosityScene : public WorldTest {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        rt = RayTracer::current();
    }
    void TearDown() override
    {
        free_radiosity_meshes(rt->frame_objects);
        WorldTest::TearDown();
    }
    void build(bool blocker, float emitter_patch)
    {
        RiAttributeBegin();
        RiSides(1);
        RtColor one = {1, 1, 1};
        RiAttribute(tok("radiosity"), "emissioncolor", one, RI_NULL);
        zonal("zonal_shoots");
        radiosity_float("patchsize", emitter_patch);
        radiosity_float("elemsize", emitter_patch / 3);
        RiTranslate(0, 0, -2);
        RiDisk(0, 1, 360, RI_NULL);
        RiAttributeEnd();
        if (blocker) {
            RiAttributeBegin();
            zonal("none");
            RiTranslate(0, 0, -1);
            RiDisk(0, 0.5f, 360, RI_NULL);
            RiAttributeEnd();
        }
        RiAttributeBegin();
        zonal("zonal_receives");
        RtColor half = {0.5f, 0.5f, 0.5f};
        RiColor(half);
        RiDisk(0, 3, 360, RI_NULL);
        RiAttributeEnd();
        find_disks();
    }
    // The emitter lies at z = -2, the receiver (of radius 3) at z = 0.
    void find_disks()
    {
        for (GPrimitive *o = rt->world_objects; o; o = o->next) {
            const Bound &b = o->world_bound;
            if (b[4] < -1.5f) emitter = static_cast<GSurface *>(o);
            else if (b[1] > 2.5f) receiver = static_cast<GSurface *>(o);
        }
    }
    void solve(int steps)
    {
        rt->frame_objects = rt->world_objects;
        rt->options.radiosity_steps = steps;
        reset_rad_mesh_counts();
        mesh_radiosity_list(rt->frame_objects);
        rt->radiosity();
    }
    float emitter_area() const
    {
        float a = 0;
        for (RadPatch *p = emitter->rad_patches; p; p = p->next) a += p->area;
        return a;
    }
    RayTracer *rt = nullptr;
    GSurface *emitter = nullptr, *receiver = nullptr;
};

} // namespace

TEST_F(RadiosityScene, TheMeshTilesEachSurfaceWithWeldedVertices)
{
    build(false, 0.5f);
    rt->frame_objects = rt->world_objects;
    reset_rad_mesh_counts();
    mesh_radiosity_list(rt->frame_objects);
    ASSERT_NE(emitter->rad_patches, nullptr);
    ASSERT_NE(receiver->rad_patches, nullptr);
    for (GSurface *s : {emitter, receiver}) {
        float param_area = 0, area = 0;
        for (RadPatch *p = s->rad_patches; p; p = p->next) {
            float patch_param = 0, patch_area = 0;
            for (RadElement *e = p->elements; e; e = e->next) {
                EXPECT_EQ(e->patch, p);
                EXPECT_GE(e->umin, p->umin);
                EXPECT_LE(e->umax, p->umax);
                patch_param += (e->umax - e->umin) * (e->vmax - e->vmin);
                patch_area += e->area;
            }
            // The elements cover their patch's rectangle exactly once.
            EXPECT_NEAR(patch_param, (p->umax - p->umin) * (p->vmax - p->vmin), 1e-5f);
            EXPECT_NEAR(p->area, patch_area, 1e-4f);
            param_area += patch_param;
            area += patch_area;
        }
        EXPECT_NEAR(param_area, 1, 1e-4f);
        // The polygons of the corners fall a little short of the round disk.
        float r = s == emitter ? 1 : 3;
        EXPECT_LT(area, PI * r * r);
        EXPECT_GT(area, 0.8f * PI * r * r);
        // No two vertices of an object lie together, and the centre is one
        // vertex shared by every patch around it.
        int centre = 0;
        for (RadVertex *a = rad_vertices(s); a; a = a->next) {
            if (a->P.x * a->P.x + a->P.y * a->P.y < 1e-6f) centre++;
            for (RadVertex *b = a->next; b; b = b->next) EXPECT_GE((a->P - b->P).length(), 0.001f);
            EXPECT_NEAR(a->N.length(), 1, 1e-4f);
        }
        EXPECT_EQ(centre, 1);
    }
    const RadMeshCounts &c = rad_mesh_counts();
    long vertices = 0;
    for (GSurface *s : {emitter, receiver})
        for (RadVertex *v = rad_vertices(s); v; v = v->next) vertices++;
    EXPECT_EQ(c.vertices, vertices);
}

TEST_F(RadiosityScene, AReceiverLitOnlyByAnEmitterGetsTheFormFactor)
{
    build(false, 0.3f);
    solve(400);
    // The receiver faces away from the emitter (its normal is +z): its back
    // gets the light. The point-to-disk form factor below the centre is
    // a^2 / (h^2 + a^2) = 1/5, times the receiver's reflectance: its average
    // colour 0.5 times the default surface's "Kd" 0.8.
    RadVertex *centre = vertex_near(receiver, Point(0, 0, 0));
    ASSERT_NE(centre, nullptr);
    EXPECT_NEAR(centre->indirect[1].x, 0.08f, 0.004f);
    // The front only gets the small ambient estimate of what was left unshot.
    EXPECT_LT(centre->indirect[0].x, 0.002f);
    EXPECT_EQ(centre->direct[1], Color());
    // Light falls off away from the centre.
    RadVertex *rim = vertex_near(receiver, Point(3, 0, 0));
    EXPECT_GT(rim->indirect[1].x, 0);
    EXPECT_LT(rim->indirect[1].x, centre->indirect[1].x);
    // The emitter keeps its emission and shoots nearly all of it: shooting
    // stops once less than 0.5% of the first energy is left.
    RadVertex *e = vertex_near(emitter, Point(0, 0, -2));
    EXPECT_EQ(e->direct[0], Color(1, 1, 1));
    float unshot = 0, total = 0;
    for (RadPatch *p = emitter->rad_patches; p; p = p->next) {
        unshot += p->total[0].x - p->shot[0].x;
        total += p->total[0].x;
    }
    EXPECT_NEAR(total, emitter_area(), 1e-3f);
    EXPECT_LT(unshot, 0.01f * total);
}

TEST_F(RadiosityScene, AnOpaqueDiskInBetweenShadowsTheReceiver)
{
    build(true, 0.5f);
    solve(400);
    RadVertex *centre = vertex_near(receiver, Point(0, 0, 0));
    RadVertex *rim = vertex_near(receiver, Point(3, 0, 0));
    // Only the ambient estimate of the little that was left unshot.
    EXPECT_LT(centre->indirect[1].x, 0.001f);
    EXPECT_GT(rim->indirect[1].x, 0.01f);
}

TEST_F(RadiosityScene, NoStepsOrNoEnergyLeaveTheReceiverDark)
{
    // Without an emitter or lights there is nothing to shoot: the loop ends
    // at its first step.
    RiAttributeBegin();
    RiDisk(0, 3, 360, RI_NULL);
    RiAttributeEnd();
    find_disks();
    ASSERT_NE(receiver, nullptr);
    solve(10);
    for (RadVertex *v = rad_vertices(receiver); v; v = v->next) {
        EXPECT_EQ(v->direct[0], Color());
        EXPECT_EQ(v->indirect[0], Color());
    }
}

TEST_F(RadiosityScene, TheLookupInterpolatesTheCornersAndUndoesTheReflectance)
{
    build(false, 0.5f);
    rt->frame_objects = rt->world_objects;
    mesh_radiosity_list(rt->frame_objects);
    // Indirect light rising with x across the receiver's back.
    for (RadVertex *v = rad_vertices(receiver); v; v = v->next) v->indirect[1] = Color(1, 1, 1) * (v->P.x + 3);
    Intersection sv;
    sv.obj = receiver;
    sv.Ns = Point(0, 0, 1);
    sv.I = Point(0, 0, 1);   // seen from behind
    // A vertex of the mesh: its own value, over the average colour 0.5 and
    // the default surface's "Ka" 0.2.
    RadVertex *v = vertex_near(receiver, Point(3, 0, 0));
    sv.gu = 0;
    sv.gv = 0;
    Color c;
    ASSERT_TRUE(find_patch(c, &sv));
    EXPECT_NEAR(c.x, v->indirect[1].x / 0.5f / 0.2f, 1e-3f);
    // Between two corners of an element along u, the light is between theirs.
    sv.gu = 0.01f;
    ASSERT_TRUE(find_patch(c, &sv));
    EXPECT_LE(c.x, 10 * 6.0f);
    EXPECT_GT(c.x, 10 * 5.5f);
    // The front side holds nothing.
    sv.I = Point(0, 0, -1);
    ASSERT_TRUE(find_patch(c, &sv));
    EXPECT_EQ(c, Color());
    // The emitter's own emission is added (its average colour is 1).
    sv.obj = emitter;
    ASSERT_TRUE(find_patch(c, &sv));
    EXPECT_NEAR(c.x, 1 / 0.2f, 1e-4f);
}

// ---- raylume end to end ------------------------------------------------------

namespace {

std::string emitter_scene(int steps, const std::string &options = "", const char *receiver = "Disk 0 3 360")
{
    return e2e::exact_floatdump_options(5, 5) + options +
           "Option \"radiosity\" \"steps\" [" + std::to_string(steps) + "]\n"
           "Projection \"perspective\" \"fov\" [20]\nTranslate 0 0 5\nWorldBegin\nSurface \"matte\"\n"
           "AttributeBegin\nSides 1\n"
           "Attribute \"radiosity\" \"emissioncolor\" [1 1 1] \"zonal\" \"zonal_shoots\" \"patchsize\" [0.3] "
           "\"elemsize\" [0.1]\n"
           "Translate 0 0 -2\nDisk 0 1 360\nAttributeEnd\n"
           "Attribute \"radiosity\" \"zonal\" \"zonal_receives\"\nColor [0.5 0.5 0.5]\n" + receiver + "\nWorldEnd\n";
}

} // namespace

TEST(RadiosityRender, TheReceiverIsLitThroughItsAmbientTerm)
{
    // The camera sees the receiver's back through the one-sided emitter.
    // At the centre: Cs x Ka x (B / averagecolor) = 0.5 x 1/5.
    e2e::Render lit = e2e::render_floatdump(emitter_scene(400));
    e2e::Render off = e2e::render_floatdump(emitter_scene(0));
    ASSERT_EQ(lit.run.status, 0) << lit.run.err;
    ASSERT_FALSE(lit.image.empty());
    ASSERT_FALSE(off.image.empty());
    EXPECT_EQ(lit.run.err, "");
    EXPECT_NEAR(lit.image.at(2, 2, 0), 0.1f, 0.006f);
    EXPECT_GT(lit.image.at(2, 2, 0), lit.image.at(0, 0, 0));
    EXPECT_GT(lit.image.at(0, 0, 0), 0);
    EXPECT_EQ(off.image.at(2, 2, 0), 0);

    // A square receiver looks its light up in the same parameters it was
    // meshed in: the same centre, and the same light on either side.
    e2e::Render square = e2e::render_floatdump(emitter_scene(400, "", "Polygon \"P\" [-3 -3 0 3 -3 0 3 3 0 -3 3 0]"));
    ASSERT_FALSE(square.image.empty());
    EXPECT_EQ(square.run.err, "");
    EXPECT_NEAR(square.image.at(2, 2, 0), 0.1f, 0.006f);
    EXPECT_NEAR(square.image.at(0, 2, 0), square.image.at(4, 2, 0), 0.003f);
    EXPECT_NEAR(square.image.at(2, 0, 0), square.image.at(2, 4, 0), 0.003f);
}

TEST(RadiosityRender, StatisticsAndDumpsOfTheSolution)
{
    velktest::TempDir dir;
    std::string scene = emitter_scene(400);
    velktest::RunResult r = e2e::raylume(dir, scene, {"-stats", "-radout"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Total indirect energy = "), std::string::npos);
    EXPECT_NE(r.out.find("Radiosity:\n  Leftover energy = "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  Average reflectivity = "), std::string::npos);
    EXPECT_NE(r.out.find("  Used "), std::string::npos);
    EXPECT_NE(r.out.find(" indirect energy lookups, avg links walked "), std::string::npos);
    for (const char *name : {"direct.out", "indirect.out", "rad.out"}) {
        std::ifstream f(dir.path() + "/" + name);
        ASSERT_TRUE(f.good()) << name;
        std::stringstream text;
        text << f.rdbuf();
        const std::string s = text.str();
        EXPECT_EQ(s.rfind("AttributeBegin\nSurface \"constant\"\nTransform [ ", 0), 0u) << name;
        EXPECT_NE(s.find("Polygon \"P\" [ "), std::string::npos);
        EXPECT_NE(s.find("] \"Cs\" [ "), std::string::npos);
    }
    // The direct dump shows the emitter's emission, the indirect one none of it.
    std::ifstream d(dir.path() + "/direct.out"), i(dir.path() + "/indirect.out");
    std::stringstream dt, it;
    dt << d.rdbuf();
    it << i.rdbuf();
    EXPECT_NE(dt.str().find("\"Cs\" [ 1 1 1 1 1 1 1 1 1 1 1 1 ]"), std::string::npos);
    EXPECT_EQ(it.str().find("\"Cs\" [ 1 1 1 1 1 1 1 1 1 1 1 1 ]"), std::string::npos);

    // A dump never takes the place of the RIB being read.
    dir.write("rad.out", scene);
    velktest::RunOptions here;
    here.cwd = dir.path();
    velktest::RunResult own = velktest::run({velktest::program("raylume"), "-silent", "-radout", "rad.out"}, here);
    EXPECT_NE(own.err.find("Radiosity error: rad.out is a file being read"), std::string::npos) << own.err;
    EXPECT_EQ(dir.read("rad.out"), scene);
    // Nor that of an archive the frame read (the dumps read above are closed first: raylume would inherit them).
    d.close();
    i.close();
    dir.write("direct.out", "# kept\n");
    dir.write("with.rib", "ReadArchive \"direct.out\"\n" + scene);
    own = velktest::run({velktest::program("raylume"), "-silent", "-radout", "with.rib"}, here);
    EXPECT_NE(own.err.find("Radiosity error: direct.out is a file this frame read"), std::string::npos) << own.err;
    EXPECT_EQ(dir.read("direct.out"), "# kept\n");

    // Without steps there is no solution and no block.
    velktest::RunResult none = e2e::raylume(dir, emitter_scene(0), {"-stats"});
    EXPECT_EQ(none.out.find("Radiosity:"), std::string::npos);
}

TEST(RadiosityRender, TheBouncerLightReplaysAMirrorsPaths)
{
    // A tiny receiver facing down at (2.5, 1, 1) over a mirror in z = 0, lit
    // only by the mirror image of a light at (0.5, 1, 1): intensity 8 times
    // cos 45 / (2 sqrt 2)^2. Seen from below through the one-sided mirror.
    auto scene = [](int steps, bool bouncer) {
        return e2e::exact_floatdump_options(3, 3) + "Option \"radiosity\" \"steps\" [" + std::to_string(steps) +
               "]\nProjection \"orthographic\"\nScreenWindow -0.03 0.03 -0.03 0.03\nTranslate -2.5 -1 5\n"
               "WorldBegin\n" + (bouncer ? "LightSource \"bouncer\" 1\n" : "") +
               "LightSource \"pointlight\" 2 \"intensity\" [8] \"from\" [0.5 1 1]\nSurface \"matte\"\n"
               "AttributeBegin\nSides 1\n"
               "Attribute \"radiosity\" \"specularcolor\" [1 1 1] \"zonal\" \"zonal_shoots\"\n"
               "Disk 0 2.9 360\nAttributeEnd\n"
               "AttributeBegin\nSides 1\nAttribute \"radiosity\" \"zonal\" \"zonal_receives\"\n"
               "Translate 2.5 1 1\nRotate 180 1 0 0\nDisk 0 0.05 360\nAttributeEnd\nWorldEnd\n";
    };
    e2e::Render lit = e2e::render_floatdump(scene(1, true));
    ASSERT_EQ(lit.run.status, 0) << lit.run.err;
    ASSERT_FALSE(lit.image.empty());
    EXPECT_EQ(lit.run.err, "");
    EXPECT_NEAR(lit.image.at(1, 1, 0), 8 * std::sqrt(0.5f) / 8, 0.01f);
    // Without the light that replays them, or without radiosity to find
    // them, no path light arrives.
    e2e::Render no_bouncer = e2e::render_floatdump(scene(1, false));
    e2e::Render no_steps = e2e::render_floatdump(scene(0, true));
    ASSERT_FALSE(no_bouncer.image.empty());
    ASSERT_FALSE(no_steps.image.empty());
    EXPECT_EQ(no_bouncer.image.at(1, 1, 0), 0);
    EXPECT_EQ(no_steps.image.at(1, 1, 0), 0);
}
