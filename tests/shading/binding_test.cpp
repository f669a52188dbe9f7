#include <gtest/gtest.h>

#include "ri/renderer.h"
#include "ri/tokens.h"
#include "shading/bindshader.h"
#include "shading/lightsource.h"
#include "shading/reflectance.h"
#include "shading/stringids.h"
#include "tests/ri/error_capture.h"
#include "tests/shading/shader_support.h"

namespace {

// A renderer with the test shaders on its shader path; lights are let go after.
class Binding : public testing::Test {
protected:
    void SetUp() override
    {
        set_shader_loader(load_compiled_shader);
        RiBegin(nullptr);
        RtString path = dir.path().c_str();
        RiOption("searchpath", "shader", &path, RI_NULL);
        dir.write("bindme.murn",
                  "surface bindme\n"
                  "param\tfloat\tKd\t0.5\n"
                  "param\tcolor\ttint\t1 0 0\n"
                  "param\tpoint\tfrom\t0 0 0\n"
                  "param\tstring\ttex\t\"\"\n"
                  "param\tfloat\tinit\t0\n"
                  "param\tfloat\tcount[2]\t0\n"
                  "initcode 1\n\tpushif\t7\n\tpopf\tinit \n"
                  "code\n\treturn\n");
        dir.write("plain.murn", "surface plain\nparam\tfloat\tx\t1\ncode\n\treturn\n");
        for (const char *kind : {"light", "volume", "displacement", "imager"})
            dir.write(std::string("a") + kind + ".murn", std::string(kind) + " a" + kind + "\ncode\n\treturn\n");
    }
    void TearDown() override
    {
        RiEnd();
        light_list().free_to(nullptr);
    }
    // The bound surface instance's block.
    char *surface_block() { return current_renderer->attributes->shaders[USE_SURFACE]->params(); }
    float block_float(char *b, int offset)
    {
        float f;
        std::memcpy(&f, b + offset, 4);
        return f;
    }
    velktest::TempDir dir;
};

} // namespace

TEST_F(Binding, ParametersOverrideDefaultsAndInitCode)
{
    velktest::ErrorCapture errors;
    RiTranslate(1, 2, 3);
    RtPoint from = {1, 0, 0};
    RtColor tint = {0, 1, 0};
    RtString tex = "grid.tex";
    RiSurface("bindme", "from", from, "uniform color tint", tint, "uniform string tex", &tex, RI_NULL);
    EXPECT_EQ(errors.count(), 0u);
    GState *g = current_renderer->attributes.get();
    ASSERT_TRUE(g->shaders[USE_SURFACE].is_set());
    EXPECT_TRUE(g->shader_spaces[USE_SURFACE].is_set());
    char *b = surface_block();
    EXPECT_EQ(block_float(b, 0), 0.5f);
    // Points go to world space through the transformation of the request.
    EXPECT_EQ(block_float(b, 16), 2.0f);
    EXPECT_EQ(block_float(b, 20), 2.0f);
    EXPECT_EQ(block_float(b, 24), 3.0f);
    EXPECT_EQ(block_float(b, 8), 1.0f);
    uint32_t sid;
    std::memcpy(&sid, b + 28, 4);
    EXPECT_STREQ(string_from_id(sid), "grid.tex");
    // The initialisation code ran.
    EXPECT_EQ(block_float(b, 32), 7.0f);
    // "Kd" of the surface is its diffuse reflectance; no "Ka" leaves 1.
    EXPECT_EQ(surface_reflectance(g, Reflectance::DIFFUSE), 0.5f);
    EXPECT_EQ(surface_reflectance(g, Reflectance::AMBIENT), 1.0f);
    EXPECT_EQ(surface_reflectance(nullptr, Reflectance::DIFFUSE), 1.0f);
}

TEST_F(Binding, BadParametersAreReportedAndSkipped)
{
    velktest::ErrorCapture errors;
    RtFloat one = 1;
    RtFloat two[2] = {2, 3};
    RtInt three = 3;
    RiSurface("bindme", "nosuchtoken", &one, "uniform float nothere", &one, "uniform float tint", &one,
              "uniform float[2] count", two, "uniform integer Kd", &three, RI_NULL);
    ASSERT_EQ(errors.count(), 3u);
    EXPECT_EQ(errors.reports[0].code, RIE_BADTOKEN);
    EXPECT_EQ(errors.reports[0].message, "Token \"nosuchtoken\" not declared");
    EXPECT_EQ(errors.reports[1].message, "Unrecognized parameter \"uniform float nothere\" in shader \"bindme\"\n");
    EXPECT_EQ(errors.reports[2].code, RIE_BADTOKEN);
    char *b = surface_block();
    EXPECT_EQ(block_float(b, 4), 1.0f);    // tint keeps its default
    EXPECT_EQ(block_float(b, 8), 0.0f);
    EXPECT_EQ(block_float(b, 36), 2.0f);   // the array took both values
    EXPECT_EQ(block_float(b, 40), 3.0f);
    EXPECT_EQ(block_float(b, 0), 3.0f);    // an integer fills a float
    EXPECT_EQ(surface_reflectance(current_renderer->attributes.get(), Reflectance::DIFFUSE), 3.0f);
}

TEST_F(Binding, MissingShadersAndDeformations)
{
    velktest::ErrorCapture errors;
    RiSurface("nosuch", RI_NULL);
    RiSurface("nosuch", RI_NULL);
    RiDisplacement("nosuch", RI_NULL);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_NOSHADER);
    EXPECT_EQ(errors.reports[0].severity, RIE_ERROR);
    EXPECT_EQ(errors.reports[0].message, "nosuch");
    EXPECT_FALSE(current_renderer->attributes->shaders[USE_SURFACE].is_set());
    errors.clear();
    RiDeformation("plain", RI_NULL);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_INCAPABLE);
    EXPECT_EQ(errors.reports[0].message, "Deformations not supported");
}

TEST_F(Binding, ImagerAndVolumeSlots)
{
    RiImager("aimager", RI_NULL);
    EXPECT_NE(current_renderer->options.imager, nullptr);
    EXPECT_TRUE(current_renderer->options.imager_instance.is_set());
    RiAtmosphere("avolume", RI_NULL);
    RiInterior("avolume", RI_NULL);
    GState *g = current_renderer->attributes.get();
    EXPECT_TRUE(g->shaders[USE_ATMOSPHERE].is_set());
    EXPECT_TRUE(g->shaders[USE_INTERIOR].is_set());
    EXPECT_FALSE(g->shaders[USE_EXTERIOR].is_set());
    // Only the first specification of a motion block counts.
    RiMotionBegin(2, 0.0f, 1.0f);
    RiSurface("plain", RI_NULL);
    RiSurface("bindme", RI_NULL);
    RiMotionEnd();
    EXPECT_STREQ(current_renderer->attributes->shaders[USE_SURFACE]->shader->name, "plain");
}

TEST_F(Binding, CopyOnWriteOfTheAttributeState)
{
    RiAttributeBegin();
    GState *outer = current_renderer->attribute_stack[current_renderer->attribute_depth - 1].get();
    RiSurface("plain", RI_NULL);
    EXPECT_FALSE(outer->shaders[USE_SURFACE].is_set());
    EXPECT_TRUE(current_renderer->attributes->shaders[USE_SURFACE].is_set());
    // The reflectance is the bound instance's, in this state only.
    RtFloat quarter = 0.25f;
    RiSurface("bindme", "Kd", &quarter, RI_NULL);
    EXPECT_EQ(surface_reflectance(current_renderer->attributes.get(), Reflectance::DIFFUSE), 0.25f);
    EXPECT_EQ(surface_reflectance(outer, Reflectance::DIFFUSE), 1.0f);
    RiAttributeEnd();
    EXPECT_FALSE(current_renderer->attributes->shaders[USE_SURFACE].is_set());
}

TEST_F(Binding, EachRequestTakesOnlyItsKindOfShader)
{
    std::string both = dir.path() + ":" + VELK_NATIVE_SHADER_DIR;
    RtString path = both.c_str();
    RiOption("searchpath", "shader", &path, RI_NULL);
    using Bind = RtVoid (*)(RtToken, ...);
    struct Case {
        const char *request;
        Bind bind;
        int use;
        const char *right, *kind, *wrong;
    };
    // Text, native and built-in shaders of the wrong kind for each request.
    const Case cases[] = {
        {"Surface", RiSurface, USE_SURFACE, "nativered", "surface", "indirect"},
        {"Interior", RiInterior, USE_INTERIOR, "avolume", "volume", "plain"},
        {"Exterior", RiExterior, USE_EXTERIOR, "avolume", "volume", "adisplacement"},
        {"Atmosphere", RiAtmosphere, USE_ATMOSPHERE, "avolume", "volume", "alight"},
        {"Displacement", RiDisplacement, USE_DISPLACEMENT, "adisplacement", "displacement", "nativered"},
        {"Imager", RiImager, USE_IMAGER, "aimager", "imager", "plain"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.request);
        velktest::ErrorCapture errors;
        c.bind(c.wrong, RI_NULL);
        ASSERT_EQ(errors.count(), 1u);
        EXPECT_EQ(errors.reports[0].code, RIE_CONSISTENCY);
        EXPECT_EQ(errors.reports[0].severity, RIE_ERROR);
        EXPECT_NE(errors.reports[0].message.find(std::string("Shader \"") + c.wrong + "\" is of kind "),
                  std::string::npos) << errors.reports[0].message;
        EXPECT_NE(errors.reports[0].message.find(std::string(c.request) + " takes " + c.kind + " shaders"),
                  std::string::npos) << errors.reports[0].message;
        bool imager = c.use == USE_IMAGER;
        EXPECT_FALSE(imager ? current_renderer->options.imager_instance.is_set()
                            : current_renderer->attributes->shaders[c.use].is_set());
        c.bind(c.right, RI_NULL);
        EXPECT_EQ(errors.count(), 1u);
        ShaderInstance *bound = imager ? current_renderer->options.imager_instance.get()
                                       : current_renderer->attributes->shaders[c.use].get();
        ASSERT_NE(bound, nullptr);
        EXPECT_STREQ(bound->shader->name, c.right);
    }

    // A refused light makes no light and no handle: switching it on says so.
    velktest::ErrorCapture errors;
    LightSource *before = light_list().head;
    EXPECT_EQ(RiLightSource("plain", RI_NULL), nullptr);
    EXPECT_EQ(RiLightSource("nativered", RI_NULL), nullptr);
    EXPECT_EQ(RiAreaLightSource("aimager", RI_NULL), nullptr);
    EXPECT_EQ(light_list().head, before);
    EXPECT_EQ(current_renderer->attributes->area_light, nullptr);
    ASSERT_EQ(errors.count(), 3u);
    EXPECT_EQ(errors.reports[0].message, "Shader \"plain\" is of kind surface; LightSource takes light shaders; "
                                         "request ignored");
    EXPECT_EQ(errors.reports[2].message, "Shader \"aimager\" is of kind imager; AreaLightSource takes light "
                                         "shaders; request ignored");
    RiIlluminate(nullptr, RI_TRUE);
    EXPECT_EQ(errors.reports.back().code, RIE_BADHANDLE);
    errors.clear();
    EXPECT_NE(RiLightSource("alight", RI_NULL), nullptr);
    EXPECT_NE(RiLightSource("bouncer", RI_NULL), nullptr);
    EXPECT_NE(RiAreaLightSource("alight", RI_NULL), nullptr);
    EXPECT_EQ(errors.count(), 0u);
}
