#include <gtest/gtest.h>

#include "ri/gstate.h"
#include "ri/renderer.h"
#include "shading/messages.h"
#include "shading_shaderfile/slstack.h"
#include "tests/shading/sl_support.h"

using sltest::param_float;
using sltest::param_triple;

// A point whose attribute state binds a surface, an interior, an exterior and
// an atmosphere shader (each volume with its own "density").
TEST(MessagePassing, ShadersOfThePoint)
{
    velktest::TempDir dir;
    Shader *surf = sltest::compile(dir, "msgsurf",
        "surface msgsurf(float Kd = 0.7; point where = point(1, 2, 3); float pair[2] = {1, 2}) { }\n");
    Shader *asker = sltest::compile(dir, "asker",
        "displacement asker(output float kd = -1, found = -1, pair = -1, pairfound = -1, li = -1,\n"
        "                   lifound = -1, inc = -1, opp = -1, atm = -1; output vector where = 0)\n"
        "{\n"
        "    found = surface(\"Kd\", kd); surface(\"where\", where); pairfound = surface(\"pair\", pair);\n"
        "    lifound = lightsource(\"intensity\", li);\n"
        "    incident(\"density\", inc); opposite(\"density\", opp); atmosphere(\"density\", atm);\n"
        "}\n");
    ASSERT_TRUE(surf && asker);
    GState *g = new GState;
    g->shaders[USE_SURFACE].set(new ShaderInstance(surf));
    const char *volumes[3][2] = {{"inside", "2"}, {"outside", "5"}, {"air", "9"}};
    const int slots[3] = {USE_INTERIOR, USE_EXTERIOR, USE_ATMOSPHERE};
    for (int i = 0; i < 3; ++i) {
        Shader *v = sltest::compile(dir, volumes[i][0], std::string("volume ") + volumes[i][0] +
                                                             "(float density = " + volumes[i][1] + ") { }\n");
        ASSERT_NE(v, nullptr);
        g->shaders[slots[i]].set(new ShaderInstance(v));
    }
    ShadingPoint sv;
    sv.surf.set(g);
    sv.Ng = Point(0, 0, 1);
    sv.I = Point(0, 0, 1);   // leaving through the front: incident is the interior
    int depth = slstack.depth();
    auto block = shadertest::run(asker, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(param_float(asker, block, "found"), 1);
    EXPECT_FLOAT_EQ(param_float(asker, block, "kd"), 0.7f);
    EXPECT_EQ(param_triple(asker, block, "where"), Point(1, 2, 3));   // a point read as a vector
    EXPECT_EQ(param_float(asker, block, "pairfound"), 0);   // an array never fits one value
    EXPECT_EQ(param_float(asker, block, "pair"), -1);
    EXPECT_EQ(param_float(asker, block, "lifound"), 0);     // no illuminance step
    EXPECT_EQ(param_float(asker, block, "li"), -1);
    EXPECT_EQ(param_float(asker, block, "inc"), 2);
    EXPECT_EQ(param_float(asker, block, "opp"), 5);
    EXPECT_EQ(param_float(asker, block, "atm"), 9);
    // Arriving at the front: the eye ray came through the atmosphere, a
    // deeper ray through the exterior.
    sv.I = Point(0, 0, -1);
    block = shadertest::run(asker, sv);
    EXPECT_EQ(param_float(asker, block, "inc"), 9);
    EXPECT_EQ(param_float(asker, block, "opp"), 2);
    sv.level = 1;
    block = shadertest::run(asker, sv);
    EXPECT_EQ(param_float(asker, block, "inc"), 5);

    // The form with the value on the stack: the answer and the value come back.
    Shader *t = shadertest::load_text(dir, "stackmsg",
        "surface stackmsg\nlocal\tstring\tkd\t\"Kd\"\nlocal\tstring\tnone\t\"none\"\ncode\n"
        "\tpushf\tu \n\tpushs\tkd \n\tpushif\t1\n\tsurface\n\tpopf\tv \n\tpopf\ts \n"
        "\tpushv\tCs \n\tpushs\tnone \n\tpushif\t3\n\tsurface\n\tpopc\tCi \n\tpopf\tt \n\treturn\n");
    ASSERT_NE(t, nullptr);
    sv.u = 5;
    sv.Cs = Color(0.1f, 0.2f, 0.3f);
    shadertest::run(t, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(sv.s, 1);
    EXPECT_FLOAT_EQ(sv.v, 0.7f);
    EXPECT_EQ(sv.t, 0);
    EXPECT_EQ(sv.Ci, sv.Cs);
    float f = 8;
    EXPECT_EQ(sl_getshadeparam(&sv, MSG_SURFACE, "where", PtFLOAT, &f), 0);   // incompatible
    EXPECT_EQ(f, 8);
}
