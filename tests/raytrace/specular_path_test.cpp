// Specular light paths: light reflected by a flat mirror onto a receiver
// reaches it as from the mirror image of the light, searched for each
// receiver; a receiver the mirror cannot reach gets none.
#include <gtest/gtest.h>

#include <cmath>

#include "raytrace/gprim.h"
#include "raytrace/radiosity.h"
#include "raytrace/raytracer.h"
#include "ri_common/ri.h"
#include "ri/shader.h"
#include "shading/shadingpoint.h"

namespace {

// A point light of intensity 1.
int inverse_square_light(ShaderVars *sv, char *)
{
    Point L = sv->Ps - sv->Pl;
    float d2 = dot(L, L);
    sv->L = L;
    sv->Cl = d2 > 0 ? Color(1 / d2, 1 / d2, 1 / d2) : Color();
    return 1;
}

RtToken tok(const char *s) { return const_cast<RtToken>(s); }

void zonal(const char *mode)
{
    RtString m = mode;
    RiAttribute(tok("radiosity"), "zonal", &m, RI_NULL);
}

} // namespace

namespace {

// Opens a world with a bouncer light and the test light at (0.5, 1, 1).
RayTracer *open_world()
{
    RiBegin(nullptr);
    static Shader *light = [] {
        Shader *s = register_shader("specpath_test_light", inverse_square_light, nullptr, nullptr, nullptr, SH_LIGHT);
        s->flags |= VU_ILLUMINATE;
        return s;
    }();
    RayTracer *rt = RayTracer::current();
    RiWorldBegin();
    RiLightSource(tok("bouncer"), RI_NULL);
    RiAttributeBegin();
    RiTranslate(0.5f, 1, 1);
    RiLightSource(light->name, RI_NULL);
    RiAttributeEnd();
    return rt;
}

void solve(RayTracer *rt)
{
    rt->frame_objects = rt->world_objects;
    rt->options.radiosity_steps = 1;
    mesh_radiosity_list(rt->frame_objects);
    rt->radiosity();
}

void close_world(RayTracer *rt)
{
    clear_specular_paths();
    free_radiosity_meshes(rt->frame_objects);
    rt->options.render_enabled = 0;
    RiWorldEnd();
    RiEnd();
}

// A small receiver at P facing up or down.
void receiver(const Point &P, bool up)
{
    RiAttributeBegin();
    RiSides(1);
    zonal("zonal_receives");
    RiTranslate(P.x, P.y, P.z);
    if (!up) RiRotate(180, 1, 0, 0);
    RiDisk(0, 0.05f, 360, RI_NULL);
    RiAttributeEnd();
}

} // namespace

TEST(SpecularPaths, AFlatMirrorShowsTheLightsImage)
{
    RayTracer *rt = open_world();
    // The mirror: the plane z = 0, facing up (the reflection point lies
    // inside one of its patches, away from their edges).
    RiAttributeBegin();
    RtColor white = {1, 1, 1};
    RiAttribute(tok("radiosity"), "specularcolor", white, RI_NULL);
    zonal("zonal_shoots");
    RiDisk(0, 2.9f, 360, RI_NULL);
    RiAttributeEnd();
    receiver(Point(2.5f, 1, 1), false);
    solve(rt);

    // The image of the light lies at (0.5, 1, -1), 2 sqrt 2 from the
    // receiver, whose normal makes 45 degrees with the light's arrival.
    const Point P(2.5f, 1, 1), down(0, 0, -1);
    Color c = specular_path_light(P, down, nullptr);
    EXPECT_NEAR(c.x, std::sqrt(0.5f) / 8, 0.002f);
    EXPECT_NEAR(c.y, c.x, 1e-6f);
    // A receiver facing away from the mirror gets nothing.
    EXPECT_EQ(specular_path_light(P, Point(0, 0, 1), nullptr), Color());
    // Below the mirror no reflection reaches.
    EXPECT_EQ(specular_path_light(Point(2.5f, 1, -1), Point(0, 0, 1), nullptr), Color());
    // The searches that failed leave nothing behind: the same answer again.
    Color again = specular_path_light(P, down, nullptr);
    EXPECT_NEAR(again.x, c.x, 1e-4f);
    close_world(rt);
}

TEST(SpecularPaths, ARefractingPlaneOfIndexOneLetsTheLightThrough)
{
    // Light through the plane z = 0 of index 1 reaches a receiver below as
    // if nothing were there: 2 sqrt 2 from the light, at 45 degrees.
    RayTracer *rt = open_world();
    RiAttributeBegin();
    RtColor white = {1, 1, 1};
    float index = 1;
    RiAttribute(tok("radiosity"), "refractioncolor", white, "refractionindex", &index, RI_NULL);
    zonal("zonal_shoots");
    RiDisk(0, 2.9f, 360, RI_NULL);
    RiAttributeEnd();
    receiver(Point(2.5f, 1, -1), true);
    solve(rt);
    Color c = specular_path_light(Point(2.5f, 1, -1), Point(0, 0, 1), nullptr);
    EXPECT_NEAR(c.x, std::sqrt(0.5f) / 8, 0.002f);
    close_world(rt);
}
