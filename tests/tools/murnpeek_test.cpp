// The inspector end to end, on shaders compiled by murn and on native
// shader libraries: exact output, search order and every refusal.
#include <gtest/gtest.h>

#include "tests/tools/peek_support.h"

using peektest::compile;
using peektest::peek;
using velktest::TempDir;

namespace {

const char USAGE[] =
    "murnpeek - Give info on compiled shader file (.murn)\n"
    "Ostrane Rendering Tools 2.5.0.7 intelnt (Adheres to the RenderMan Standard)\n\n"
    "Usage: murnpeek <shadername>\n\n";

const char SURFACE[] =
    "surface dull(float Kd = 0.5; color tint = color(1, 0.5, 0.25); point p0 = point(1, 2, 3);\n"
    "             string map = \"wood.tx\"; varying vector v = 0; float weights[3] = {1, 2, 3};\n"
    "             matrix xf = 1; output varying float glow = 2e6;)\n"
    "{\n    Ci = Kd * tint;\n}\n";

const char SURFACE_REPORT[] =
    "surface \"dull\"\n"
    "    \"Kd\" \"uniform float\"\n\t\tDefault value: 0.5\n"
    "    \"tint\" \"uniform color\"\n\t\tDefault value: \"rgb\" [1 0.5 0.25]\n"
    "    \"p0\" \"uniform point\"\n\t\tDefault value: \"current\" [1 2 3]\n"
    "    \"map\" \"uniform string\"\n\t\tDefault value: \"wood.tx\"\n"
    "    \"v\" \"varying vector\"\n\t\tDefault value: \"current\" [0 0 0]\n"
    "    \"weights\" \"uniform float[3]\"\n\t\tDefault value: [1 2 3]\n"
    "    \"xf\" \"uniform matrix\"\n\t\tDefault value: [ 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 ]\n"
    "    \"glow\" \"output varying float\"\n\t\tDefault value: 2e+06\n"
    "\n";

} // namespace

TEST(Murnpeek, ReportsACompiledShaderByNameOrFileName)
{
    TempDir dir;
    ASSERT_EQ(compile(dir, "dull", SURFACE), "");
    for (const char *arg : {"dull", "dull.murn"}) {
        velktest::RunResult r = peek(dir, {arg});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, SURFACE_REPORT) << arg;
        EXPECT_EQ(r.err, "");
    }
}

TEST(Murnpeek, DefaultsComputedByInitialisationCode)
{
    TempDir dir;
    const std::string params =
        "(point p2 = (4, 5, 6); float s = sin(1); float pw = pow(2, 3) + 1;\n"
        " matrix m = (1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);\n"
        " vector v = 2 - vector(1, 0, 0); float neg = -pw; string q = \"a\\\"b\";\n"
        " float c = clamp(5, 0, 1); float mx = mix(0, 10, 0.25); float sm = smoothstep(0, 1, 0.25);\n"
        " float twice = pw * 2; float arr[3] = {1, 2, 3}; color cs[2] = {color(1, 0, 0), 0.5};\n"
        " float r = random(); float px = xcomp(P); color tint = Cs * 2;)\n{\n    Ci = s;\n}\n";
    ASSERT_EQ(compile(dir, "init", "surface init" + params), "");
    ASSERT_EQ(compile(dir, "initc", "surface initc" + params, "-crypt"), "");
    const std::string values =
        "    \"p2\" \"uniform point\"\n\t\tDefault value: \"current\" [4 5 6]\n"
        "    \"s\" \"uniform float\"\n\t\tDefault value: 0.841471\n"
        "    \"pw\" \"uniform float\"\n\t\tDefault value: 9\n"
        "    \"m\" \"uniform matrix\"\n\t\tDefault value: [ 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 ]\n"
        "    \"v\" \"uniform vector\"\n\t\tDefault value: \"current\" [1 2 2]\n"
        "    \"neg\" \"uniform float\"\n\t\tDefault value: -9\n"
        "    \"q\" \"uniform string\"\n\t\tDefault value: \"a\\\"b\"\n"
        // Worked out by the renderer's own operations.
        "    \"c\" \"uniform float\"\n\t\tDefault value: 1\n"
        "    \"mx\" \"uniform float\"\n\t\tDefault value: 2.5\n"
        "    \"sm\" \"uniform float\"\n\t\tDefault value: 0.15625\n"
        "    \"twice\" \"uniform float\"\n\t\tDefault value: 18\n"
        "    \"arr\" \"uniform float[3]\"\n\t\tDefault value: [1 2 3]\n"
        "    \"cs\" \"uniform color[2]\"\n\t\tDefault value: [[1 0 0] [0.5 0.5 0.5]]\n"
        // Different at every shading point: no number is made up.
        "    \"r\" \"uniform float\"\n\t\tDefault value: only known per shading point\n"
        "    \"px\" \"uniform float\"\n\t\tDefault value: only known per shading point\n"
        "    \"tint\" \"uniform color\"\n\t\tDefault value: only known per shading point\n\n";
    velktest::RunResult r = peek(dir, {"init", "initc"});
    EXPECT_EQ(r.out, "surface \"init\"\n" + values + "surface \"initc\"\n" + values);
    EXPECT_EQ(r.err, "");
}

TEST(Murnpeek, EncipheredShadersReadLikePlainOnes)
{
    TempDir dir;
    ASSERT_EQ(compile(dir, "dull", SURFACE, "-crypt"), "");
    ASSERT_NE(dir.read("dull.murn").find("encrypted\n"), std::string::npos);
    velktest::RunResult r = peek(dir, {"dull"});
    EXPECT_EQ(r.out, SURFACE_REPORT);
    EXPECT_EQ(r.err, "");
}

TEST(Murnpeek, KindsSpacesAndSeveralArguments)
{
    TempDir dir;
    ASSERT_EQ(compile(dir, "lamp", "light lamp(float intensity = 1; color lightcolor = 1;\n"
                                   "  point from = point \"shader\" (0, 0, 0);)\n"
                                   "{ solar() { Cl = intensity * lightcolor; } }\n"), "");
    ASSERT_EQ(compile(dir, "dent", "displacement dent(float Km = -0.125;) { P += Km * N; N = calculatenormal(P); }\n"), "");
    ASSERT_EQ(compile(dir, "haze", "volume haze(float density = 1e-3;) { Ci = Ci * density; }\n"), "");
    ASSERT_EQ(compile(dir, "paper", "imager paper(color bg = color \"rgb\" (1, 1, 0.75);) { Ci = bg; }\n"), "");
    velktest::RunResult r = peek(dir, {"lamp", "missing", "dent", "haze", "paper.murn"});
    EXPECT_EQ(r.status, 1);   // one was missing
    EXPECT_EQ(r.out,
              "light \"lamp\"\n"
              "    \"intensity\" \"uniform float\"\n\t\tDefault value: 1\n"
              "    \"lightcolor\" \"uniform color\"\n\t\tDefault value: \"rgb\" [1 1 1]\n"
              "    \"from\" \"uniform point\"\n\t\tDefault value: \"shader\" [0 0 0]\n\n"
              "displacement \"dent\"\n"
              "    \"Km\" \"uniform float\"\n\t\tDefault value: -0.125\n\n"
              "volume \"haze\"\n"
              "    \"density\" \"uniform float\"\n\t\tDefault value: 0.001\n\n"
              "imager \"paper\"\n"
              "    \"bg\" \"uniform color\"\n\t\tDefault value: \"rgb\" [1 1 0.75]\n\n");
    EXPECT_EQ(r.err, "murnpeek: Could not find shader \"missing\"\n");
}

TEST(Murnpeek, UsageEndsTheArguments)
{
    TempDir dir;
    ASSERT_EQ(compile(dir, "dull", SURFACE), "");
    velktest::RunResult r = peek(dir, {"-h", "dull"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, USAGE);
    r = peek(dir, {"dull", "-"});
    EXPECT_EQ(r.out, SURFACE_REPORT);
    EXPECT_EQ(r.err, USAGE);
    r = peek(dir, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, USAGE);
}

TEST(Murnpeek, SearchesTheShaderPathThenShaders)
{
    TempDir dir, lib, other;
    ASSERT_EQ(compile(lib, "dull", SURFACE), "");
    // Each element of the path is tried in turn.
    EXPECT_EQ(peek(dir, {"dull"}, other.path() + ":" + lib.path()).out, SURFACE_REPORT);
    EXPECT_EQ(peek(dir, {"dull"}, other.path()).err, "murnpeek: Could not find shader \"dull\"\n");
    // Without VELKSHADERS, SHADERS is the path.
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    opts.env["VELKSHADERS"] = "";
    opts.env["SHADERS"] = lib.path();
    EXPECT_EQ(velktest::run({velktest::program("murnpeek"), "dull"}, opts).out, SURFACE_REPORT);
}

TEST(Murnpeek, NativeShaderLibraries)
{
    TempDir dir;
    std::string library = std::string(VELK_PEEK_SHADER_DIR) + "/peeknative.intelnt.murn";
    // An earlier place on the path wins ...
    ASSERT_EQ(compile(dir, "dull", SURFACE), "");
    dir.write("peeknative.murn", dir.read("dull.murn"));
    velktest::RunResult r = peek(TempDir(), {"peeknative"}, dir.path() + ":" + VELK_PEEK_SHADER_DIR);
    EXPECT_EQ(r.out, SURFACE_REPORT);
    // ... and at one place the library wins over a text shader of its name.
    dir.write("peeknative.intelnt.murn", dir.read(library));
    r = peek(dir, {"peeknative"});
    EXPECT_EQ(r.out,
              "light \"peekshader\"\n"
              "    \"intensity\" \"uniform float\"\n\t\tDefault value: 2.5\n"
              "    \"lightcolor\" \"varying color\"\n\t\tDefault value: \"rgb\" [1 0.5 0]\n"
              "    \"from\" \"uniform point\"\n\t\tDefault value: \"shader\" [0 1 -2]\n"
              "    \"texname\" \"uniform string\"\n\t\tDefault value: \"spot.tx\"\n"
              "    \"xform\" \"uniform matrix\"\n\t\tDefault value: [ 2 0 0 0 0 2 0 0 0 0 2 0 1 2 3 1 ]\n"
              "    \"weights\" \"uniform float[3]\"\n\t\tDefault value: [1 2 3]\n"
              "    \"Nout\" \"output varying normal\"\n\t\tDefault value: \n"
              "    \"dir\" \"uniform vector\"\n\t\tDefault value: \"current\" [0 0 1]\n"
              "    \"h\" \"unknown unknown\"\n\t\tDefault value: \n\n");
    EXPECT_EQ(r.err, "");
}

TEST(Murnpeek, RefusedShadersAreReportedAndSkipped)
{
    TempDir dir;
    std::string bad = std::string(VELK_PEEK_SHADER_DIR) + "/peekbadsize.intelnt.murn";
    velktest::RunResult r = peek(dir, {"peekbadsize"}, VELK_PEEK_SHADER_DIR);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "murnargs error: Compiled shader " + bad +
                         " reports a different size of the\n\tPARAM_INFO structure.  Recompile!\n"
                         "murnpeek: Bad compiled shader " + bad + ": refused\n");

    dir.write("fake.intelnt.murn", "not a library\n");
    r = peek(dir, {"fake"});
    EXPECT_EQ(r.err.rfind("Found DSO ./fake.intelnt.murn, but couldn't dlopen: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\nmurnpeek: Bad compiled shader ./fake.intelnt.murn: cannot be loaded\n"),
              std::string::npos);

    dir.write("newer.murn", "version VELK 2.5.1g\nsurface newer\nparam\tfloat\tKd\t\t1\ncode\n\treturn\n");
    dir.write("older.murn", "version VELK 2.4.9\nsurface older\nparam\tfloat\tKd\t\t1\ncode\n\treturn\n");
    dir.write("strange.murn", "version OTHER\nsurface strange\nparam\tfloat\tKd\t\t1\ncode\n\treturn\n");
    dir.write("nokind.murn", "version VELK 2.5.0g\nshader nokind\n");
    r = peek(dir, {"newer", "older", "strange", "nokind"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "surface \"older\"\n    \"Kd\" \"uniform float\"\n\t\tDefault value: 1\n\n"
                     "surface \"strange\"\n    \"Kd\" \"uniform float\"\n\t\tDefault value: 1\n\n");
    EXPECT_EQ(r.err, "Shader \"./newer.murn\" was compiled by a more recent VELK\n"
                     "\tYou can only render this shader with VELK 2.5.1 or newer\n"
                     "murnpeek: Bad compiled shader ./newer.murn: refused\n"
                     "Unrecognized compiled shader version \"OTHER\"\n"
                     "murnpeek: Bad compiled shader ./nokind.murn: line 2: not a compiled shader (no shader kind)\n");
}

TEST(Murnpeek, DamagedShadersAreNamedWithWhatIsWrongAndFail)
{
    TempDir dir;
    dir.write("cut.murn", "version VELK 2.5.0g\nsurface cut\nparam\tfloat\tKa\t\t1\nparam\tfloat");
    dir.write("stray.murn", "version VELK 2.5.0g\nsurface stray\nparam\tfloat\tKa\t\t1\n}\n"
                            "param\tfloat\tKd\t\t2\ncode\n");
    dir.write("garbage.murn", std::string("\x7f\x45\x00\x93 junk \xff\xfe", 13));
    // Cut at a line end inside the code: the interface is whole, the shader is not.
    dir.write("short.murn", "version VELK 2.5.0g\nsurface short\nparam\tfloat\tKa\t\t1\ncode\n"
                            "\tpushif\t1 \n\treturn_area\n");
    dir.write("vast.murn", "version VELK 2.5.0g\nsurface vast\nparam\tfloat\tKd[1e30]\t0\ncode\n\treturn\n");
    for (const char *name : {"cut", "stray", "garbage", "short", "vast"}) {
        velktest::RunResult r = peek(dir, {name});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.out, "") << name;
        EXPECT_EQ(r.err.rfind(std::string("murnpeek: Bad compiled shader ./") + name + ".murn: line ", 0), 0u)
            << r.err;
    }
}

TEST(Murnpeek, StandardShadersWithConstantsAmongTheirParameters)
{
    // The compiler writes the string constants of a default as locals right
    // after the parameter that needs them; the parameters after them count.
    TempDir dir;
    velktest::RunResult r = peek(dir, {"spotlight", "plastic.murn"}, velktest::build_path("shaders"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "light \"spotlight\"\n"
              "    \"intensity\" \"uniform float\"\n\t\tDefault value: 1\n"
              "    \"lightcolor\" \"uniform color\"\n\t\tDefault value: \"rgb\" [1 1 1]\n"
              "    \"from\" \"uniform point\"\n\t\tDefault value: \"shader\" [0 0 0]\n"
              "    \"to\" \"uniform point\"\n\t\tDefault value: \"shader\" [0 0 1]\n"
              "    \"coneangle\" \"uniform float\"\n\t\tDefault value: 0.523599\n"
              "    \"conedeltaangle\" \"uniform float\"\n\t\tDefault value: 0.0872665\n"
              "    \"beamdistribution\" \"uniform float\"\n\t\tDefault value: 2\n\n"
              "surface \"plastic\"\n"
              "    \"Ka\" \"uniform float\"\n\t\tDefault value: 1\n"
              "    \"Kd\" \"uniform float\"\n\t\tDefault value: 0.5\n"
              "    \"Ks\" \"uniform float\"\n\t\tDefault value: 0.5\n"
              "    \"roughness\" \"uniform float\"\n\t\tDefault value: 0.1\n"
              "    \"specularcolor\" \"uniform color\"\n\t\tDefault value: \"rgb\" [1 1 1]\n\n");
}
