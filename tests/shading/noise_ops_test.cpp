#include <gtest/gtest.h>

#include "shading/noise.h"
#include "shading/slstack.h"
#include "tests/shading/sl_support.h"

using sltest::param_float;
using sltest::param_triple;

TEST(NoiseOps, EveryInputShapeAndResult)
{
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "noiseshapes",
        "surface noiseshapes(output float f1 = 0, f2 = 0, f3 = 0, f4 = 0, lattice = 0;\n"
        "                    output color c1 = 0, c4 = 0; output point p2 = 0, p3 = 0)\n"
        "{\n"
        "    f1 = noise(s); f2 = noise(s, t); f3 = noise(P); f4 = noise(P, t);\n"
        "    lattice = noise(point(1, 2, 3), 4);\n"
        "    c1 = color noise(s); c4 = color noise(P, t);\n"
        "    p2 = point noise(s, t); p3 = point noise(P);\n"
        "}\n");
    ASSERT_NE(s, nullptr);
    Intersection sv;
    sv.s = 0.3f;
    sv.t = 1.7f;
    sv.Ps = Point(0.25f, 3.5f, -2.2f);
    int depth = slstack.depth();
    auto block = shadertest::run(s, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(param_float(s, block, "f1"), noise1(0.3f));
    EXPECT_EQ(param_float(s, block, "f2"), noise2(0.3f, 1.7f));
    EXPECT_EQ(param_float(s, block, "f3"), noise3(0.25f, 3.5f, -2.2f));
    EXPECT_EQ(param_float(s, block, "f4"), noise4(0.25f, 3.5f, -2.2f, 1.7f));
    EXPECT_EQ(param_float(s, block, "lattice"), 0.5f);
    // Triples: the second and third components are the function at shifted inputs.
    EXPECT_EQ(param_triple(s, block, "c1"), Point(noise1(0.3f), noise1(0.3f + 52), noise1(0.3f - 17)));
    EXPECT_EQ(param_triple(s, block, "c4"),
              Point(noise4(0.25f, 3.5f, -2.2f, 1.7f), noise4(0.25f + 52, 3.5f - 90, -2.2f + 14, 1.7f - 27),
                    noise4(0.25f - 17, 3.5f + 35, -2.2f - 133, 1.7f + 7)));
    EXPECT_EQ(param_triple(s, block, "p2"),
              Point(noise2(0.3f, 1.7f), noise2(0.3f + 52, 1.7f - 90), noise2(0.3f - 17, 1.7f + 35)));
    EXPECT_EQ(param_triple(s, block, "p3").x, noise3(0.25f, 3.5f, -2.2f));
}

TEST(NoiseOps, PeriodicAndCellNoise)
{
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "noiseperiods",
        "surface noiseperiods(float x = 0.37, x4 = 4.37, t2 = 2.6; point Q = point(1.25, 3.5, 2.75);\n"
        "                     output float a = 0, b = 0, c = 0, d = 0;\n"
        "                     output float cell1 = 0, cell2 = 0, cell3 = 0;\n"
        "                     output color pc = 0, cc = 0)\n"
        "{\n"
        "    a = pnoise(x4, 4); b = pnoise(x, 4);\n"
        "    c = pnoise(Q, t2, point(5, 3, 7), 2); d = pnoise(P, t, point(5, 3, 7), 2);\n"
        "    cell1 = cellnoise(2.9995); cell2 = cellnoise(3.2); cell3 = cellnoise(2.998);\n"
        "    pc = color pnoise(s, t, 2, 2);\n"
        "    cc = color cellnoise(P);\n"
        "}\n");
    ASSERT_NE(s, nullptr);
    Intersection sv;
    sv.s = 0.4f;
    sv.t = 0.6f;
    sv.Ps = Point(1.25f, 0.5f, 2.75f);
    int depth = slstack.depth();
    auto block = shadertest::run(s, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(param_float(s, block, "a"), param_float(s, block, "b"));
    EXPECT_EQ(param_float(s, block, "a"), pnoise1(4.37f, 4));
    EXPECT_FLOAT_EQ(param_float(s, block, "c"), param_float(s, block, "d"));
    EXPECT_EQ(param_float(s, block, "cell1"), param_float(s, block, "cell2"));
    EXPECT_NE(param_float(s, block, "cell1"), param_float(s, block, "cell3"));
    EXPECT_EQ(param_float(s, block, "cell2"), cellnoise1(3.2f));
    EXPECT_EQ(param_triple(s, block, "pc").x, pnoise2(0.4f, 0.6f, 2, 2));
    EXPECT_EQ(param_triple(s, block, "cc"),
              Point(cellnoise3(1.25f, 0.5f, 2.75f), cellnoise3(1.25f + 52, 0.5f - 90, 2.75f + 14),
                    cellnoise3(1.25f - 17, 0.5f + 35, 2.75f - 133)));
}
