#include <gtest/gtest.h>

#include "ri/gstate.h"
#include "ri/renderer.h"
#include "shading/messages.h"
#include "shading/slstack.h"
#include "tests/shading/sl_support.h"

using sltest::param_float;
using sltest::param_string;
using sltest::param_triple;

namespace {

// A point whose attribute state binds a surface, an interior, an exterior and
// an atmosphere shader (each volume with its own "density").
struct MessageScene {
    velktest::TempDir dir;
    Shader *asker = nullptr;
    GState *g = new GState;
    Intersection sv;

    MessageScene()
    {
        Shader *surf = sltest::compile(dir, "msgsurf",
            "surface msgsurf(float Kd = 0.7; point where = point(1, 2, 3); float pair[2] = {1, 2};\n"
            "                string label = \"shiny\") { }\n");
        Shader *inside = sltest::compile(dir, "inside", "volume inside(float density = 2) { }\n");
        Shader *outside = sltest::compile(dir, "outside", "volume outside(float density = 5) { }\n");
        Shader *air = sltest::compile(dir, "air", "volume air(float density = 9) { }\n");
        asker = sltest::compile(dir, "asker",
            "displacement asker(output float kd = -1, found = -1, pair = -1, pairfound = -1, li = -1,\n"
            "                   lifound = -1, inc = -1, opp = -1, atm = -1, nodisp = -1;\n"
            "                   output vector where = 0; output string label = \"\")\n"
            "{\n"
            "    found = surface(\"Kd\", kd);\n"
            "    surface(\"where\", where);\n"
            "    pairfound = surface(\"pair\", pair);\n"
            "    surface(\"label\", label);\n"
            "    lifound = lightsource(\"intensity\", li);\n"
            "    incident(\"density\", inc); opposite(\"density\", opp); atmosphere(\"density\", atm);\n"
            "    displacement(\"anything\", nodisp);\n"
            "}\n");
        if (!surf || !inside || !outside || !air) return;
        g->shaders[USE_SURFACE].set(new ShaderInstance(surf));
        g->shaders[USE_INTERIOR].set(new ShaderInstance(inside));
        g->shaders[USE_EXTERIOR].set(new ShaderInstance(outside));
        g->shaders[USE_ATMOSPHERE].set(new ShaderInstance(air));
        sv.surf.set(g);
        sv.Ng = Point(0, 0, 1);
    }
};

} // namespace

TEST(MessagePassing, ShadersOfThePoint)
{
    MessageScene scene;
    ASSERT_NE(scene.asker, nullptr);
    Intersection &sv = scene.sv;
    sv.I = Point(0, 0, 1);   // leaving through the front: incident is the interior
    int depth = slstack.depth();
    auto block = shadertest::run(scene.asker, sv);
    EXPECT_EQ(slstack.depth(), depth);
    Shader *s = scene.asker;
    EXPECT_EQ(param_float(s, block, "found"), 1);
    EXPECT_FLOAT_EQ(param_float(s, block, "kd"), 0.7f);
    EXPECT_EQ(param_triple(s, block, "where"), Point(1, 2, 3));   // point read as a vector
    EXPECT_EQ(param_string(s, block, "label"), "shiny");
    // An array is never copied into a single value.
    EXPECT_EQ(param_float(s, block, "pairfound"), 0);
    EXPECT_EQ(param_float(s, block, "pair"), -1);
    // No illuminance step: nothing, and the variable keeps its value.
    EXPECT_EQ(param_float(s, block, "lifound"), 0);
    EXPECT_EQ(param_float(s, block, "li"), -1);
    EXPECT_EQ(param_float(s, block, "inc"), 2);
    EXPECT_EQ(param_float(s, block, "opp"), 5);
    EXPECT_EQ(param_float(s, block, "atm"), 9);
    EXPECT_EQ(param_float(s, block, "nodisp"), -1);

    // Arriving at the front: the eye ray came through the atmosphere, a
    // deeper ray through the exterior.
    sv.I = Point(0, 0, -1);
    block = shadertest::run(scene.asker, sv);
    EXPECT_EQ(param_float(s, block, "inc"), 9);
    EXPECT_EQ(param_float(s, block, "opp"), 2);
    sv.level = 1;
    block = shadertest::run(scene.asker, sv);
    EXPECT_EQ(param_float(s, block, "inc"), 5);

    // The point's own copy of a block wins over the instance's.
    std::vector<uint32_t> own = sv.surf->shaders[USE_SURFACE]->block;
    float kd = 0.25f;
    std::memcpy(own.data(), &kd, 4);
    sv.paramblock[USE_SURFACE] = reinterpret_cast<char *>(own.data());
    block = shadertest::run(scene.asker, sv);
    EXPECT_EQ(param_float(s, block, "kd"), 0.25f);
    sv.paramblock[USE_SURFACE] = nullptr;
}

TEST(MessagePassing, ValueOnTheStackAndCallableForm)
{
    MessageScene scene;
    ASSERT_NE(scene.asker, nullptr);
    Intersection &sv = scene.sv;
    // The forms without a destination: the variable's value is beneath the
    // name and type; the answer and then the value come back.
    Shader *t = shadertest::load_text(scene.dir, "stackmsg",
        "surface stackmsg\n"
        "local\tstring\tkd\t\"Kd\"\n"
        "local\tstring\tnone\t\"none\"\n"
        "code\n"
        "\tpushf\tu \n\tpushs\tkd \n\tpushif\t1\n\tsurface\n\tpopf\tv \n\tpopf\ts \n"
        "\tpushv\tCs \n\tpushs\tnone \n\tpushif\t3\n\tsurface\n\tpopc\tCi \n\tpopf\tt \n"
        "\treturn\n");
    ASSERT_NE(t, nullptr);
    sv.u = 5;
    sv.Cs = Color(0.1f, 0.2f, 0.3f);
    int depth = slstack.depth();
    shadertest::run(t, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(sv.s, 1);
    EXPECT_FLOAT_EQ(sv.v, 0.7f);
    EXPECT_EQ(sv.t, 0);
    EXPECT_EQ(sv.Ci, sv.Cs);

    float where[3] = {};
    EXPECT_EQ(sl_getshadeparam(&sv, MSG_SURFACE, "where", PtNORMAL, where), 1);
    EXPECT_EQ(where[2], 3);
    float f = 8;
    EXPECT_EQ(sl_getshadeparam(&sv, MSG_SURFACE, "where", PtFLOAT, &f), 0);   // incompatible
    EXPECT_EQ(sl_getshadeparam(&sv, MSG_DISPLACEMENT, "Kd", PtFLOAT, &f), 0);   // no shader
    EXPECT_EQ(f, 8);
}
