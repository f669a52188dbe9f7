// Procedural primitives: expansion on the first ray, the detail, and the
// three procedurals of RIB (archives, programs and libraries).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dynlib.h"
#include "raytrace/procedural.h"
#include "raytrace/raytracer.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"
#include "tests/raytrace/world_fixture.h"
#include "tests/ri/error_capture.h"
#include "tests/support/run_program.h"

namespace {

const Point PZ(0, 0, 1);

// What the counting callbacks saw.
int subdivide_calls = 0, free_calls = 0;
float last_detail = 0;

RtVoid counting_subdivide(RtPointer, RtFloat detail)
{
    subdivide_calls++;
    last_detail = detail;
    RiSphere(1, -1, 1, 360, RI_NULL);
}

RtVoid counting_free(RtPointer)
{
    free_calls++;
}

// A string block as the RIB reader makes it: name, arguments, end.
RtPointer block(const std::string &name, const std::string &args)
{
    RtString *b = static_cast<RtString *>(std::calloc(3, sizeof(RtString)));
    b[0] = strdup(name.c_str());
    b[1] = strdup(args.c_str());
    return b;
}

RtVoid free_block(RtPointer data)
{
    RtString *b = static_cast<RtString *>(data);
    std::free(const_cast<char *>(b[0]));
    std::free(const_cast<char *>(b[1]));
    RiProcFree(data);
}

class Procedurals : public WorldTest {
protected:
    void before_world() override
    {
        subdivide_calls = free_calls = 0;
        RiFormat(100, 100, 1);
        RiProjection((RtToken) "perspective", "fov", &fov, RI_NULL);
        RtString path = VELK_PROCEDURAL_DIR;
        RiOption((RtToken) "searchpath", "procedural", &path, RI_NULL);
    }
    static GProcedural *procedural()
    {
        GPrimitive *o = objects();
        return o && o->type == GP_PROCEDURAL ? static_cast<GProcedural *>(o) : nullptr;
    }
    // The distances of the hits of the procedural for a ray along z from (x, 0, 0).
    static std::vector<float> hits(float x = 0)
    {
        Ray r(Point(x, 0, 0), PZ, 0, 0, 1, 0);
        std::vector<float> t;
        GProcedural *p = procedural();
        if (!p) return t;
        IntersectionList l = p->intersect(r);
        for (Intersection *h = l.head(); h; h = h->next) t.push_back(h->linet);
        l.free_list();
        return t;
    }
    // A procedural at z = 5 (bound of a unit sphere there).
    static void procedural_at_5(RtPointer data, RtProcSubdivFunc sub, RtProcFreeFunc fr)
    {
        RtBound b = {-1, 1, -1, 1, -1, 1};
        RiTransformBegin();
        RiTranslate(0, 0, 5);
        RiProcedural(data, b, sub, fr);
        RiTransformEnd();
    }
    float fov = 90;
    velktest::TempDir dir;
};

} // namespace

TEST_F(Procedurals, ExpandOnTheFirstRayIntoTheirOwnObjects)
{
    procedural_at_5(nullptr, counting_subdivide, counting_free);
    GProcedural *p = procedural();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(subdivide_calls, 0);
    std::vector<float> t = hits();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_NEAR(t[0], 4, 1e-5f);
    EXPECT_EQ(subdivide_calls, 1);
    EXPECT_EQ(p->generated_count, 1);
    // The sphere went into the procedural's list, under its transformation.
    EXPECT_EQ(RayTracer::current()->world_objects, p);
    EXPECT_EQ(p->next, nullptr);
    // The bound seen from the eye: x and y in [-0.25, 0.25] at fov 90 over
    // 100 pixels is 25 pixels.
    EXPECT_NEAR(last_detail, 25 * 25, 0.01f);
    hits();
    EXPECT_EQ(subdivide_calls, 1);
    // Released, the next ray expands again.
    p->release_memory();
    EXPECT_EQ(p->generated, nullptr);
    EXPECT_EQ(hits().size(), 2u);
    EXPECT_EQ(subdivide_calls, 2);
}

TEST_F(Procedurals, BoundAroundTheEyeHasTheLargestDetailAndDataIsFreedOnce)
{
    int data = 0;
    {
        RtBound b = {-1, 1, -1, 1, -1, 1};
        GProcedural p(&data, b, counting_subdivide, counting_free);
        EXPECT_EQ(p.detail(), 1e38f);
        Ray r(Point(0, 0, 0), PZ, 0, 0, 1, 0);
        IntersectionList l = p.intersect(r);
        EXPECT_EQ(l.count, 1);   // the sphere around the eye, ahead
        l.free_list();
        EXPECT_EQ(last_detail, 1e38f);
    }
    EXPECT_EQ(free_calls, 1);
    // Beside the eye and reaching behind it: the whole image.
    RtBound beside = {2, 3, -1, 1, -1, 1};
    GProcedural q(nullptr, beside, counting_subdivide, nullptr);
    EXPECT_EQ(q.detail(), 100.0f * 100.0f);
}

TEST_F(Procedurals, DelayedReadArchiveReadsTheArchiveOnce)
{
    std::string archive = dir.write("ball.rib", "Sphere 1 -1 1 360\n");
    procedural_at_5(block(archive, ""), RiProcDelayedReadArchive, free_block);
    EXPECT_EQ(hits().size(), 2u);
    EXPECT_EQ(procedural()->generated_count, 1);
    EXPECT_TRUE(hits(5).empty());
}

TEST_F(Procedurals, SelfNestedArchivesStopAtTheDeepestNesting)
{
    velktest::ErrorCapture errors;
    std::string archive = dir.path() + "/self.rib";
    dir.write("self.rib", "Procedural \"DelayedReadArchive\" [\"" + archive + "\"] [-1 1 -1 1 -1 1]\n");
    procedural_at_5(block(archive, ""), RiProcDelayedReadArchive, free_block);
    EXPECT_TRUE(hits().empty());
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_LIMIT);
    hits();
    EXPECT_EQ(errors.count(), 1u);
}

TEST_F(Procedurals, RunProgramThatCannotRunIsReportedOncePerExpansion)
{
    velktest::ErrorCapture errors;
    procedural_at_5(block(dir.path() + "/no-such-program", ""), RiProcRunProgram, free_block);
    EXPECT_TRUE(hits().empty());
    EXPECT_TRUE(hits().empty());   // not run again for every ray
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_SYSTEM);
    EXPECT_EQ(errors.reports[0].message,
              "RiProcRunProgram could not run program \"" + dir.path() + "/no-such-program\"");
    procedural()->release_memory();
    EXPECT_TRUE(hits().empty());
    EXPECT_EQ(errors.count(), 2u);
}

TEST_F(Procedurals, DynamicLoadFindsTheLibraryOnTheProceduralPath)
{
    velk::DynLib *lib = velk::dynlib_open(VELK_PROCEDURAL_DIR "/procsphere.so");
    ASSERT_NE(lib, nullptr);
    int *calls = static_cast<int *>(velk::dynlib_symbol(lib, "velk_test_proc_calls"));
    ASSERT_NE(calls, nullptr);
    int before[3] = {calls[0], calls[1], calls[2]};
    procedural_at_5(block("procsphere.so", "0.25"), RiProcDynamicLoad, free_block);
    std::vector<float> t = hits();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_NEAR(t[0], 4.75f, 1e-5f);
    for (int i = 0; i < 3; i++) EXPECT_EQ(calls[i], before[i] + 1) << "entry " << i;
    velk::dynlib_close(lib);
}

TEST_F(Procedurals, DynamicLoadWithoutAnEntryCallsNothing)
{
    velktest::ErrorCapture errors;
    procedural_at_5(block("procnofree.so", "1"), RiProcDynamicLoad, free_block);
    EXPECT_TRUE(hits().empty());
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_BADFILE);
    EXPECT_EQ(errors.reports[0].message, "Proc DSO \"procnofree.so\" had no Free routine");
    // Nothing of the library was called.
    velk::DynLib *lib = velk::dynlib_open(VELK_PROCEDURAL_DIR "/procnofree.so");
    ASSERT_NE(lib, nullptr);
    int *calls = static_cast<int *>(velk::dynlib_symbol(lib, "velk_test_proc_calls"));
    EXPECT_EQ(calls[0] + calls[1], 0);
    velk::dynlib_close(lib);
}
