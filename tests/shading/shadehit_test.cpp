// Shading of hits on real objects: shaders run through the interpreter or as
// native functions, lights, compositing and shadow rays.
#include <gtest/gtest.h>

#include <cmath>

#include "raytrace/hierarchy.h"
#include "raytrace/quadric.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "raytrace/shade_hits.h"
#include "raytrace/surface_hooks.h"
#include "ri/renderer.h"
#include "ri/tokens.h"
#include "shading/illum.h"
#include "shading/lightsource.h"
#include "shading/shadehit.h"
#include "tests/shading/shader_support.h"

namespace {

struct Runs {
    int surface = 0, displacement = 0, atmosphere = 0, neighbour = 0;
    float last_du = 0;
} runs;

// Ci = Cs x Os, Oi = Os: the object's colour and opacity.
int colour_surface(ShaderVars *sv, char *)
{
    runs.surface++;
    if (sv->whichdisp) runs.neighbour++;
    sv->Ci = sv->Cs * sv->Os;
    sv->Oi = sv->Os;
    sv->Ps = Point(99, 99, 99);   // given back after the run
    runs.last_du = sv->shade_du;
    return 1;
}

int bumping_displacement(ShaderVars *sv, char *)
{
    runs.displacement++;
    sv->Ns = Point(0, 1, 0);
    return 1;
}

int fog_atmosphere(ShaderVars *sv, char *)
{
    runs.atmosphere++;
    sv->Ci = sv->Ci * 0.5f;
    return 1;
}

// A light at the origin of its space with colour (1, 1, 1) times "intensity".
int point_light(ShaderVars *sv, char *params)
{
    float k = *reinterpret_cast<float *>(params);
    sv->L = sv->Ps - sv->Pl;
    sv->Cl = Color(k, k, k);
    return 1;
}

PARAM_INFO light_rows[4];

void register_shaders()
{
    static bool done = false;
    if (done) return;
    done = true;
    register_shader("t_colour", colour_surface, nullptr, nullptr, nullptr, SH_SURFACE);
    register_shader("t_neighbours", colour_surface, nullptr, nullptr, nullptr, SH_SURFACE)->flags =
        VU_NEIGHBOURS;
    register_shader("t_bump", bumping_displacement, nullptr, nullptr, nullptr, SH_DISPLACEMENT);
    register_shader("t_fog", fog_atmosphere, nullptr, nullptr, nullptr, SH_VOLUME);
    light_rows[0] = {NewToken("intensity"), PtFLOAT, 2, 0, 0, 1, 4, 0, nullptr, nullptr};
    light_rows[1] = {NewToken("__nondiffuse"), PtFLOAT, 2, 0, 0, 1, 4, 4, nullptr, nullptr};
    light_rows[2] = {NewToken("__nonspecular"), PtFLOAT, 2, 0, 0, 1, 4, 8, nullptr, nullptr};
    light_rows[3] = {nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr};
    float defaults[3] = {1, 0, 0};
    for (const char *name : {"t_point", "bouncer_t"}) {
        Shader *s = register_shader(name, point_light, nullptr, light_rows, defaults, SH_LIGHT);
        s->flags = VU_ILLUMINATE;
    }
}

class Shading : public testing::Test {
protected:
    void SetUp() override
    {
        register_shaders();
        RiBegin(nullptr);
        runs = Runs();
        RtString path = dir.path().c_str();
        RiOption("searchpath", "shader", &path, RI_NULL);
    }
    void TearDown() override
    {
        free_object_list(list);
        RiEnd();
        light_list().free_to(nullptr);
    }
    // A unit sphere at (0, 0, z) under the current attributes plus an opacity.
    GSphere *sphere_at(float z, float opacity = 1)
    {
        RiAttributeBegin();
        RtColor o = {opacity, opacity, opacity};
        RiOpacity(o);
        RiTranslate(0, 0, z);
        GSphere *s = new GSphere(1, -1, 1, 360);
        RiAttributeEnd();
        s->link(&list, 1);
        return s;
    }
    // The hits of a ray from the origin along +z with the sphere, sorted.
    IntersectionList hits_of(GPrimitive *o, const Ray &r) { return const_cast<Ray &>(r).intersect_object(o); }
    velktest::TempDir dir;
    GPrimitive *list = nullptr;
};

} // namespace

TEST_F(Shading, TextShaderColoursTheHit)
{
    dir.write("red.murn", "version VELK 2.5.0g\nsurface red\ncode\n\tpushiv\t1 0 0\n\tpopc\tCi \n\treturn\n");
    RiSurface("red", RI_NULL);
    GSphere *s = sphere_at(5);
    Ray r(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
    IntersectionList l = hits_of(s, r);
    ASSERT_GE(l.size(), 1);
    Intersection *h = l.head();
    EXPECT_EQ(shade_hit(h, r), 1.0f);
    EXPECT_EQ(h->Ci, Color(1, 0, 0));
    EXPECT_EQ(h->Oi, Color(1, 1, 1));
    EXPECT_NEAR(h->Ps.z, 4, 1e-5);
    EXPECT_NEAR(h->dist, 4, 1e-5);
    EXPECT_EQ(r.alpha, 1.0f);
    EXPECT_EQ(h->paramblock[0], nullptr);
    l.free_list();

    // A shader that stores into its parameter sees the bound value at every point.
    dir.write("spend.murn", "version VELK 2.5.0g\nsurface spend\nparam\tfloat\tk\t\t1\ncode\n\tpushf\tk \n"
                            "\tpushf\tk \n\tpushf\tk \n\tpopc\tCi \n\tpushif\t0.25\n\tpopf\tk \n\treturn\n");
    RiSurface("spend", RI_NULL);
    GSphere *spend = sphere_at(5);
    for (int i = 0; i < 2; ++i) {
        Ray again(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
        l = hits_of(spend, again);
        ASSERT_GE(l.size(), 1);
        shade_hit(l.head(), again);
        EXPECT_EQ(l.head()->Ci, Color(1, 1, 1)) << "run " << i;
        l.free_list();
    }
}

TEST_F(Shading, MatteBackFacesAndReuse)
{
    RiSurface("t_colour", RI_NULL);
    RiMatte(1);
    GSphere *matte = sphere_at(5);
    RiMatte(0);
    Ray camera(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
    camera.depth = 4;
    IntersectionList l = hits_of(matte, camera);
    Intersection *h = l.head();
    EXPECT_EQ(shade_hit(h, camera), 1.0f);
    EXPECT_EQ(h->ismatte, 1);
    EXPECT_EQ(h->Oi, Color(0, 0, 0));
    EXPECT_EQ(camera.alpha, 0.0f);
    EXPECT_EQ(runs.surface, 0);
    l.free_list();
    // A reflection ray shades the matte object.
    Ray bounce(Point(0, 0, 0), Point(0, 0, 1), 0, 1, 1, 0);
    l = hits_of(matte, bounce);
    EXPECT_EQ(shade_hit(l.head(), bounce), 1.0f);
    EXPECT_EQ(runs.surface, 1);
    l.free_list();

    // One-sided: the far wall of a sphere seen from inside is transparent.
    RiSides(1);
    GSphere *inside = sphere_at(0);
    Ray out(Point(0, 0, 0), Point(0, 0, 1), 0, 1, 1, 0);
    l = hits_of(inside, out);
    Intersection *far = l.head();
    while (far && far->linet < 0) far = far->next;
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(shade_hit(far, out), 0.0f);
    EXPECT_EQ(far->Oi, Color(0, 0, 0));
    l.free_list();

    // A reuse hint takes the previous colour without shading.
    RiSides(2);
    GSphere *s = sphere_at(9);
    Ray hinted(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
    hinted.set_likely_hit(Color(0.25f, 0.5f, 0.75f), Color(1, 1, 1));
    int before = runs.surface;
    l = hits_of(s, hinted);
    shade_hit(l.head(), hinted);
    EXPECT_EQ(l.head()->Ci, Color(0.25f, 0.5f, 0.75f));
    EXPECT_EQ(runs.surface, before);
    l.free_list();
}

TEST_F(Shading, DisplacementSurfaceAtmosphereAndNeighbours)
{
    RiSurface("t_neighbours", RI_NULL);
    RiDisplacement("t_bump", RI_NULL);
    RiAtmosphere("t_fog", RI_NULL);
    current_renderer->options.prepare_world(current_renderer->transformation);
    GSphere *s = sphere_at(5);
    Ray camera(Point(0, 0, 0), Point(0, 0, 1), 0, 0, 1, 0);
    IntersectionList l = hits_of(s, camera);
    Intersection *h = l.head();
    shade_hit(h, camera);
    // Displacement and surface each on the two neighbours and the point.
    EXPECT_EQ(runs.displacement, 3);
    EXPECT_EQ(runs.surface, 3);
    EXPECT_EQ(runs.neighbour, 2);
    EXPECT_EQ(runs.atmosphere, 1);
    EXPECT_EQ(h->Ns, Point(0, 1, 0));
    EXPECT_NEAR(h->Ps.z, 4, 1e-5);   // P is given back after each run
    EXPECT_EQ(h->Ci, Color(0.5f, 0.5f, 0.5f));
    EXPECT_GT(runs.last_du, 0.0f);
    l.free_list();
    // No atmosphere on other rays.
    Ray bounce(Point(0, 0, 0), Point(0, 0, 1), 0, 1, 1, 0);
    l = hits_of(s, bounce);
    shade_hit(l.head(), bounce);
    EXPECT_EQ(runs.atmosphere, 1);
    EXPECT_EQ(l.head()->Ci, Color(1, 1, 1));
    l.free_list();
}

TEST_F(Shading, IlluminationRoutines)
{
    RiTranslate(0, 0, 10);
    RtLightHandle light = RiLightSource("t_point", RI_NULL);
    ASSERT_NE(light, nullptr);
    RiIdentity();
    ShadingPoint sv;
    sv.surf = current_renderer->attributes;
    sv.doillum = 1;
    sv.shade_index = 77;
    Point P(0, 0, 0), N(0, 0, 1), V(0, 0, 1);
    Color C;
    diffuse(P, N, C, &sv);
    EXPECT_NEAR(C.x, 1, 1e-6);
    specular(P, N, V, 0.1f, C, &sv);
    EXPECT_NEAR(C.x, 1, 1e-6);
    phong(P, N, V, 10, C, &sv);
    EXPECT_NEAR(C.x, 1, 1e-6);
    // Roughness 0 never gives NaN.
    specular(P, N, V, 0, C, &sv);
    EXPECT_EQ(C.x, 1.0f);
    specular(P, N, normalize(Point(0, 1, 1)), 0, C, &sv);
    EXPECT_EQ(C.x, 0.0f);
    // Lit from behind: nothing.
    diffuse(P, Point(0, 0, -1), C, &sv);
    EXPECT_EQ(C.x, 0.0f);
    // Not in the point's light set: nothing.
    RiIlluminate(light, 0);
    sv.surf = current_renderer->attributes;
    diffuse(P, N, C, &sv);
    EXPECT_EQ(C.x, 0.0f);
    RiIlluminate(light, 1);
    sv.surf = current_renderer->attributes;
    // __nondiffuse and __nonspecular take a light out.
    RtFloat one = 1;
    RiTranslate(0, 0, 10);
    RiLightSource("t_point", "uniform float __nondiffuse", &one, "uniform float __nonspecular", &one, RI_NULL);
    sv.surf = current_renderer->attributes;
    sv.shade_index++;
    diffuse(P, N, C, &sv);
    EXPECT_NEAR(C.x, 1, 1e-6);
    specular(P, N, V, 0.1f, C, &sv);
    EXPECT_NEAR(C.x, 1, 1e-6);
    // Shadow shading and neighbour points get no light.
    sv.shade_task = SHADE_TASK_SHADOW;
    diffuse(P, N, C, &sv);
    EXPECT_EQ(C.x, 0.0f);
}

TEST(SafePow, EdgeCases)
{
    EXPECT_FLOAT_EQ(safe_powf(2, 3), 8);
    EXPECT_EQ(safe_powf(0.5f, 200), 0.0f);
    EXPECT_EQ(safe_powf(1, INFINITY), 1.0f);
    EXPECT_EQ(safe_powf(0.5f, INFINITY), 0.0f);
    EXPECT_EQ(safe_powf(-2, 3), -8.0f);
    EXPECT_EQ(safe_powf(-2, 0.5f), 0.0f);
    EXPECT_EQ(safe_powf(0, 2), 0.0f);
}

TEST_F(Shading, TransmissionThroughOccluders)
{
    RiSurface("t_colour", RI_NULL);
    sphere_at(5, 0.25f);
    RayTracer::current()->frame_objects = list;
    Color result;
    transmission(Point(0, 0, 1), Point(0, 0, 0), 0, 0.5f, result, 20, nullptr);
    EXPECT_NEAR(result.x, 0.75f * 0.75f, 1e-5);   // in and out of the sphere
    sphere_at(12);
    RayTracer::current()->frame_objects = list;
    unsigned long obscured = ray_stats().shadow_obscured;
    transmission(Point(0, 0, 1), Point(0, 0, 0), 0, 0.5f, result, 20, nullptr);
    EXPECT_EQ(result, Color(0, 0, 0));
    EXPECT_EQ(ray_stats().shadow_obscured, obscured + 1);
    // Short of the occluder: nothing in the way.
    transmission(Point(0, 0, 1), Point(0, 0, 0), 0, 0.5f, result, 3.5f, nullptr);
    EXPECT_EQ(result, Color(1, 1, 1));
    RayTracer::current()->frame_objects = nullptr;
}

TEST_F(Shading, BouncerAndSpecularModel)
{
    RiTranslate(0, 0, 10);
    Shader *point = find_shader("t_point");
    LightSource *bouncer = new LightSource(point, LIGHT_BOUNCER);
    RiIdentity();
    ShadingPoint sv;
    sv.surf = current_renderer->attributes;
    sv.doillum = 1;
    Color C;
    // Facing away from the light: only the bouncer's light, unweighted.
    diffuse(Point(0, 0, 0), Point(0, 0, -1), C, &sv);
    EXPECT_EQ(C, Color(1, 1, 1));
    phong(Point(0, 0, 0), Point(0, 0, -1), Point(0, 0, -1), 10, C, &sv);
    EXPECT_EQ(C, Color(1, 1, 1));
    light_list().free_to(bouncer->prev);

    RiTranslate(0, 0, 10);
    RiLightSource("t_point", RI_NULL);
    RiIdentity();
    sv.surf = current_renderer->attributes;
    Point N(0, 0, 1), V = normalize(Point(0, 0.3f, 1));
    float c = dot(N, normalize(Point(0, 0, 1) + V));
    specular(Point(0, 0, 0), N, V, 0.5f, C, &sv);   // "prmanspecular" on: 0.05
    EXPECT_NEAR(C.x, std::pow(c, 20.0f), 1e-5);
    RtInt off = 0;
    RiOption("render", "prmanspecular", &off, RI_NULL);
    specular(Point(0, 0, 0), N, V, 0.5f, C, &sv);
    EXPECT_NEAR(C.x, std::pow(c, 2.0f), 1e-5);
}

TEST_F(Shading, ShadowBiasGrowsWithDistanceUpToTheLimit)
{
    RiSurface("t_colour", RI_NULL);
    Options &o = current_renderer->options;
    o.eff_xres = 1;
    o.screen[0] = 0;
    o.screen[1] = 1;
    o.eye = Point(0, 0, -1e6f);   // far from every shadow ray: the largest bias
    // The occluder's near wall lies 0.1 from the ray's start: within the bias.
    sphere_at(1.1f);
    RayTracer::current()->frame_objects = list;
    Color result;
    transmission(Point(0, 0, 1), Point(0, 0, 0), 0, 0.5f, result, 1.15f, nullptr);
    EXPECT_EQ(result, Color(1, 1, 1));
    o.eye = Point(0, 0, 0);   // from the eye: the smallest bias
    transmission(Point(0, 0, 1), Point(0, 0, 0), 0, 0.5f, result, 1.15f, nullptr);
    EXPECT_EQ(result, Color(0, 0, 0));
    RayTracer::current()->frame_objects = nullptr;
}

TEST_F(Shading, AreaLightSamplesItsSurfaces)
{
    RtInt four = 4;
    RiAttributeBegin();
    RiAttribute("light", "nsamples", &four, RI_NULL);
    RiTranslate(0, 0, 10);
    LightSource *area = static_cast<LightSource *>(RiAreaLightSource("t_point", RI_NULL));
    ASSERT_NE(area, nullptr);
    GSphere *bulb = new GSphere(1, -1, 1, 360);
    RiAttributeEnd();
    bulb->link(&list, 1);
    EXPECT_EQ(area->npieces, 1);
    EXPECT_EQ(area->pieces[0], bulb);
    EXPECT_TRUE(light_set_has_area_light(bulb->attributes()));
    EXPECT_FALSE(light_set_has_area_light(current_renderer->attributes.get()));

    ShadingPoint sv;
    sv.surf = bulb->attrs;
    LightSourceListWalker w;
    int visits = 0;
    for (w.start(light_list(), &sv, 0); !w.end(); w.step()) {
        w.call_shader(Point(0, 0, 0), Point(0, 0, 1), 0, 1, &sv);
        EXPECT_NEAR((sv.Pl - Point(0, 0, 10)).length(), 1, 1e-4);
        EXPECT_LE(sv.Cl.x, 0.25f + 1e-6f);   // the sample weight times the cosine
        visits++;
    }
    EXPECT_EQ(visits, 4);
}
