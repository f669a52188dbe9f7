// Caustic photons: how many a light sample shoots, where they are stored,
// the density estimate with its radius search, and a render whose ambient
// light comes from photons alone.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "raytrace/gprim.h"
#include "raytrace/photon.h"
#include "raytrace/raytracer.h"
#include "ri_common/ri.h"
#include "ri/shader.h"
#include "shading/shadingpoint.h"
#include "tests/support/render_support.h"

namespace {

const float PI = 3.14159265358979f;

Photon photon_at(float x, float y, float z, float power = 1, Point N = Point(0, 0, 1))
{
    Photon p;
    p.P[0] = x, p.P[1] = y, p.P[2] = z;
    p.power[0] = p.power[1] = p.power[2] = power;
    p.N[0] = N.x, p.N[1] = N.y, p.N[2] = N.z;
    return p;
}

// A point light of intensity 1 at the light's origin.
int unit_point_light(ShaderVars *sv, char *)
{
    Point L = sv->Ps - sv->Pl;
    float d2 = dot(L, L);
    sv->L = L;
    sv->Cl = d2 > 0 ? Color(1 / d2, 1 / d2, 1 / d2) : Color();
    return 1;
}

class PhotonScene : public testing::Test {
protected:
    void SetUp() override
    {
        RiBegin(nullptr);
        static Shader *light = [] {
            Shader *s = register_shader("photon_test_light", unit_point_light, nullptr, nullptr, nullptr, SH_LIGHT);
            s->flags |= VU_ILLUMINATE;
            return s;
        }();
        rt = RayTracer::current();
        RiWorldBegin();
        RiAttributeBegin();
        RtInt n = 600;
        RiDeclare("nphotons", "integer");
        RiAttribute("light", "nphotons", &n, RI_NULL);
        RiTranslate(0, 0, 4);
        RiLightSource(light->name, RI_NULL);
        RiAttributeEnd();
        RiDisk(0, 50, 360, RI_NULL);
    }
    void TearDown() override
    {
        rt->options.render_enabled = 0;
        RiWorldEnd();
        RiEnd();
    }
    void shoot()
    {
        rt->frame_objects = rt->world_objects;
        rt->shoot_photons();
    }
    RayTracer *rt = nullptr;
};

} // namespace

TEST(Photons, ALightSampleShootsWholeHundredsOf256)
{
    EXPECT_EQ(photons_per_sample(255, 1), 0);
    EXPECT_EQ(photons_per_sample(256, 1), 256);
    EXPECT_EQ(photons_per_sample(600, 1), 512);
    EXPECT_EQ(photons_per_sample(600, 2), 256);
    EXPECT_EQ(photons_per_sample(1000, 4), 0);
    EXPECT_EQ(photons_per_sample(1000, 0), 0);
}

TEST(Photons, EmissionDirectionsCoverTheSphereEvenly)
{
    Point sum;
    int up = 0;
    for (int k = 0; k < 255 * 4; ++k) {
        Point d = photon_direction(k % 256, 255, k / 255);
        EXPECT_NEAR(d.length(), 1, 1e-5f);
        sum += d;
        if (d.z > 0) up++;
    }
    EXPECT_LT(sum.length() / (255 * 4), 0.05f);
    EXPECT_NEAR(up, 255 * 2, 40);
}

TEST(Photons, DensityCountsPhotonsFacingThePoint)
{
    Photon a = photon_at(0, 0, 0, 2), b = photon_at(0.1f, 0, 0, 4), away = photon_at(0, 0.1f, 0, 8, Point(0, 0, -1));
    Photon *list[3] = {&a, &b, &away};
    Color all = photon_density(list, 3, nullptr, 1);
    EXPECT_NEAR(all.x, 14 / PI, 1e-4f);
    // Seen with a normal, the photon stored on the other side drops out.
    Point up(0, 0, 1);
    Color facing = photon_density(list, 3, &up, 1);
    EXPECT_NEAR(facing.y, 6 / PI, 1e-4f);
    // Fewer than two photons give black.
    EXPECT_EQ(photon_density(list, 1, nullptr, 1), Color());
    Photon *one_facing[2] = {&a, &away};
    EXPECT_EQ(photon_density(one_facing, 2, &up, 1), Color());
}

TEST_F(PhotonScene, TheRadiusSearchKeepsTheFirstRadiusWithTenPhotons)
{
    // base = 10 x 0.01: the search starts at 3.2.
    rt->options.eye = Point(0, 0, 0);
    rt->options.max_pixel_size = 0.01f;
    const Point P(10, 0, 0);
    for (int i = 0; i < 10; ++i) rt->photon_map.insert(photon_at(10 + 0.3f * i, 0, 0));
    for (int i = 0; i < 5; ++i) rt->photon_map.insert(photon_at(40, float(i), 0));
    Color c;
    rt->caustic_irradiance(P, nullptr, c);
    EXPECT_NEAR(c.x, 10 / (PI * 3.2f * 3.2f), 1e-4f);

    // Three photons: the radius grows by the golden ratio until it passes 20;
    // the estimate divides by the radius they were gathered in.
    rt->photon_map.clear();
    for (int i = 0; i < 3; ++i) rt->photon_map.insert(photon_at(10, 0, float(i)));
    rt->caustic_irradiance(P, nullptr, c);
    float r = 3.2f * 1.618034f * 1.618034f * 1.618034f;
    EXPECT_NEAR(c.x, 3 / (PI * r * r), 1e-4f);

    // A point at the camera has no radius to search.
    rt->caustic_irradiance(Point(0, 0, 0), nullptr, c);
    EXPECT_EQ(c, Color());
}

TEST_F(PhotonScene, PhotonsThatLeaveAtTheirFirstBounceStoreNothing)
{
    // Only a floor: every photon path ends after its first hit, so the
    // light's share is never filled; shooting still ends.
    shoot();
    EXPECT_TRUE(rt->photon_map.empty());
    EXPECT_FALSE(rt->caustics_on());
}

TEST_F(PhotonScene, BouncedPhotonsFillTheLightsShare)
{
    // A room: photons bounce between the floor and the inside of a ball.
    RiSphere(10, -10, 10, 360, RI_NULL);
    shoot();
    ASSERT_EQ(rt->photon_map.size(), 512u);
    Photon *found[PHOTON_GATHER_MAX];
    int n = rt->photon_map.gather(Point(0, 0, 0), found, PHOTON_GATHER_MAX, 100);
    ASSERT_GT(n, 0);
    for (int i = 0; i < n; ++i) {
        Point P = Point::from(found[i]->P);
        bool on_floor = std::fabs(P.z) < 1e-3f;
        bool on_sphere = std::fabs(P.length() - 10) < 1e-3f;
        EXPECT_TRUE(on_floor || on_sphere) << P.x << " " << P.y << " " << P.z;
        // At most the power of a unit light shared among 512 photons (the
        // surfaces reflect part of it).
        EXPECT_GT(found[i]->power[0], 0);
        EXPECT_LE(found[i]->power[0], 4 * PI / 512 * 1.0001f);
    }
}

TEST(PhotonRender, CausticsAreTheAmbientLightOfASceneWithPhotons)
{
    // A floor under a ball, seen from above; the floor's only light is its
    // ambient term.
    auto scene = [](int photons) {
        return e2e::exact_floatdump_options(8, 8) +
               "Projection \"perspective\" \"fov\" 40\nTranslate 0 0 6\n"
               "Declare \"nphotons\" \"integer\"\nWorldBegin\n"
               "Attribute \"light\" \"nphotons\" " + std::to_string(photons) + "\n"
               "TransformBegin\nTranslate 0 0 -4\nLightSource \"pointlight\" 1 \"intensity\" 20\nTransformEnd\n"
               "AttributeBegin\nIlluminate 1 0\nSurface \"matte\" \"Kd\" 0\nDisk 0 6 360\nAttributeEnd\n"
               "AttributeBegin\nSurface \"matte\"\nTranslate 0 0 -1.5\nSphere 1 -1 1 360\nAttributeEnd\n"
               "WorldEnd\n";
    };
    e2e::Render none = e2e::render_floatdump(scene(0));
    e2e::Render lit = e2e::render_floatdump(scene(4096));
    ASSERT_EQ(lit.run.status, 0) << lit.run.err;
    ASSERT_FALSE(none.image.empty());
    ASSERT_FALSE(lit.image.empty());
    // A floor pixel beside the ball.
    EXPECT_EQ(none.image.at(0, 4, 0), 0);
    EXPECT_GT(lit.image.at(0, 4, 0), 0);
}

TEST(PhotonRender, PhotonsBeyondMemoryEndInTheOutOfMemoryError)
{
    // Fifty million photons in a process held to 1.5 GB of address space:
    // the renderer's own severe error, at once, instead of an abort from deep
    // in the shooting.
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address-space limit";
#endif
    velktest::TempDir dir;
    dir.write("scene.rib", e2e::exact_floatdump_options(2, 2) + e2e::pixel_camera(2, 2) +
                               "Declare \"nphotons\" \"integer\"\nWorldBegin\n"
                               "Attribute \"light\" \"nphotons\" 50000000\nLightSource \"pointlight\" 1\n" +
                               e2e::unit_disk(0, 0) + "WorldEnd\n");
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    opts.env["HOME"] = dir.path();
    opts.timeout_seconds = 60;
    velktest::RunResult run = velktest::run(
        {"/bin/sh", "-c", "ulimit -v 1500000 && exec \"$0\" -silent scene.rib", velktest::program("raylume")}, opts);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.signal, 0);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("out of core memory"), std::string::npos) << run.err;
}
