// Shading-language values end to end: shaders compiled with murn, shaded once
// on a one-pixel frame by raylume, and what they print compared with answers
// worked out here.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/render_support.h"

namespace {

class SlValues : public testing::Test {
protected:
    velktest::TempDir dir;

    void compile(const std::string &name, const std::string &source)
    {
        velktest::RunResult r = velktest::murn_compile(dir, name, source);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }
    // One pixel filled by a disk facing the camera, after the world lines
    // (lights, the Surface line); the options go before the frame.
    velktest::RunResult render(const std::string &world, const std::string &options = "")
    {
        std::string rib = "Option \"searchpath\" \"shader\" [\"" + dir.path() + ":&\"]\n" + options +
                          "Display \"out.tif\" \"file\" \"rgba\"\nFormat 1 1 1\nPixelSamples 1 1\n"
                          "PixelFilter \"box\" 1 1\n" + e2e::pixel_camera(1, 1) + "WorldBegin\n" + world +
                          e2e::unit_disk(0, 0) + "WorldEnd\n";
        return e2e::raylume(dir, rib);
    }
};

// The numbers printed after "label=" in text.
std::vector<double> numbers_after(const std::string &text, const std::string &label)
{
    std::vector<double> out;
    size_t at = text.find(label + "=");
    if (at == std::string::npos) return out;
    std::istringstream in(text.substr(at + label.size() + 1));
    double v;
    while (in >> v) out.push_back(v);
    return out;
}

} // namespace

TEST_F(SlValues, LibraryFunctionsGiveTheirValues)
{
    compile("libvals",
            "surface libvals() {\n"
            "    printf(\"v= %f %f %f %f %f %f\\n\",\n"
            "           noise(point(-0.0001, .3, .4)) - noise(point(0.0001, .3, .4)),\n"
            "           pnoise(-2.6, 3) - pnoise(-11.6, 3),\n"
            "           filterstep(0.5, 0.4, 0.6, \"filter\", \"box\"), filterstep(0.5, 0.45, 0.65),\n"
            "           match(\"ba+r\", \"xbaar\"), match(\"^ba+r\", \"xbaar\"));\n"
            "    printf(\"w= %f %f %f %f\\n\",\n"
            "           noise(point(.31, .77, -1e-8)) - noise(point(.31, .77, 0)),\n"
            "           noise(point(.31, .77, -1e-7)) - noise(point(.31, .77, 0)),\n"
            "           filterstep(0, 0.099, 0.299), filterstep(0, 0.101, 0.301));\n"
            "}\n");
    velktest::RunResult r = render("Surface \"libvals\"\n");
    EXPECT_EQ(r.err, "");
    std::vector<double> v = numbers_after(r.out, "v");
    ASSERT_EQ(v.size(), 6u) << r.out;
    std::vector<double> w = numbers_after(r.out, "w");
    ASSERT_EQ(w.size(), 4u) << r.out;
    // Just below z = 0 noise has its value at 0.
    EXPECT_NEAR(w[0], 0, 1e-5);
    EXPECT_NEAR(w[1], 0, 1e-5);
    // The Catmull-Rom kernel of radius 2 integrated up to t: past t = 1 it
    // overshoots 1, coming back to 1 at t = 2.
    auto catmull_rom_step = [](double t) {
        if (t < 1) return 0.5 + 1.5 * t * t * t * t / 4 - 2.5 * t * t * t / 3 + t;
        auto g = [](double x) { return -x * x * x * x / 8 + 2.5 * x * x * x / 3 - 2 * x * x + 2 * x; };
        return 1 - 2.0 / 3 + g(t);
    };
    // Centred 0.199 and 0.201 above the edge, width 0.2 (the kernel reaching 0.4).
    EXPECT_NEAR(w[2], catmull_rom_step(0.995), 1e-4);
    EXPECT_NEAR(w[3], catmull_rom_step(1.005), 1e-4);
    EXPECT_NEAR(v[0], 0, 1e-3);    // noise is continuous across x = 0
    EXPECT_NEAR(v[1], 0, 1e-3);    // and periodic with period 3 across negative x
    EXPECT_NEAR(v[2], 0.5, 1e-5);  // half of the box [0.4, 0.6] lies past the edge
    // The Catmull-Rom kernel of radius 0.4 about 0.55, integrated up to the edge.
    EXPECT_NEAR(v[3], 0.5 + (1.5 / 4 / 256 - 2.5 / 3 / 64 + 0.25), 1e-4);
    EXPECT_EQ(v[4], 1);
    EXPECT_EQ(v[5], 0);
}

TEST_F(SlValues, ParametersNamedLikeGlobalsTakeTheirValues)
{
    compile("pg", "surface pg(float t = 5; color Cs = color(1, 0, 0)) { printf(\"t=%f Cs=%c\\n\", t, Cs); }\n");
    velktest::RunResult r = render("Surface \"pg\"\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "t=5 Cs=1 0 0\n");
    r = render("Color [0 0 1]\nSurface \"pg\" \"t\" 0.25 \"Cs\" [0 1 0]\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "t=0.25 Cs=0 1 0\n");
}

TEST_F(SlValues, IlluminanceWithAConeVisitsOnlyTheLightsInIt)
{
    compile("count", "surface count() {\n"
                     "    float n = 0; color sum = 0;\n"
                     "    illuminance(P, faceforward(normalize(N), I), 0.785398) { n += 1; sum += Cl; }\n"
                     "    printf(\"n=%f %c\\n\", n, sum);\n"
                     "}\n");
    // Towards the camera (inside the cone), side-on and from behind (outside),
    // and an ambient light (never).
    velktest::RunResult r = render("LightSource \"ambientlight\" 1 \"intensity\" 0.5\n"
                                   "LightSource \"distantlight\" 2 \"to\" [0 0 1] \"intensity\" 0.25\n"
                                   "LightSource \"distantlight\" 3 \"to\" [1 0 0]\n"
                                   "LightSource \"distantlight\" 4 \"to\" [0 0 -1]\n"
                                   "Surface \"count\"\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(numbers_after(r.out, "n"), (std::vector<double>{1, 0.25, 0.25, 0.25})) << r.out;
}

TEST_F(SlValues, ALightThatAsksForTheLightsSeesTheOthersAndLeavesTheLoopThatCalledIt)
{
    compile("count", "surface count() {\n"
                     "    float n = 0; color sum = 0;\n"
                     "    illuminance(P) { n += 1; sum += Cl; }\n"
                     "    printf(\"n=%f %c\\n\", n, sum);\n"
                     "}\n");
    compile("echo", "light echo() {\n"
                    "    color seen = diffuse(normalize(N)) * 0;\n"
                    "    illuminance(Ps) { seen += Cl; }\n"
                    "    solar(vector(0, 0, 1), 0) { Cl = 0.5 + seen; }\n"
                    "}\n");
    // The echo runs first (newest first): it sees the distant light's 0.25, not itself.
    velktest::RunResult r = render("LightSource \"distantlight\" 1 \"to\" [0 0 1] \"intensity\" 0.25\n"
                                   "LightSource \"echo\" 2\nSurface \"count\"\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Light shader \"echo\" asks for the lights while it runs; it does not see itself"),
              std::string::npos) << r.err;
    EXPECT_EQ(numbers_after(r.out, "n"), (std::vector<double>{2, 1, 1, 1})) << r.out;
}

// The loop body runs only for lights that reached the point: a spot light
// aimed away, an area light facing away and an ambient light give none.
TEST_F(SlValues, IlluminanceVisitsOnlyTheLightsThatReachThePoint)
{
    compile("reach", "surface reach() {\n"
                     "    float n = 0, c = 0;\n"
                     "    illuminance(P) { n += 1; }\n"
                     "    illuminance(P, faceforward(normalize(N), I), 0.785398) { c += 1; }\n"
                     "    printf(\"n=%f %f\\n\", n, c);\n"
                     "}\n");
    compile("panel", "light panel() { illuminate(P, N, 1.5707963) Cl = 1; }\n");
    // Each panel lies off to the side; one faces the disk, the other away,
    // and each takes four samples.
    auto panel = [](int id, const char *turn) {
        return "AttributeBegin\nAttribute \"light\" \"nsamples\" [4]\nTranslate 3 0.5 -3\n" + std::string(turn) +
               "AreaLightSource \"panel\" " + std::to_string(id) + "\nDisk 0 0.5 360\nAttributeEnd\nIlluminate " +
               std::to_string(id) + " 1\n";
    };
    velktest::RunResult r = render("LightSource \"ambientlight\" 1\n"
                                   "LightSource \"pointlight\" 2 \"from\" [0.5 0.5 -3]\n"
                                   "LightSource \"spotlight\" 3 \"from\" [0.5 0.5 -3] \"to\" [0.5 0.5 0]\n"
                                   "LightSource \"spotlight\" 4 \"from\" [0.5 0.5 -3] \"to\" [0.5 0.5 -6]\n" +
                                   panel(5, "") + panel(6, "Rotate 180 0 1 0\n") + "Surface \"reach\"\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(numbers_after(r.out, "n"), (std::vector<double>{6, 6})) << r.out;
}

// An area light cut into pieces of different sizes (surfaces or instances;
// not a definition's surfaces) lights a point as the whole surface does:
// pieces are sampled by area. With Cl = k / (L . L) and
// k = area / pi the sum is the exact form factor of the pieces.
TEST_F(SlValues, AreaLightOfUnequalPiecesGivesTheExactIrradiance)
{
    compile("panelk", "light panelk(float k = 1) { illuminate(P) Cl = k / (L . L); }\n");
    compile("irr", "surface irr() {\n"
                   "    float s = 0;\n"
                   "    illuminance(point \"world\" (0.5, 0.5, 0)) s += comp(Cl, 0) * abs(normalize(L) . vector(0, 0, 1));\n"
                   "    printf(\"s=%f\\n\", s);\n"
                   "}\n");
    // Form factor from a point to a parallel rectangle a x b at height 1, one
    // corner straight above it.
    auto F = [](double a, double b) {
        return (a / std::hypot(1, a) * std::atan(b / std::hypot(1, a)) +
                b / std::hypot(1, b) * std::atan(a / std::hypot(1, b))) / (2 * M_PI);
    };
    const std::string square = "Polygon \"P\" [0.5 0.5 1  2.5 0.5 1  2.5 2.5 1  0.5 2.5 1]\n";
    const std::string small = "Polygon \"P\" [0 0 1  0.5 0 1  0.5 0.5 1  0 0.5 1]\n";
    const std::string far = "Polygon \"P\" [2.5 0.5 1  3 0.5 1  3 1 1  2.5 1 1]\n";
    const std::string disk = "TransformBegin\nTranslate 0.5 0.5 1\nDisk 0 1 360\nTransformEnd\n";
    struct Case {
        std::string pieces;
        double area, exact;
    };
    // The same two squares as instances of a unit square.
    const std::string instances = "TransformBegin\nTranslate 0.5 0.5 1\nScale 2 2 1\nObjectInstance 1\nTransformEnd\n"
                                  "TransformBegin\nTranslate 0 0 1\nScale .5 .5 1\nObjectInstance 1\nTransformEnd\n";
    const Case cases[] = {{square + small, 4.25, F(2, 2) + F(0.5, 0.5)},
                          {disk + far, M_PI + 0.25, 0.5 + F(2.5, 0.5) - F(2, 0.5)},
                          {small + disk, M_PI + 0.25, 0.5 + F(0.5, 0.5)},
                          {instances, 4.25, F(2, 2) + F(0.5, 0.5)},
                          {"Polygon \"P\" [0.5 0.5 1  2.5 0.5 1  2.5 2.5 1  2 2.5 1  1.5 2.5 1  1 2.5 1  0.5 2.5 1]\n", 4,
                           F(2, 2)},   // one polygon, cut in pieces
                          {"ObjectBegin 2\nPolygon \"P\" [0 0 1  9 0 1  9 9 1  0 9 1]\nObjectEnd\n" + small + square, 4.25,
                           F(2, 2) + F(0.5, 0.5)}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pieces);
        velktest::RunResult r = render("ObjectBegin 1\nPolygon \"P\" [0 0 0  1 0 0  1 1 0  0 1 0]\nObjectEnd\n"
                                       "AttributeBegin\nAttribute \"light\" \"nsamples\" [255]\n"
                                       "AreaLightSource \"panelk\" 1 \"float k\" " +
                                       std::to_string(c.area / M_PI) + "\n" + c.pieces +
                                       "AttributeEnd\nIlluminate 1 1\nSurface \"irr\"\n");
        EXPECT_EQ(r.err, "");
        std::vector<double> s = numbers_after(r.out, "s");
        ASSERT_EQ(s.size(), 1u) << r.out;
        EXPECT_NEAR(s[0], c.exact, 0.04 * c.exact);
    }
}

// The bouncer's light comes along the loop's axis: a shader weighing Cl by
// L . N gets what diffuse() gets, for any axis it gathers about.
TEST_F(SlValues, TheBouncerGivesItsLightADirection)
{
    compile("bounced", "surface bounced(vector axis = 0) {\n"
                       "    normal Nf = faceforward(normalize(N), I);\n"
                       "    vector A = axis == vector 0 ? vector Nf : normalize(vtransform(\"world\", \"current\", axis));\n"
                       "    float s = 0, c = 0, l = 0;\n"
                       "    illuminance(P, A, 1.5707963) { s += comp(Cl, 0) * (normalize(L) . A); c += comp(Cl, 0); l = length(L); }\n"
                       "    printf(\"b=%f %f %f %f\\n\", s, c, l, comp(diffuse(Nf), 0));\n"
                       "}\n");
    for (const char *axis : {"", " \"vector axis\" [0.3 0 -1]"}) {
        SCOPED_TRACE(axis);
        velktest::RunResult r = render("LightSource \"bouncer\" 1\n"
                                       "LightSource \"distantlight\" 2 \"from\" [0 0 0] \"to\" [0.3 0.2 -1] \"intensity\" 2\n"
                                       "Illuminate 2 0\nAttributeBegin\n"
                                       "Attribute \"radiosity\" \"specularcolor\" [1 1 1] \"zonal\" \"zonal_shoots\"\n"
                                       "Polygon \"P\" [-40 -40 -14  -40 56 -14  56 56 -14  56 -40 -14]\nAttributeEnd\n"
                                       "Attribute \"radiosity\" \"zonal\" \"zonal_receives\"\nSurface \"bounced\"" +
                                           std::string(axis) + "\n",
                                       "Option \"radiosity\" \"steps\" 1\n");
        std::vector<double> b = numbers_after(r.out, "b");
        ASSERT_EQ(b.size(), 4u) << r.out << r.err;
        EXPECT_GT(b[1], 0.5);        // the mirror's light reached the point
        EXPECT_NEAR(b[0], b[1], 1e-4 * b[1]);
        EXPECT_NEAR(b[2], 1, 1e-5);
        if (*axis == 0) {
            EXPECT_NEAR(b[0], b[3], 1e-4 * b[3]);
        }
    }
}

// Nested loops each walk all the lights.
TEST_F(SlValues, NestedIlluminanceLoopsWalkAllTheLights)
{
    compile("nest", "surface nest() {\n"
                    "    float n = 0, m = 0;\n"
                    "    illuminance(P) { n += 1; illuminance(P) { m += 1; } }\n"
                    "    printf(\"n=%f %f\\n\", n, m);\n"
                    "}\n");
    velktest::RunResult r = render("LightSource \"pointlight\" 1 \"from\" [0 0 -3]\n"
                                   "LightSource \"pointlight\" 2 \"from\" [1 0 -3]\n"
                                   "LightSource \"pointlight\" 3 \"from\" [0 1 -3]\n"
                                   "Surface \"nest\"\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(numbers_after(r.out, "n"), (std::vector<double>{3, 9})) << r.out;
}

TEST_F(SlValues, DerivativesStayRightPastTheScratchArea)
{
    // 5000 derivative calls in one shading, far more than "derivmemory" holds.
    compile("manyd", "surface manyd() {\n"
                     "    float i, sum = 0;\n"
                     "    for (i = 0; i < 5000; i += 1) sum += Du(2 * u);\n"
                     "    printf(\"sum=%f\\n\", sum);\n"
                     "}\n");
    velktest::RunResult r = render("Surface \"manyd\"\n");
    EXPECT_EQ(r.err, "");
    std::vector<double> sum = numbers_after(r.out, "sum");
    ASSERT_EQ(sum.size(), 1u) << r.out;
    EXPECT_NEAR(sum[0], 10000, 1);

    // Texture and shadow calls past it too: the frame goes on, with the right footprints.
    compile("manyt", "surface manyt() {\n"
                     "    float i, sum = 0;\n"
                     "    for (i = 0; i < 400; i += 1) sum += float texture(\"none.tex\", s, t) + shadow(\"none.shd\", P);\n"
                     "    printf(\"sum=%f %f\\n\", sum, Du(2 * u));\n"
                     "}\n");
    r = render("Surface \"manyt\"\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Out of deriv scratch space"), std::string::npos) << r.err;
    EXPECT_EQ(numbers_after(r.out, "sum"), (std::vector<double>{0, 2})) << r.out;
}

TEST_F(SlValues, TheNoiseLibraryIsTakenWhenAskedFor)
{
    compile("nz", "surface nz() { printf(\"n=%f\\n\", noise(P)); }\n");
    const std::string ask = "Option \"render\" \"useprmannoise\" [1]\n";
    // Asked for but nowhere to be found: said, and the built-in noise is used.
    velktest::RunResult r = render("Surface \"nz\"\n", ask);
    EXPECT_NE(r.err.find("noise library librx.so not found"), std::string::npos) << r.err;
    std::vector<double> builtin = numbers_after(r.out, "n");
    ASSERT_EQ(builtin.size(), 1u) << r.out;
    EXPECT_NE(builtin[0], 0.25);

    // In the current directory: taken when asked for, and only then.
    std::filesystem::copy_file(VELK_RX_PLUGIN, dir.path() + "/librx.so");
    r = render("Surface \"nz\"\n", ask);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "n=0.25\n");
    r = render("Surface \"nz\"\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(numbers_after(r.out, "n"), builtin);
}

TEST_F(SlValues, AShaderCutShortInItsCodeIsRefusedAndTheFrameGoesOn)
{
    compile("whole", "surface whole() {\n"
                     "    float x = 2 * u;\n"
                     "    printf(\"x=%f\\n\", x);\n"
                     "    Ci = color(1, 0, 0);\n"
                     "}\n");
    std::string file = dir.read("whole.murn");
    // Every cut at a line end after "code" leaves a file that must not load.
    size_t code = file.find("\ncode\n");
    ASSERT_NE(code, std::string::npos) << file;
    for (size_t at = file.find('\n', code + 1); at + 1 < file.size(); at = file.find('\n', at + 1)) {
        dir.write("cut.murn", file.substr(0, at + 1));
        std::filesystem::remove(dir.path() + "/out.tif");
        velktest::RunResult r = render("Surface \"cut\"\n");
        SCOPED_TRACE(file.substr(0, at + 1));
        EXPECT_NE(r.err.find("cut.murn\n (" ), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("the file is cut short: its code does not end in a return"), std::string::npos)
            << r.err;
        EXPECT_EQ(r.out.find("x="), std::string::npos);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(dir.exists("out.tif"));
    }
    velktest::RunResult r = render("Surface \"whole\"\n");
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("x="), std::string::npos);
}

TEST_F(SlValues, AnIndexOutsideItsArrayIsToldOnceWithTheElementUsed)
{
    compile("tabs", "surface tabs(float k = 6, m = -1) {\n"
                    "    float tab[4] = {10, 20, 30, 40}, other[2] = {7, 8};\n"
                    "    printf(\"v=%f %f %f %f\\n\", tab[k], tab[m], tab[k - 5], other[m]);\n"
                    "}\n");
    velktest::RunResult r = render("Surface \"tabs\"\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(numbers_after(r.out, "v"), (std::vector<double>{40, 10, 20, 7})) << r.out;
    // (The printing handler shows one message of a kind per RIB line.)
    EXPECT_EQ(r.err, "WARNING: scene.rib (15): Parameter out of range\n"
                     "    --> Shader \"tabs\": array index -1 is outside an array of 2 elements; element 0 is used\n");
}

TEST_F(SlValues, EarlyReturnsLeaveTheirFunctionAndItsLightLoops)
{
    dir.write("early.sl", "float sign_of(float x) { if (x < 0) return -1; if (x == 0) return 0; return 1; }\n"
                          "float lights_until(float most) {\n"
                          "    float n = 0;\n"
                          "    illuminance(P) { n += 1; if (n >= most) return n * 10; }\n"
                          "    return n;\n"
                          "}\n"
                          "surface early() {\n"
                          "    float a = lights_until(2), b = lights_until(5), k;\n"
                          "    for (k = 0; k < 3; k += 1) b += lights_until(1);\n"
                          "    printf(\"r=%f %f %f %f %f\\n\", sign_of(-3), sign_of(0), sign_of(u + 1), a, b);\n"
                          "}\n");
    velktest::RunResult c = velktest::run({velktest::program("murn"), "-q", "early.sl"}, [&] {
        velktest::RunOptions o;
        o.cwd = dir.path();
        return o;
    }());
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.err, "");
    velktest::RunResult r = render("LightSource \"pointlight\" 1 \"from\" [0 0 -3]\n"
                                   "LightSource \"pointlight\" 2 \"from\" [1 0 -3]\n"
                                   "LightSource \"pointlight\" 3 \"from\" [0 1 -3]\n"
                                   "Surface \"early\"\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(numbers_after(r.out, "r"), (std::vector<double>{-1, 0, 1, 20, 33})) << r.out;
}

TEST_F(SlValues, VertexValuesBoundAtOnePointStayWithIt)
{
    // The polygon and the disk share one shader instance; only the polygon
    // gives "val" per vertex, so the disk must still see the default.
    compile("vv", "surface vv(float val = 0.25) { printf(\"val=%g\\n\", val); Oi = Os; Ci = 0; }\n");
    for (const char *z : {"-0.5", "0.5"}) {
        std::string at = std::string(" ") + z + " ";
        velktest::RunResult r = render("Opacity [0.5 0.5 0.5]\nSurface \"vv\"\nPolygon \"P\" [-1 -1" + at + "2 -1" + at +
                                       "2 2" + at + "-1 2" + at + "] \"varying float val\" [1 1 1 1]\n");
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find("val=1\n"), std::string::npos) << z << r.out;
        EXPECT_NE(r.out.find("val=0.25\n"), std::string::npos) << z << r.out;
    }
}
