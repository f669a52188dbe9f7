#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ri/gstate.h"
#include "ri/tokens.h"
#include "shading/queries.h"
#include "shading_shaderfile/slstack.h"
#include "tests/ri/recording_renderer.h"
#include "tests/shading/sl_support.h"

using sltest::param_string;

namespace {

// One query into an output parameter of the shader: its declaration (every
// float starts at -1, every string at "keep"), and what it must answer; an
// answer of 0 leaves the parameter as it started.
struct QueryCase {
    const char *call;        // e.g. option("Format"
    const char *type;        // float, point, color, string
    int length;              // 0 for a scalar
    int known;
    std::vector<float> numbers;
    const char *text;        // a string answer
};

} // namespace

TEST(QueryOps, AnswersGoOnlyIntoDestinationsOfTheirTypeAndSize)
{
    velktest::RecordingRenderer r;
    Renderer *saved = current_renderer;
    current_renderer = &r;
    r.options.xres = 640;
    r.options.yres = 480;
    r.options.pixel_aspect = 1.5f;
    r.options.near_clip = 0.5f;
    r.options.far_clip = 900;
    r.options.fstop = 8, r.options.focal_length = 0.25f, r.options.focal_distance = 12;
    r.options.shutter_open = 0.125f, r.options.shutter_close = 0.75f;
    const std::vector<QueryCase> cases = {
        {"option(\"Format\"", "float", 3, 1, {640, 480, 1.5f}, nullptr},
        {"option(\"Format\"", "float", 2, 0, {}, nullptr},   // too short
        {"option(\"Format\"", "float", 4, 0, {}, nullptr},   // too long
        {"option(\"Format\"", "float", 0, 0, {}, nullptr},
        {"option(\"Format\"", "point", 0, 0, {}, nullptr},
        {"option(\"Format\"", "string", 0, 0, {}, nullptr},
        {"option(\"DepthOfField\"", "float", 3, 1, {8, 0.25f, 12}, nullptr},
        {"option(\"DepthOfField\"", "color", 0, 0, {}, nullptr},
        {"option(\"Shutter\"", "float", 2, 1, {0.125f, 0.75f}, nullptr},
        {"option(\"Clipping\"", "float", 2, 1, {0.5f, 900}, nullptr},
        {"option(\"Clipping\"", "float", 3, 0, {}, nullptr},
        {"option(\"Clipping\"", "point", 0, 0, {}, nullptr},
        {"option(\"NoSuchOption\"", "float", 3, 0, {}, nullptr},
        {"attribute(\"ShadingRate\"", "float", 0, 1, {4}, nullptr},
        {"attribute(\"ShadingRate\"", "float", 2, 0, {}, nullptr},
        {"attribute(\"ShadingRate\"", "point", 0, 0, {}, nullptr},
        {"attribute(\"Sides\"", "float", 0, 1, {2}, nullptr},
        {"attribute(\"Matte\"", "float", 0, 1, {0}, nullptr},
        {"attribute(\"Matte\"", "string", 0, 0, {}, nullptr},
        {"attribute(\"GeometricApproximation:motionfactor\"", "float", 0, 1, {0}, nullptr},
        {"attribute(\"displacementbound:sphere\"", "float", 0, 1, {0.5f}, nullptr},
        {"attribute(\"displacementbound:coordinatesystem\"", "string", 0, 1, {}, "current"},
        {"attribute(\"displacementbound:coordinatesystem\"", "float", 0, 0, {}, nullptr},
        {"attribute(\"identifier:name\"", "string", 0, 1, {}, "ball"},
        {"attribute(\"identifier:name\"", "string", 2, 0, {}, nullptr},
        {"attribute(\"NoSuchAttribute\"", "float", 0, 0, {}, nullptr},
        {"rendererinfo(\"renderer\"", "string", 0, 1, {}, "VELK"},
        {"rendererinfo(\"renderer\"", "float", 0, 0, {}, nullptr},
        {"rendererinfo(\"version\"", "float", 4, 1, {2, 5, 0, 7}, nullptr},
        {"rendererinfo(\"version\"", "float", 3, 0, {}, nullptr},
        {"rendererinfo(\"version\"", "color", 0, 0, {}, nullptr},
        {"rendererinfo(\"version\"", "string", 0, 0, {}, nullptr},
        {"rendererinfo(\"versionstring\"", "string", 0, 1, {}, "2.5.0.7"},
        {"rendererinfo(\"versionstring\"", "float", 4, 0, {}, nullptr},
    };
    std::string params, body;
    for (size_t i = 0; i < cases.size(); ++i) {
        const QueryCase &c = cases[i];
        std::string d = "d" + std::to_string(i), start = std::string(c.type) == "string" ? "\"keep\"" : "-1";
        std::string init = start;
        for (int j = 1; j < c.length; ++j) init += ", " + start;
        params += std::string("output ") + c.type + " " + d +
                  (c.length ? "[" + std::to_string(c.length) + "] = {" + init + "}" : " = " + start) + ";\n";
        params += "output float k" + std::to_string(i) + " = -1;\n";
        // (Array defaults are set by initialisation code, which this run skips.)
        for (int j = 0; j < c.length; ++j) body += "    " + d + "[" + std::to_string(j) + "] = " + start + ";\n";
        body += "    k" + std::to_string(i) + " = " + c.call + ", " + d + ");\n";
    }
    params.pop_back();
    params.pop_back();
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "queries", "surface queries(" + params + ")\n{\n" + body + "}\n");
    ASSERT_NE(s, nullptr);
    GState *g = new GState;
    g->shading_rate = 4;
    g->flags |= GS_TWOSIDED;
    g->displacement_bound = 0.5f;
    g->identifier = NewToken("ball");
    ShadingPoint sv;
    sv.surf.set(g);
    auto block = shadertest::run(s, sv);
    current_renderer = saved;
    for (size_t i = 0; i < cases.size(); ++i) {
        const QueryCase &c = cases[i];
        SCOPED_TRACE(std::string(c.call) + ") into " + c.type + "[" + std::to_string(c.length) + "]");
        std::string d = "d" + std::to_string(i);
        EXPECT_EQ(sltest::param_float(s, block, ("k" + std::to_string(i)).c_str()), float(c.known));
        if (std::string(c.type) == "string") {
            EXPECT_EQ(param_string(s, block, d.c_str()), c.known ? c.text : "keep");
            continue;
        }
        int words = (c.length ? c.length : 1) * (std::string(c.type) == "float" ? 1 : 3);
        const float *v = sltest::param(s, block, d.c_str());
        for (int j = 0; j < words; ++j) EXPECT_EQ(v[j], c.known ? c.numbers[j] : -1.0f) << j;
    }

    // The callable forms check the same way.
    uint32_t id = 0;
    EXPECT_EQ(sl_rendererinfo(&sv, "versionstring", PtSTRING, &id, 1), 1);
    EXPECT_STREQ(string_from_id(id), "2.5.0.7");
    float f = 3;
    EXPECT_EQ(sl_attribute(&sv, "identifier:name", PtFLOAT, &f, 1), 0);   // string only
    ShadingPoint bare;   // no attribute state
    EXPECT_EQ(sl_attribute(&bare, "ShadingRate", PtFLOAT, &f, 1), 0);
    EXPECT_EQ(f, 3);
}
