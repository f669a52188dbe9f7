#include <gtest/gtest.h>

#include "shading_noise/noise.h"
#include "shading_shaderfile/slstack.h"
#include "tests/shading/sl_support.h"

using sltest::param_float;
using sltest::param_triple;

// Every input shape takes its words off the stack and leaves its result.
TEST(NoiseOps, ShapesPeriodsAndCells)
{
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "noiseops",
        "surface noiseops(float x = 0.37, x4 = 4.37; output float f2 = 0, f4 = 0, lattice = 0, a = 0,\n"
        "                 b = 0, cell1 = 0, cell2 = 0, cell3 = 0; output color c1 = 0, c4 = 0, pc = 0)\n"
        "{\n"
        "    f2 = noise(s, t); f4 = noise(P, t); lattice = noise(point(1, 2, 3), 4);\n"
        "    c1 = color noise(s); c4 = color noise(P, t); pc = color pnoise(P, t, point(5, 3, 7), 2);\n"
        "    a = pnoise(x4, 4); b = pnoise(x, 4);\n"
        "    cell1 = cellnoise(2.9995); cell2 = cellnoise(3.2); cell3 = cellnoise(2.998);\n"
        "}\n");
    ASSERT_NE(s, nullptr);
    ShadingPoint sv;
    sv.s = 0.3f;
    sv.t = 1.7f;
    sv.Ps = Point(0.25f, 3.5f, -2.2f);
    int depth = slstack.depth();
    auto block = shadertest::run(s, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(param_float(s, block, "f2"), noise2(0.3f, 1.7f));
    EXPECT_EQ(param_float(s, block, "f4"), noise4(0.25f, 3.5f, -2.2f, 1.7f));
    EXPECT_EQ(param_float(s, block, "lattice"), 0.5f);
    EXPECT_EQ(param_triple(s, block, "c1"), Point(noise1(0.3f), noise1(0.3f + 52), noise1(0.3f - 17)));
    EXPECT_EQ(param_triple(s, block, "c4").y, noise4(0.25f + 52, 3.5f - 90, -2.2f + 14, 1.7f - 27));
    EXPECT_EQ(param_triple(s, block, "pc").z, pnoise4(0.25f - 17, 3.5f + 35, -2.2f - 133, 1.7f + 7, 5, 3, 7, 2));
    EXPECT_EQ(param_float(s, block, "a"), param_float(s, block, "b"));
    EXPECT_EQ(param_float(s, block, "cell1"), param_float(s, block, "cell2"));
    EXPECT_NE(param_float(s, block, "cell1"), param_float(s, block, "cell3"));
}
