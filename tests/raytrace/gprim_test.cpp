// The primitive base: linking, the generic shading-point fill, vertex
// variables, derivatives, instancing and the statistics text.
#include "raytrace/gprim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "raytrace/quadric.h"
#include "raytrace/ray.h"
#include "raytrace/raytracer.h"
#include "ri/declarations.h"
#include "ri/renderer.h"
#include "ri_common/ri.h"
#include "ri/stdtokens.h"

namespace {

class Prims : public ::testing::Test {
protected:
    void SetUp() override { RiBegin(nullptr); }
    void TearDown() override { RiEnd(); }
};

// A surface whose point is (u^2, v, 0): its derivatives tell the step used.
class Parabola : public GSurface {
public:
    Parabola() : GSurface(GP_CONTAINER) {}
    void eval_point(float u, float v, float, Point &P) override { P = Point(u * u, v, 0); }
};

// A shader parameter table with one float and one point.
class TwoParams : public ShaderParamLookup {
public:
    const char *shader_name() const override { return "test"; }
    bool find(RtToken name, int &type, int &howmany, int &offset) const override
    {
        howmany = 1;
        if (!std::strcmp(name, "Kx")) {
            type = DECL_FLOAT;
            offset = 0;
            return true;
        }
        if (!std::strcmp(name, "Pref")) {
            type = DECL_POINT;
            offset = 4;
            return true;
        }
        if (!std::strcmp(name, "Kc")) {
            type = DECL_COLOR;
            offset = 16;
            return true;
        }
        return false;
    }
};

std::string captured(void (*print)(FILE *))
{
    FILE *f = tmpfile();
    print(f);
    fflush(f);
    rewind(f);
    std::string s;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

Intersection *hit_sphere(GSphere &s, Point o, Point d)
{
    Ray r(o, d, 0, 0, 1, 0);
    IntersectionList l = s.intersect(r);
    l.sort();
    Intersection *h = l.dequeue();
    l.free_list();
    return h;
}

} // namespace

TEST_F(Prims, LinkingOrderAndExclusion)
{
    GSphere *a = new GSphere(1, -1, 1, 360), *b = new GSphere(1, -1, 1, 360), *c = new GSphere(1, -1, 1, 360);
    long spheres = gprim_type_counts[GP_SPHERE];
    GPrimitive *list = nullptr;
    a->link(&list, 1);
    b->link(&list, 1);
    EXPECT_EQ(list, b);   // new objects go in front
    EXPECT_EQ(b->next, a);
    EXPECT_EQ(gprim_type_counts[GP_SPHERE], spheres + 2);
    c->flags |= GPF_UNLINKED;
    c->link(&list, 1);
    EXPECT_EQ(list, b);
    EXPECT_EQ(gprim_type_counts[GP_SPHERE], spheres + 2);   // not counted either
    delete c;
    // The world bound covers the object bound through the transformation.
    EXPECT_LE(a->world_bound[0], -1);
    EXPECT_GE(a->world_bound[5], 1);
    free_object_list(list);
}

TEST_F(Prims, DerivativesStepBackwardsAtTheEdge)
{
    Parabola p;
    Point du, dv;
    p.eval_derivs(0.994f, 0.5f, 0, du, dv);
    EXPECT_NEAR(du.x, 0.994f + 0.999f, 1e-3f);   // forward difference
    p.eval_derivs(0.995f, 0.5f, 0, du, dv);
    EXPECT_NEAR(du.x, 0.995f + 0.990f, 1e-3f);   // backward difference
    EXPECT_NEAR(dv.y, 1, 1e-4f);
    Point n;
    p.eval_normal(0.5f, 0.5f, 0, n);
    EXPECT_GT(n.z, 0);
}

TEST_F(Prims, FillTakesAttributesAndVertexVariables)
{
    RtColor red = {1, 0, 0};
    RiColor(red);
    GSphere plain(1, -1, 1, 360);
    Intersection *h = hit_sphere(plain, Point(0, 0, -5), Point(0, 0, 1));
    ASSERT_NE(h, nullptr);
    plain.fill_hit(h);
    EXPECT_EQ(h->Cs, Color(1, 0, 0));
    EXPECT_EQ(h->Os, Color(1, 1, 1));
    EXPECT_EQ(h->Ns, h->Ng);
    EXPECT_EQ(h->s, h->u);
    EXPECT_EQ(h->finished, 1);
    EXPECT_EQ(h->has_user_verts, 0);
    h->release();

    // Varying colours over the four corners, texture coordinates, a user variable.
    GSphere dressed(1, -1, 1, 360);
    RtToken tokens[] = {(RtToken) "Cs", (RtToken) "st", (RtToken) "uniform float Kx"};
    RtColor cs[4] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    float st[8] = {0, 0, 2, 0, 0, 2, 2, 2};
    float kx = 7;
    RtPointer values[] = {cs, st, &kx};
    ASSERT_EQ(build_vertex_var_list(dressed.vertex_vars, 4, 4, 1, POSITION_NONE, 3, tokens, values), 0);
    h = hit_sphere(dressed, Point(0, 0, -5), Point(0, 0, 1));
    ASSERT_NE(h, nullptr);
    h->vars_used = VU_TEXCOORDS;
    dressed.fill_hit(h);
    EXPECT_NEAR(h->Cs.x, h->u, 1e-5f);
    EXPECT_NEAR(h->Cs.y, h->v, 1e-5f);
    EXPECT_NEAR(h->s, 2 * h->u, 1e-5f);
    EXPECT_NEAR(h->dsdu, 2, 1e-5f);
    EXPECT_NEAR(h->dtdv, 2, 1e-5f);
    EXPECT_EQ(h->has_user_verts, 1);

    // The user variable binds to the shader parameter of its name.
    char block[28] = {};
    dressed.bind_vertex_vars(TwoParams(), block, 0, 0.5f, 0.5f);
    float bound;
    std::memcpy(&bound, block, 4);
    EXPECT_EQ(bound, 7);
    h->release();
}

TEST_F(Prims, BindingRefusesMismatchedTypes)
{
    RiErrorHandler(RiErrorIgnore);
    GSphere s(1, -1, 1, 360);
    RtToken tokens[] = {(RtToken) "uniform point Kx", (RtToken) "vertex point Pref"};
    float p1[3] = {1, 2, 3}, p4[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
    RtPointer values[] = {p1, p4};
    ASSERT_EQ(build_vertex_var_list(s.vertex_vars, 4, 4, 1, POSITION_NONE, 2, tokens, values), 0);
    char block[28] = {};
    std::memset(block, 0x55, sizeof block);
    s.bind_vertex_vars(TwoParams(), block, 0, 0.5f, 0.5f);
    // Kx is a float in the shader: left alone.
    EXPECT_EQ((unsigned char)block[0], 0x55);
    // Pref is interpolated at (0.5, 0.5) and taken to world space (the identity here).
    float pref[3];
    std::memcpy(pref, block + 4, sizeof pref);
    EXPECT_NEAR(pref[0], 0.5f, 1e-6f);
    EXPECT_NEAR(pref[1], 0.5f, 1e-6f);
    EXPECT_NEAR(pref[2], 0, 1e-6f);
    RiErrorHandler(RiErrorPrint);
}

TEST_F(Prims, InstancesAreIndependentCopies)
{
    RiAttributeBegin();
    RtToken tokens[] = {(RtToken) "Cs"};
    RtColor cs[4] = {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}};
    RtPointer values[] = {cs};
    GSphere *s = new GSphere(1, -1, 1, 360);
    build_vertex_var_list(s->vertex_vars, 4, 4, 1, POSITION_NONE, 1, tokens, values);
    RiAttributeEnd();
    GObjInstance definition;
    definition.instantiate(s, 0);
    EXPECT_EQ(definition.master, s);

    // Two instances under different transformations land in the scene list.
    RayTracer *rt = RayTracer::current();
    ASSERT_NE(rt, nullptr);
    for (int i = 0; i < 2; i++) {
        RiTransformBegin();
        RiTranslate(10.0f * (i + 1), 0, 0);
        GObjInstance temp;
        temp.instantiate(definition.master, 1);
        RiTransformEnd();
    }
    ASSERT_NE(rt->world_objects, nullptr);
    GSurface *b = static_cast<GSurface *>(rt->world_objects);
    ASSERT_NE(b->next, nullptr);
    GSurface *a = static_cast<GSurface *>(b->next);
    EXPECT_NEAR(a->world_bound[0], 9, 0.1f);
    EXPECT_NEAR(b->world_bound[0], 19, 0.1f);
    // Deep copies of the vertex variables.
    ASSERT_NE(a->vertex_vars.head, nullptr);
    EXPECT_NE(a->vertex_vars.head->data, s->vertex_vars.head->data);
    EXPECT_NE(a->vertex_vars.head->data, b->vertex_vars.head->data);
    free_object_list(rt->world_objects);
    rt->world_objects = nullptr;
}

TEST_F(Prims, GeometryStatisticsText)
{
    GSphere *s = new GSphere(1, -1, 1, 360);
    GPrimitive *list = nullptr;
    s->link(&list, 1);
    std::string text = captured(print_geometry_stats);
    EXPECT_EQ(text.rfind("Geometry:\n", 0), 0u);
    EXPECT_NE(text.find(" spheres ("), std::string::npos);
    EXPECT_NE(text.find(" total gprims   ("), std::string::npos);
    EXPECT_NE(text.find("Vertex vector stats:"), std::string::npos);
    EXPECT_NE(text.find("  Hier bounds: "), std::string::npos);
    EXPECT_NE(text.find("   bound size = 52\n"), std::string::npos);
    free_object_list(list);
}

TEST_F(Prims, RayStatisticsText)
{
    ray_stats().shadow_rays = 4;
    ray_stats().shadow_obscured = 1;
    count_ray(0);
    count_ray(2);
    std::string text = captured(print_ray_stats);
    EXPECT_EQ(text.rfind("Ray tracing:\n", 0), 0u);
    EXPECT_NE(text.find(" total rays traced:\n"), std::string::npos);
    EXPECT_NE(text.find(" primary rays "), std::string::npos);
    EXPECT_NE(text.find(" bounce 2 rays\n"), std::string::npos);
    EXPECT_NE(text.find("         4 shadow rays cast, 25.00% obscured.\n"), std::string::npos);
    EXPECT_NE(text.find(" intersection tests performed, of which "), std::string::npos);
    EXPECT_NE(text.find("  Max potential hit heap size: "), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
}
