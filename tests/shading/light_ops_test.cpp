#include <gtest/gtest.h>

#include "ri/renderer.h"
#include "shading/lightsource.h"
#include "shading_shaderfile/varsused.h"
#include "shading_shaderfile/slstack.h"
#include "tests/shading/sl_support.h"

namespace {

// A native light overhead at z = 5 that says it does not reach points with
// x > 1 (leaving a colour and a direction all the same).
int native_light(ShaderVars *sv, char *)
{
    sv->L = sv->Ps - Point(0, 0, 5);
    sv->Cl = Color(0, 0, 1);
    return sv->Ps.x > 1 ? 0 : 1;
}

// A world with lights written for the test, and a surface point at the
// origin facing +z that they light. Loop bodies print what they see.
class LightOps : public testing::Test {
protected:
    velktest::TempDir dir;
    ShadingPoint sv;
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
            "light spotl(point from = point \"shader\" (0, 0, 0); vector axis = vector \"shader\" (0, 0, -1);\n"
            "            string __category = \"spec,key\") { illuminate(from, axis, 0.3) Cl = color(1, 1, 1); }\n");
        sltest::compile(dir, "sunl", "light sunl() { solar(vector(0, 0, -1), 0) Cl = color(0, 1, 0); }\n");
        sltest::compile(dir, "skyl", "light skyl() { solar() Cl = color(0, 0, 1); }\n");
    }
    void TearDown() override
    {
        current_renderer->options.render_enabled = 0;   // nothing to render
        RiWorldEnd();
        RiEnd();
        light_list().free_to(nullptr);
    }
    RtLightHandle light_at(const char *shader, float z)
    {
        RiTransformBegin();
        RiTranslate(0, 0, z);
        RtLightHandle h = RiLightSource(const_cast<char *>(shader), RI_NULL);
        RiTransformEnd();
        return h;
    }
    std::string run_printing(Shader *s, const Point &P = Point(0, 0, 0), int doillum = 1)
    {
        sv.surf = current_renderer->attributes;
        sv.Ps = P;
        sv.Ns = sv.Ng = Point(0, 0, 1);
        sv.I = Point(0, 0, -1);
        sv.doillum = doillum;
        sv.shade_index = ++shade_index;
        int depth = slstack.depth(), sdepth = slstack.string_depth();
        testing::internal::CaptureStdout();
        shadertest::run(s, sv);
        EXPECT_EQ(slstack.depth(), depth);
        EXPECT_EQ(slstack.string_depth(), sdepth);
        return testing::internal::GetCapturedStdout();
    }
};

} // namespace

TEST_F(LightOps, IlluminanceVisitsTheLightsOfThePoint)
{
    light_at("pointl", 5);
    RtLightHandle below = light_at("pointl", -5);
    sltest::compile(dir, "ambl", "light ambl() { Cl = color(9, 9, 9); }\n");
    light_at("ambl", 1);   // an ambient light: never visited
    Shader *s = sltest::compile(dir, "loop1", "surface loop1() { illuminance(P) { printf(\"%c|%v;\", Cl, L); } }\n");
    Shader *h = sltest::compile(dir, "loop2",
        "surface loop2() { illuminance(P, N, 1.5707964) { printf(\"%c;\", Cl); } }\n");
    ASSERT_TRUE(s && h);
    // Newest light first; L points from the surface to the light.
    EXPECT_EQ(run_printing(s), "1 0.5 0.25|-0 -0 -5;1 0.5 0.25|-0 -0 5;");
    // The hemisphere above: the light below lies outside it and is skipped.
    EXPECT_EQ(run_printing(h), "1 0.5 0.25;");
    // A light switched off for the point is not visited; nothing is when the
    // point may not be lit.
    RiAttributeBegin();
    RiIlluminate(below, 0);
    EXPECT_EQ(run_printing(s), "1 0.5 0.25|-0 -0 5;");
    RiAttributeEnd();
    EXPECT_EQ(run_printing(s, Point(0, 0, 0), 0), "");
}

TEST_F(LightOps, CategoriesConesAndSolar)
{
    light_at("pointl", 5);
    light_at("spotl", 5);
    Shader *cat = sltest::compile(dir, "catloop",
        "surface catloop() { illuminance(\"key\", P) { printf(\"key %c;\", Cl); }\n"
        "    illuminance(\"-spec\", P, N, 1.5707964) { printf(\"other %c;\", Cl); } }\n");
    ASSERT_NE(cat, nullptr);
    EXPECT_EQ(run_printing(cat), "key 1 1 1;other 1 0.5 0.25;");
    // Off the spot's axis by more than its angle: the spot does not reach the point.
    EXPECT_EQ(run_printing(cat, Point(3, 0, 0)), "other 1 0.5 0.25;");

    RiAttributeBegin();
    RiIlluminate(light_list().head, 0);
    RiIlluminate(light_list().head->prev, 0);
    RiLightSource(const_cast<char *>("sunl"), RI_NULL);
    RiLightSource(const_cast<char *>("skyl"), RI_NULL);
    Shader *sun = sltest::compile(dir, "sunloop",
        "surface sunloop(vector down = vector(0, 0, -1)) {\n"
        "    illuminance(P, N, 1.5707964) { printf(\"up %c|%v;\", Cl, L); }\n"
        "    illuminance(P, down, 1.5707964) { printf(\"down %c;\", Cl); } }\n");
    ASSERT_NE(sun, nullptr);
    // solar() shines along the mirror of I about the facing normal; neither
    // light lies in the hemisphere below.
    EXPECT_EQ(run_printing(sun), "up 0 0 1|0 0 1;up 0 1 0|-0 -0 1;");
    RiAttributeEnd();
}

TEST_F(LightOps, ASpreadingSolarLightCountsWhereItsSpreadMeetsTheCone)
{
    // Arriving from 107 degrees off N, spreading by 29: it reaches the hemisphere above.
    sltest::compile(dir, "spreadl", "light spreadl() { solar(vector(1, 0, 0.3), 0.5) Cl = color(1, 0, 0); }\n");
    RiLightSource(const_cast<char *>("spreadl"), RI_NULL);
    Shader *s = sltest::compile(dir, "spreadloop",
        "surface spreadloop(vector down = vector(0, 0, -1)) {\n"
        "    illuminance(P, N, 1.5707964) { printf(\"up %c;\", Cl); }\n"
        "    illuminance(P, down, 1.5707964) { printf(\"down %c;\", Cl); } }\n");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(run_printing(s), "up 1 0 0;down 1 0 0;");
}

TEST_F(LightOps, PhongIsBlackWhereThePointMayNotBeLit)
{
    light_at("pointl", 5);
    Shader *s = sltest::compile(dir, "builtins",
        "surface builtins(vector V = vector(0, 0, 1)) { printf(\"%c %c;\", diffuse(N), phong(N, V, 10)); }\n");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(run_printing(s), "1 0.5 0.25 1 0.5 0.25;");   // straight overhead
    EXPECT_EQ(run_printing(s, Point(0, 0, 0), 0), "0 0 0 0 0 0;");
}

TEST_F(LightOps, OnlyLightsThatReachThePointAreVisited)
{
    light_at("pointl", 5);
    // Overhead but aimed away; its colour is set outside the statement.
    sltest::compile(dir, "awayl",
        "light awayl() { Cl = color(1, 0, 0);\n"
        "    illuminate(point \"shader\" (0, 0, 0), vector \"shader\" (0, 0, 1), 0.3) Cl = color(0, 1, 0); }\n");
    light_at("awayl", 5);
    static PARAM_INFO no_params[1] = {};
    if (!find_shader("nativel")) register_shader("nativel", native_light, nullptr, no_params, nullptr, SH_LIGHT);
    find_shader("nativel")->flags |= VU_ILLUMINATE;
    RiLightSource(const_cast<char *>("nativel"), RI_NULL);
    Shader *s = sltest::compile(dir, "reached",
        "surface reached(vector V = vector(0, 0, 1)) {\n"
        "    illuminance(P) { printf(\"%c;\", Cl); }\n"
        "    illuminance(P, N, 1.5707964) { printf(\"cone %c;\", Cl); }\n"
        "    printf(\"%c|%c|%c\", diffuse(N), specular(N, V, 0.1), phong(N, V, 10)); }\n");
    ASSERT_NE(s, nullptr);
    // Overhead the point and native lights each give their colour to all three built-ins.
    EXPECT_EQ(run_printing(s), "0 0 1;1 0.5 0.25;cone 0 0 1;cone 1 0.5 0.25;"
                               "1 0.5 1.25|1 0.5 1.25|1 0.5 1.25");
    // Off to the side the native light does not reach.
    std::string side = run_printing(s, Point(3, 0, 0));
    EXPECT_EQ(side.substr(0, side.find('|')), "1 0.5 0.25;cone 1 0.5 0.25;0.857493 0.428746 0.214373") << side;
}

TEST_F(LightOps, NestedLoopsEachWalkAllTheLights)
{
    for (float z : {5.0f, 6.0f, 7.0f}) light_at("pointl", z);
    Shader *s = sltest::compile(dir, "nested",
        "surface nested() {\n"
        "    float n = 0, m = 0, k = 0, c = 0; point from = 0;\n"
        "    illuminance(P) { n += 1; illuminance(P) { m += 1; }\n"
        "        lightsource(\"from\", from); printf(\"%v %p;\", L, from); }\n"
        "    illuminance(P, N, 1.5707964) { illuminance(P) { k += 1; break; } c += 1;\n"
        "        illuminance(\"\", P) { if (c > 0) continue; c = -100; } }\n"
        "    printf(\"%f %f %f %f\", n, m, k, c); }\n");
    ASSERT_NE(s, nullptr);
    // After an inner loop the outer body still sees its own light; leaving
    // an inner loop early or going on to its next light leaves the outer one running.
    EXPECT_EQ(run_printing(s), "-0 -0 7 0 0 7;-0 -0 6 0 0 6;-0 -0 5 0 0 5;3 9 3 3");
}

TEST_F(LightOps, ALightThatReadsNothingOfThePointRunsOnce)
{
    Shader *k = sltest::compile(dir, "constl",
        "light constl(float k = 2; color c = color(1, 0.5, 0.25)) { color t = k * c; Cl = t + Cl; Ol = 1; }\n");
    Shader *v = sltest::compile(dir, "varyl", "light varyl() { Cl = color(xcomp(Ps) + 1, 0, 0); }\n");
    Shader *r = sltest::compile(dir, "randl", "light randl() { Cl = random(); }\n");
    Shader *o = sltest::compile(dir, "outl", "light outl(output float seen = 0) { seen += 1; Cl = seen; }\n");
    Shader *s = sltest::compile(dir, "ambs", "surface ambs() { printf(\"%c;\", ambient()); }\n");
    ASSERT_TRUE(k && v && r && o && s);
    EXPECT_TRUE(light_code_is_constant(k));
    EXPECT_FALSE(light_code_is_constant(v));
    EXPECT_FALSE(light_code_is_constant(r));
    EXPECT_FALSE(light_code_is_constant(o));
    light_at("constl", 0);
    LightSource *constant = light_list().head;
    EXPECT_EQ(run_printing(s), "2 1 0.5;");
    EXPECT_TRUE(constant->constant.set);
    EXPECT_EQ(run_printing(s, Point(3, 0, 0)), "2 1 0.5;");
    // A light that reads the point still runs at each one.
    light_at("varyl", 0);
    EXPECT_EQ(run_printing(s), "3 1 0.5;");
    EXPECT_EQ(run_printing(s, Point(3, 0, 0)), "6 1 0.5;");
}
