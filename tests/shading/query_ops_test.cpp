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

TEST(QueryOps, OptionsAttributesAndRendererInfo)
{
    velktest::RecordingRenderer r;
    Renderer *saved = current_renderer;
    current_renderer = &r;
    r.options.xres = 640;
    r.options.yres = 480;
    r.options.pixel_aspect = 1.5f;
    r.options.near_clip = 0.5f;
    r.options.far_clip = 900;
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "queries",
        "surface queries(output point fmt = 0, clip = 9, nope = 7; output float rate = 0, sides = 0,\n"
        "                known = -1, unknown = -1, small = 0, bad = -1;\n"
        "                output string rname = \"\", space = \"\", numstr = \"keep\";\n"
        "                output color version = 0; output float fa = 0, va = 0, da = 0)\n"
        "{\n"
        "    known = option(\"Format\", fmt); option(\"Clipping\", clip);\n"
        "    unknown = option(\"NoSuchOption\", nope); option(\"Format\", small);\n"
        "    attribute(\"ShadingRate\", rate); attribute(\"Sides\", sides);\n"
        "    attribute(\"displacementbound:coordinatesystem\", space);\n"
        "    rendererinfo(\"renderer\", rname); rendererinfo(\"version\", version);\n"
        "    bad = rendererinfo(\"version\", numstr);\n"
        "    uniform float f[3]; option(\"Format\", f); fa = f[0] * 10000 + f[1] + f[2] / 10;\n"
        "    float v[4]; rendererinfo(\"version\", v); va = v[0] * 1000 + v[1] * 100 + v[3];\n"
        "    float ds[2] = {5, 6}; attribute(\"ShadingRate\", ds); da = ds[0] * 10 + ds[1];\n"
        "}\n");
    ASSERT_NE(s, nullptr);
    GState *g = new GState;
    g->shading_rate = 4;
    g->flags |= GS_TWOSIDED;
    Intersection sv;
    sv.surf.set(g);
    auto block = shadertest::run(s, sv);
    current_renderer = saved;
    EXPECT_EQ(param_float(s, block, "known"), 1);
    EXPECT_EQ(param_triple(s, block, "fmt"), Point(640, 480, 1.5f));
    EXPECT_EQ(param_triple(s, block, "clip"), Point(0.5f, 900, 9));   // two values only
    EXPECT_EQ(param_float(s, block, "unknown"), 0);
    EXPECT_EQ(param_triple(s, block, "nope"), Point(7, 7, 7));
    EXPECT_EQ(param_float(s, block, "small"), 640);   // never more than the float holds
    EXPECT_EQ(param_float(s, block, "rate"), 4);
    EXPECT_EQ(param_float(s, block, "sides"), 2);
    EXPECT_EQ(param_string(s, block, "space"), "current");
    EXPECT_EQ(param_string(s, block, "rname"), "VELK");
    EXPECT_EQ(param_triple(s, block, "version"), Point(2, 5, 0));
    EXPECT_EQ(param_float(s, block, "bad"), 0);   // numbers never go into a string
    EXPECT_EQ(param_string(s, block, "numstr"), "keep");
    // Arrays take as many values as they hold.
    EXPECT_FLOAT_EQ(param_float(s, block, "fa"), 640 * 10000 + 480 + 0.15f);
    EXPECT_EQ(param_float(s, block, "va"), 2507);
    EXPECT_EQ(param_float(s, block, "da"), 46);

    uint32_t id = 0;
    EXPECT_EQ(sl_rendererinfo(&sv, "versionstring", PtSTRING, &id), 1);
    EXPECT_STREQ(string_from_id(id), "2.5.0.7");
    float f = 3;
    EXPECT_EQ(sl_attribute(&sv, "identifier:name", PtFLOAT, &f), 0);   // string only
    Intersection bare;   // no attribute state
    EXPECT_EQ(sl_attribute(&bare, "ShadingRate", PtFLOAT, &f), 0);
    EXPECT_EQ(f, 3);
}
