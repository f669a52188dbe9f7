#include <gtest/gtest.h>

#include <cmath>

#include "raytrace/gprim.h"
#include "ri/renderer.h"
#include "shading/illum.h"
#include "shading/lightmath.h"
#include "shading/lightsource.h"
#include "shading/slstack.h"
#include "tests/shading/sl_support.h"

using sltest::param_triple;

namespace {

// A world with lights made from shaders written for the test, and a surface
// point at the origin facing +z whose attribute state they light.
class LightOps : public testing::Test {
protected:
    velktest::TempDir dir;
    Intersection sv;
    int shade_index = 1000;

    void SetUp() override
    {
        light_list().free_to(nullptr);
        RiBegin(nullptr);
        RiWorldBegin();
        sltest::compile(dir, "pointl",
            "light pointl(color lightcolor = color(1, 0.5, 0.25); point from = point \"shader\" (0, 0, 0))\n"
            "{ illuminate(from) Cl = lightcolor; }\n");
        sltest::compile(dir, "spotl",
            "light spotl(color lightcolor = 1; point from = point \"shader\" (0, 0, 0);\n"
            "            vector axis = vector \"shader\" (0, 0, -1); float angle = 0.3;\n"
            "            string __category = \"spec,key\")\n"
            "{ illuminate(from, axis, angle) Cl = lightcolor; }\n");
        sltest::compile(dir, "sunl",
            "light sunl(color lightcolor = color(0, 1, 0); vector dir = vector(0, 0, -1))\n"
            "{ solar(dir, 0) Cl = lightcolor; }\n");
        sltest::compile(dir, "skyl",
            "light skyl(color lightcolor = color(0, 0, 1)) { solar() Cl = lightcolor; }\n");
    }
    void TearDown() override
    {
        current_renderer->options.render_enabled = 0;   // nothing to render
        RiWorldEnd();
        RiEnd();
        light_list().free_to(nullptr);
    }
    // A light of the shader placed at height z above the origin.
    RtLightHandle light_at(const char *shader, float z)
    {
        RiTransformBegin();
        RiTranslate(0, 0, z);
        RtLightHandle h = RiLightSource(const_cast<char *>(shader), RI_NULL);
        RiTransformEnd();
        return h;
    }
    void prepare_point()
    {
        sv.surf = current_renderer->attributes;
        sv.Ps = Point(0, 0, 0);
        sv.Ns = sv.Ng = Point(0, 0, 1);
        sv.I = Point(0, 0, -1);
        sv.doillum = 1;
        sv.shade_index = ++shade_index;
    }
    // Runs a surface shader on the point and answers what it printed.
    std::string run_printing(Shader *s)
    {
        prepare_point();
        int depth = slstack.depth(), sdepth = slstack.string_depth();
        testing::internal::CaptureStdout();
        shadertest::run(s, sv);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(slstack.depth(), depth);
        EXPECT_EQ(slstack.string_depth(), sdepth);
        return out;
    }
};

} // namespace

TEST_F(LightOps, IlluminanceVisitsTheLightsOfThePoint)
{
    light_at("pointl", 5);
    RtLightHandle below = light_at("pointl", -5);
    Shader *s = sltest::compile(dir, "loop1",
        "surface loop1() { illuminance(P) { printf(\"%c|%v;\", Cl, L); } }\n");
    ASSERT_NE(s, nullptr);
    // Newest light first; L points from the surface to the light.
    EXPECT_EQ(run_printing(s), "1 0.5 0.25|-0 -0 -5;1 0.5 0.25|-0 -0 5;");

    // The hemisphere above the surface: the light below is visited but does
    // not reach the point.
    Shader *h = sltest::compile(dir, "loop2",
        "surface loop2() { illuminance(P, N, 1.5707964) { printf(\"%c;\", Cl); } }\n");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(run_printing(h), "0 0 0;1 0.5 0.25;");

    // A light switched off in the point's attributes is not visited; nor is
    // any light when the point may not be lit.
    RiAttributeBegin();
    RiIlluminate(below, 0);
    EXPECT_EQ(run_printing(s), "1 0.5 0.25|-0 -0 5;");
    RiAttributeEnd();
    prepare_point();
    sv.doillum = 0;
    testing::internal::CaptureStdout();
    int depth = slstack.depth();
    shadertest::run(s, sv);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(slstack.depth(), depth);
}

TEST_F(LightOps, CategoriesConesAndSolar)
{
    light_at("pointl", 5);
    light_at("spotl", 5);
    Shader *cat = sltest::compile(dir, "catloop",
        "surface catloop() {\n"
        "    illuminance(\"key\", P) { printf(\"key %c;\", Cl); }\n"
        "    illuminance(\"-spec\", P, N, 1.5707964) { printf(\"other %c;\", Cl); }\n"
        "}\n");
    ASSERT_NE(cat, nullptr);
    EXPECT_EQ(run_printing(cat), "key 1 1 1;other 1 0.5 0.25;");
    // Off the spot's axis by more than its angle: no light.
    Shader *plain = sltest::compile(dir, "plainloop",
        "surface plainloop() { illuminance(\"spec\", P) { printf(\"%c;\", Cl); } }\n");
    ASSERT_NE(plain, nullptr);
    prepare_point();
    sv.Ps = Point(3, 0, 0);
    testing::internal::CaptureStdout();
    shadertest::run(plain, sv);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "0 0 0;");

    RiAttributeBegin();
    RiIlluminate(light_list().head, 0);
    RiIlluminate(light_list().head->prev, 0);
    RiLightSource(const_cast<char *>("sunl"), RI_NULL);
    RiLightSource(const_cast<char *>("skyl"), RI_NULL);
    Shader *sun = sltest::compile(dir, "sunloop",
        "surface sunloop(vector down = vector(0, 0, -1)) {\n"
        "    illuminance(P, N, 1.5707964) { printf(\"up %c|%v;\", Cl, L); }\n"
        "    illuminance(P, down, 1.5707964) { printf(\"down %c;\", Cl); }\n"
        "}\n");
    ASSERT_NE(sun, nullptr);
    // solar() shines along the mirror of I about the facing normal.
    EXPECT_EQ(run_printing(sun), "up 0 0 1|0 0 1;up 0 1 0|-0 -0 1;down 0 0 0;down 0 0 0;");
    RiAttributeEnd();
}

TEST_F(LightOps, IlluminationBuiltIns)
{
    light_at("pointl", 5);
    Shader *s = sltest::compile(dir, "builtins",
        "surface builtins(vector V = vector(0, 0, 1); output color d = -1, sp = -1, ph = -1, am = -1,\n"
        "                 brdf = -1) {\n"
        "    d = diffuse(N); sp = specular(N, V, 0.5); ph = phong(N, V, 10); am = ambient();\n"
        "    brdf = specularbrdf(vector(0, 0, 1), N, vector(0, 0, 1), 0.5);\n"
        "}\n");
    ASSERT_NE(s, nullptr);
    prepare_point();
    auto block = shadertest::run(s, sv);
    EXPECT_EQ(param_triple(s, block, "d"), Color(1, 0.5f, 0.25f));   // straight overhead
    EXPECT_EQ(param_triple(s, block, "sp"), Color(1, 0.5f, 0.25f));
    EXPECT_EQ(param_triple(s, block, "ph"), Color(1, 0.5f, 0.25f));
    EXPECT_EQ(param_triple(s, block, "am"), Color(0, 0, 0));          // no ambient light
    EXPECT_EQ(param_triple(s, block, "brdf"), Color(1, 1, 1));
    prepare_point();
    sv.doillum = 0;
    block = shadertest::run(s, sv);
    EXPECT_EQ(param_triple(s, block, "ph"), Color(0, 0, 0));
    EXPECT_EQ(param_triple(s, block, "d"), Color(0, 0, 0));
}
