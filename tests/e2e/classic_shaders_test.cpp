// Classic shaders written in the textbook style (tests/data/classic) compile
// with murn and render what their formulas give: one small frame each on the
// pixel camera, with a few pixels checked. Noise-based patterns are checked
// against the range of their colours and for visible variation only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/render_support.h"

namespace {

// A pixel whose colour lies, per channel, between lo and hi.
struct PixelCheck {
    int x, y;
    float lo[3], hi[3];
};

PixelCheck exact(int x, int y, float r, float g, float b, float tolerance = 2e-3f)
{
    return {x, y, {r - tolerance, g - tolerance, b - tolerance}, {r + tolerance, g + tolerance, b + tolerance}};
}

PixelCheck between(int x, int y, float lo, float hi)
{
    return {x, y, {lo, lo, lo}, {hi, hi, hi}};
}

// Per-channel bounds of every pixel (none when hi is all zero).
struct Range {
    float lo[3], hi[3];
};

Range grey(float lo, float hi)
{
    return {{lo, lo, lo}, {hi, hi, hi}};
}

// Between two colours scaled by k, with a little room.
Range colours(const float a[3], const float b[3], float k = 1, float add = 0)
{
    Range r;
    for (int c = 0; c < 3; ++c) {
        r.lo[c] = std::min(a[c], b[c]) * k + add - 1e-3f;
        r.hi[c] = std::max(a[c], b[c]) * k + add + 1e-3f;
    }
    return r;
}

struct Row {
    const char *title;
    std::string frame;                 // options before the world
    std::string world;
    std::vector<PixelCheck> pixels;
    Range all = {};
    float spread = 0;                  // the red channel varies at least this much
};

// The frame's picture plane: s across and t up the 8 x 8 frame.
const std::string PLANE = "Patch \"bilinear\" \"P\" [0 0 0 8 0 0 0 8 0 8 8 0]\n";
// A distant light shining from the camera, squarely onto the plane.
const std::string KEY = "LightSource \"distantlight\" 1\n";
// A constant red plane three units behind the picture plane.
const std::string RED_BEHIND = "AttributeBegin\nSurface \"constant\"\nColor [1 0 0]\nTranslate 0 0 3\n" + PLANE +
                               "AttributeEnd\n";

std::string surface(const std::string &name, const std::string &params = "")
{
    return "Surface \"" + name + "\" " + params + "\n" + PLANE;
}

std::vector<Row> rows()
{
    const float lightwood[3] = {0.69f, 0.44f, 0.25f}, darkwood[3] = {0.35f, 0.22f, 0.08f};
    const float marblewhite[3] = {0.9f, 0.9f, 0.88f}, marblevein[3] = {0.2f, 0.22f, 0.2f};
    const float sky[3] = {0.15f, 0.3f, 0.8f}, cloud[3] = {1, 1, 1};
    const float fog_near = 0.5f + 0.5f * std::exp(-5 / 4.0f), fog_far = 0.5f + 0.5f * std::exp(-9 / 4.0f);
    return {
        // Patterns on the plane lit head on (diffuse 1).
        {"wood", "", KEY + surface("wood"), {}, colours(lightwood, darkwood, 0.8f), 0.1f},
        {"marble", "", KEY + surface("marble"), {}, colours(marblewhite, marblevein, 0.7f, 0.3f), 0.1f},
        {"granite", "", "Color [1 1 1]\n" + KEY + surface("granite"), {}, grey(0, 0.8f), 0.05f},
        {"brick", "", KEY + surface("brick"),
         {exact(2, 1, 0.6f, 0.2f, 0.15f), exact(4, 4, 0.6f, 0.2f, 0.15f), exact(0, 0, 0.5f, 0.5f, 0.5f)}},
        {"screen: the red plane shows through the holes", "", KEY + RED_BEHIND + surface("screen", "\"Ks\" 0"),
         {exact(0, 0, 0.75f, 0.75f, 0.75f), exact(1, 0, 1, 0, 0), exact(1, 1, 0.75f, 0.75f, 0.75f)}},
        {"velvet", "", "Color [1 0 0]\n" + KEY + surface("velvet"), {exact(3, 3, 0.125f, 0.025f, 0.025f)}},
        {"plaid", "", KEY + surface("plaid"),
         {exact(0, 1, 0.6f, 0.1f, 0.1f), exact(1, 0, 0.1f, 0.1f, 0.5f), exact(0, 0, 0.35f, 0.1f, 0.3f)}},
        {"clouds", "", surface("clouds"), {}, colours(sky, cloud), 0.2f},
        {"checker", "", "Color [0.9 0.8 0.7]\n" + KEY + surface("checker"),
         {exact(0, 0, 0.05f, 0.05f, 0.05f), exact(2, 0, 0.9f, 0.8f, 0.7f), exact(0, 2, 0.9f, 0.8f, 0.7f)}},
        {"polkadot", "", "Color [0.2 0.4 0.6]\n" + KEY + surface("polkadot"),
         {exact(1, 1, 1, 0.8f, 0), exact(0, 0, 0.2f, 0.4f, 0.6f)}},
        {"gooch: warm where it faces the light", "", "Color [0.4 0.2 0.2]\n" + KEY + surface("gooch"),
         {exact(5, 5, 0.8f, 0.7f, 0.1f)}},
        {"phongplastic", "", "Color [0.5 0.25 1]\n" + KEY + surface("phongplastic"),
         {exact(2, 6, 0.3f + 0.4f, 0.15f + 0.4f, 0.6f + 0.4f)}},
        {"rasterramp: the frame's size from the Format option", "", surface("rasterramp"),
         {exact(0, 0, 0.0625f, 0.9375f, 0.25f), exact(5, 2, 0.6875f, 0.6875f, 0.25f)}},
        // A dim light skipped by continue; a third light never asked after break.
        {"toon: continue", "",
         "LightSource \"distantlight\" 1 \"intensity\" 0.5\nLightSource \"distantlight\" 2 \"intensity\" 0.09\n"
         "Color [1 0.5 0.25]\n" + surface("toon"),
         {exact(4, 4, 0.5f, 0.25f, 0.125f)}},
        {"toon: break", "",
         "LightSource \"distantlight\" 1 \"intensity\" 0.7\nLightSource \"distantlight\" 2 \"intensity\" 0.7\n"
         "LightSource \"distantlight\" 3 \"intensity\" 0.7\nColor [0.5 0.5 0.25]\n" + surface("toon"),
         {exact(4, 4, 0.7f, 0.7f, 0.35f)}},
        // Traced rays: straight through the glass to the red plane (Fresnel
        // reflectance 0.04 head on), and a mirror facing a green sky.
        {"glass", "", RED_BEHIND + surface("glass"), {exact(3, 3, 0.96f, 0, 0, 5e-3f)}},
        {"chrome", "",
         "AttributeBegin\nAttribute \"invisible\" \"primary\" [1]\nSurface \"constant\"\nColor [0 1 0]\n"
         "Translate 4 4 0\nSphere 100 -100 100 360\nAttributeEnd\nColor [1 0.5 1]\n" + surface("chrome"),
         {exact(6, 1, 0, 0.5f, 0)}},
        // Displacements only tilt the normal of the plane under the key light.
        {"ripple", "", KEY + "Displacement \"ripple\"\n" + surface("matte"), {}, grey(0.85f, 1 + 1e-4f), 0.03f},
        {"dented", "", KEY + "Displacement \"dented\"\n" + surface("matte"), {}, grey(0.8f, 1 + 1e-4f), 0.02f},
        // Fog over five units of ray (left half) and nine (right half).
        {"thickfog", "",
         "Atmosphere \"thickfog\"\nSurface \"constant\"\nColor [1 1 1]\n"
         "Patch \"bilinear\" \"P\" [0 0 0 4 0 0 0 8 0 4 8 0]\nTranslate 0 0 4\n"
         "Patch \"bilinear\" \"P\" [4 0 0 8 0 0 4 8 0 8 8 0]\n",
         {exact(1, 3, fog_near, fog_near, 0.6f + 0.4f * std::exp(-5 / 4.0f)),
          exact(6, 3, fog_far, fog_far, 0.6f + 0.4f * std::exp(-9 / 4.0f))}},
        {"background imager", "Imager \"background\"\n",
         "Surface \"constant\"\nColor [1 1 0]\nPatch \"bilinear\" \"P\" [0 0 0 4 0 0 0 4 0 4 4 0]\n",
         {exact(1, 6, 1, 1, 0), exact(6, 1, 0.2f, 0.3f, 0.4f)}},
        {"vignette imager: the frame's size from the Format option", "Imager \"vignette\"\n",
         "Surface \"constant\"\nColor [1 1 1]\n" + PLANE,
         {exact(4, 4, 0.984375f, 0.984375f, 0.984375f), exact(0, 0, 0.234375f, 0.234375f, 0.234375f),
          exact(4, 0, 0.609375f, 0.609375f, 0.609375f)}},
        // Lights on a white matte plane.
        {"spotlamp", "",
         "LightSource \"spotlamp\" 1 \"intensity\" 16 \"from\" [4 4 -4] \"to\" [4 4 0]\n" + surface("matte"),
         {exact(3, 3, 0.9548f, 0.9548f, 0.9548f), exact(2, 3, 0.8043f, 0.8043f, 0.8043f),
          exact(2, 2, 0.0348f, 0.0348f, 0.0348f), exact(0, 0, 0, 0, 0)}},
        {"solarlamp", "", "LightSource \"solarlamp\" 1 \"float elevation\" -60 \"intensity\" 2\n" + surface("matte"),
         {exact(3, 3, 1.7321f, 1.7321f, 1.7321f)}},
        {"skylight", "", "LightSource \"skylight\" 1\n" + surface("matte"), {exact(3, 3, 0.525f, 0.5875f, 0.8f)}},
        // The disk hides no pixel centre but shadows the four in the middle.
        {"shadowlamp", "",
         "TransformBegin\nTranslate 0 4 -4\nLightSource \"shadowlamp\" 1 \"intensity\" 58.5\nTransformEnd\n"
         "Surface \"matte\"\nAttributeBegin\nTranslate 2 4 -2\nDisk 0 0.5 360\nAttributeEnd\n" + PLANE,
         {exact(3, 3, 0, 0, 0), exact(4, 4, 0, 0, 0), exact(6, 3, 0.5230f, 0.5230f, 0.5230f),
          exact(2, 3, 2.1926f, 2.1926f, 2.1926f)}},
        {"arealamp: brightest under the lamp", "",
         "AttributeBegin\nTranslate 4 4 -3\nAttribute \"invisible\" \"primary\" [1]\n"
         "AreaLightSource \"arealamp\" 1 \"intensity\" 10\nDisk 0 1 360\nAttributeEnd\nIlluminate 1 1\n" +
             surface("matte"),
         {between(3, 3, 0.4f, 1.6f), between(4, 4, 0.4f, 1.6f), between(0, 0, 0, 0.25f), between(7, 7, 0, 0.25f)},
         grey(0, 2), 0.3f},
    };
}

} // namespace

TEST(ClassicShaders, CompileAndRenderWhatTheirFormulasGive)
{
    velktest::TempDir dir;
    int compiled = 0;
    for (const auto &entry : std::filesystem::directory_iterator(velktest::source_path("tests/data/classic"))) {
        if (entry.path().extension() != ".sl") continue;
        std::string name = entry.path().stem().string();
        velktest::RunResult r = velktest::run({velktest::program("murn"), "-q", "-o", dir.path() + "/" + name + ".murn",
                                               entry.path().string()});
        EXPECT_EQ(r.status, 0) << name << "\n" << r.err;
        EXPECT_EQ(r.err, "") << name;
        ++compiled;
    }
    EXPECT_GE(compiled, 25);

    for (const Row &row : rows()) {
        SCOPED_TRACE(row.title);
        e2e::Render r = e2e::render_floatdump("Option \"searchpath\" \"shader\" [\"" + dir.path() + ":&\"]\n" +
                                              e2e::exact_floatdump_options(8, 8) + e2e::pixel_camera(8, 8) +
                                              row.frame + "WorldBegin\n" + row.world + "WorldEnd\n");
        EXPECT_EQ(r.run.status, 0);
        EXPECT_EQ(r.run.err, "");
        ASSERT_EQ(r.image.width, 8) << r.run.out;
        for (const PixelCheck &p : row.pixels)
            for (int c = 0; c < 3; ++c) {
                float v = r.image.at(p.x, p.y, c);
                EXPECT_TRUE(v >= p.lo[c] && v <= p.hi[c])
                    << "pixel " << p.x << ", " << p.y << " channel " << c << ": " << v << " not in [" << p.lo[c]
                    << ", " << p.hi[c] << "]";
            }
        float least = 1e30f, most = -1e30f;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                least = std::min(least, r.image.at(x, y, 0));
                most = std::max(most, r.image.at(x, y, 0));
                for (int c = 0; row.all.hi[0] > 0 && c < 3; ++c)
                    EXPECT_TRUE(r.image.at(x, y, c) >= row.all.lo[c] && r.image.at(x, y, c) <= row.all.hi[c])
                        << "pixel " << x << ", " << y << " channel " << c << ": " << r.image.at(x, y, c);
            }
        EXPECT_GE(most - least, row.spread);
    }
}
