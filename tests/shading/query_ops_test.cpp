#include <gtest/gtest.h>

#include "ri/gstate.h"
#include "ri/tokens.h"
#include "shading/queries.h"
#include "shading/slstack.h"
#include "tests/ri/recording_renderer.h"
#include "tests/shading/sl_support.h"

using sltest::param_float;
using sltest::param_string;
using sltest::param_triple;

namespace {

// A renderer made current for one test.
struct CurrentRenderer {
    velktest::RecordingRenderer r;
    Renderer *saved = current_renderer;
    CurrentRenderer() { current_renderer = &r; }
    ~CurrentRenderer() { current_renderer = saved; }
};

} // namespace

TEST(QueryOps, OptionsAttributesAndRendererInfo)
{
    CurrentRenderer cr;
    cr.r.options.xres = 640;
    cr.r.options.yres = 480;
    cr.r.options.pixel_aspect = 1.5f;
    cr.r.options.near_clip = 0.5f;
    cr.r.options.far_clip = 900;
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "queries",
        "surface queries(output point fmt = 0, clip = 9, nope = 7; output float rate = 0, sides = 0,\n"
        "                matte = -1, known = -1, unknown = -1, small = 0, bad = -1;\n"
        "                output string rname = \"\", vs = \"\", space = \"\", ident = \"x\", numstr = \"keep\";\n"
        "                output color version = 0)\n"
        "{\n"
        "    known = option(\"Format\", fmt);\n"
        "    option(\"Clipping\", clip);\n"
        "    unknown = option(\"NoSuchOption\", nope);\n"
        "    small = 0; option(\"Format\", small);\n"
        "    attribute(\"ShadingRate\", rate); attribute(\"Sides\", sides); attribute(\"Matte\", matte);\n"
        "    attribute(\"displacementbound:coordinatesystem\", space);\n"
        "    attribute(\"identifier:name\", ident);\n"
        "    rendererinfo(\"renderer\", rname); rendererinfo(\"versionstring\", vs);\n"
        "    rendererinfo(\"version\", version);\n"
        "    bad = rendererinfo(\"version\", numstr);\n"
        "}\n");
    ASSERT_NE(s, nullptr);
    GState *g = new GState;
    g->shading_rate = 4;
    g->flags |= GS_TWOSIDED | GS_MATTE;
    Intersection sv;
    sv.surf.set(g);
    int depth = slstack.depth();
    auto block = shadertest::run(s, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(param_float(s, block, "known"), 1);
    EXPECT_EQ(param_triple(s, block, "fmt"), Point(640, 480, 1.5f));
    EXPECT_EQ(param_triple(s, block, "clip"), Point(0.5f, 900, 9));   // two values only
    EXPECT_EQ(param_float(s, block, "unknown"), 0);
    EXPECT_EQ(param_triple(s, block, "nope"), Point(7, 7, 7));
    EXPECT_EQ(param_float(s, block, "small"), 640);   // never more than the float holds
    EXPECT_EQ(param_float(s, block, "rate"), 4);
    EXPECT_EQ(param_float(s, block, "sides"), 2);
    EXPECT_EQ(param_float(s, block, "matte"), 1);
    EXPECT_EQ(param_string(s, block, "space"), "current");
    EXPECT_EQ(param_string(s, block, "ident"), "");
    EXPECT_EQ(param_string(s, block, "rname"), "VELK");
    EXPECT_EQ(param_string(s, block, "vs"), "2.5.0.7");
    EXPECT_EQ(param_triple(s, block, "version"), Point(2, 5, 0));
    // Numbers never go into a string.
    EXPECT_EQ(param_float(s, block, "bad"), 0);
    EXPECT_EQ(param_string(s, block, "numstr"), "keep");
}

TEST(QueryOps, CallableForms)
{
    CurrentRenderer cr;
    cr.r.options.shutter_open = 0.25f;
    cr.r.options.shutter_close = 0.75f;
    cr.r.options.fstop = 2.8f;
    GState *g = new GState;
    g->displacement_bound = 0.5f;
    g->displacement_space = NewToken("shader");
    g->identifier = NewToken("teapot");
    Intersection sv;
    sv.surf.set(g);
    float v[16] = {9, 9, 9, 9};
    EXPECT_EQ(sl_option(&sv, "Shutter", PtPOINT, v), 1);
    EXPECT_EQ(v[0], 0.25f);
    EXPECT_EQ(v[1], 0.75f);
    EXPECT_EQ(v[2], 9);
    EXPECT_EQ(sl_option(&sv, "DepthOfField", PtMATRIX, v), 1);
    EXPECT_EQ(v[0], 2.8f);
    EXPECT_EQ(v[3], 9);
    EXPECT_EQ(sl_attribute(&sv, "displacementbound:sphere", PtFLOAT, v), 1);
    EXPECT_EQ(v[0], 0.5f);
    uint32_t id = 0;
    EXPECT_EQ(sl_attribute(&sv, "displacementbound:coordinatesystem", PtSTRING, &id), 1);
    EXPECT_STREQ(string_from_id(id), "shader");
    EXPECT_EQ(sl_attribute(&sv, "identifier:name", PtSTRING, &id), 1);
    EXPECT_STREQ(string_from_id(id), "teapot");
    EXPECT_EQ(sl_attribute(&sv, "identifier:name", PtFLOAT, v), 0);   // string only
    EXPECT_EQ(sl_attribute(&sv, "sides:doubleshaded", PtFLOAT, v), 1);
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(sl_rendererinfo(&sv, "renderer", PtFLOAT, v), 0);
    EXPECT_EQ(sl_rendererinfo(&sv, "nothing", PtSTRING, &id), 0);
    Intersection bare;   // no attribute state
    EXPECT_EQ(sl_attribute(&bare, "ShadingRate", PtFLOAT, v), 0);
}
