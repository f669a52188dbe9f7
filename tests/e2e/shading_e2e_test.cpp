// Shaded pixels whose values follow from the shading formulas: the standard
// shaders found with no shader path set, lights, shadows, transparency and
// matte objects.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/render_support.h"

using e2e::Image;
using e2e::unit_disk;

namespace {

// Renders a world on the pixel camera of w x h pixels to a float dump.
Image pixel_world(int w, int h, const std::string &world)
{
    e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(w, h) + e2e::pixel_camera(w, h) +
                                          "WorldBegin\n" + world + "WorldEnd\n");
    EXPECT_EQ(r.run.status, 0);
    EXPECT_EQ(r.run.err, "");
    EXPECT_FALSE(r.image.empty()) << r.run.out;
    return r.image;
}

void expect_pixel(const Image &im, int x, int y, float r, float g, float b, float a, float tolerance = 0)
{
    SCOPED_TRACE(testing::Message() << "pixel " << x << ", " << y);
    EXPECT_NEAR(im.at(x, y, 0), r, tolerance);
    EXPECT_NEAR(im.at(x, y, 1), g, tolerance);
    EXPECT_NEAR(im.at(x, y, 2), b, tolerance);
    EXPECT_NEAR(im.at(x, y, 3), a, tolerance);
}

} // namespace

TEST(ShadedPixels, MatteSphereUnderADistantLightFromTheCamera)
{
    // The light shines along the view axis, so the sphere's nearest point
    // faces it squarely: Ci = Cs x Kd x 1, without ambient light. 8-bit
    // output without dither rounds 255 x Ci (178.5, 89.25, 44.625) to the
    // nearest level.
    velktest::TempDir dir;
    velktest::RunResult run = e2e::raylume(dir,
        "Display \"matte.tif\" \"file\" \"rgba\"\nFormat 31 31 1\nPixelSamples 1 1\n"
        "PixelFilter \"box\" 1 1\nQuantize \"rgba\" 255 0 255 0\n"
        "Projection \"perspective\" \"fov\" 30\nTranslate 0 0 6\n"
        "WorldBegin\nLightSource \"distantlight\" 1 \"intensity\" 1\n"
        "Color [1 0.5 0.25]\nSurface \"matte\" \"Kd\" 0.7\nSphere 1 -1 1 360\nWorldEnd\n");
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    Image im = e2e::read_tiff(dir.path() + "/matte.tif");
    ASSERT_EQ(im.width, 31);
    ASSERT_EQ(im.channels, 4);
    expect_pixel(im, 15, 15, 179, 89, 45, 255);
    expect_pixel(im, 0, 0, 0, 0, 0, 0);
    // Away from the centre the light falls more obliquely.
    EXPECT_LT(im.at(15, 10, 0), im.at(15, 15, 0));
    EXPECT_GT(im.at(15, 10, 0), 0);
}

TEST(ShadedPixels, ConstantShadingGivesExactlyItsColour)
{
    Image im = pixel_world(4, 4, "Surface \"constant\"\nColor [0.3 0.6 0.9]\n" + unit_disk(1, 1) +
                                     "Opacity [0.25 0.25 0.25]\n" + unit_disk(2, 2));
    ASSERT_FALSE(im.empty());
    expect_pixel(im, 1, 2, 0.3f, 0.6f, 0.9f, 1);
    // Ci = Os x Cs, alpha the mean opacity.
    expect_pixel(im, 2, 1, 0.3f * 0.25f, 0.6f * 0.25f, 0.9f * 0.25f, 0.25f);
    expect_pixel(im, 0, 0, 0, 0, 0, 0);
}

TEST(ShadedPixels, WithoutASurfaceTheDefaultSurfaceShades)
{
    // Seen head on, the default surface gives Cs x (Ka + Kd) = Cs.
    Image im = pixel_world(3, 3, "Color [0.2 0.4 0.8]\n" + unit_disk(1, 1));
    ASSERT_FALSE(im.empty());
    expect_pixel(im, 1, 1, 0.2f, 0.4f, 0.8f, 1, 1e-6f);
}

TEST(ShadedPixels, HalfTransparentSquareOverARedOneWhateverTheOrder)
{
    // Front: Ci = 0.5 x blue, Oi = 0.5; behind it red shows through by 1 - 0.5.
    const std::string front = "AttributeBegin\nColor [0 0 1]\nOpacity [0.5 0.5 0.5]\n" +
                              unit_disk(1, 1, -1) + unit_disk(2, 1, -1) + "AttributeEnd\n";
    const std::string back = "AttributeBegin\nColor [1 0 0]\n" + unit_disk(0, 1, 1) + unit_disk(1, 1, 1) +
                             "AttributeEnd\n";
    for (const std::string &world : {front + back, back + front}) {
        Image im = pixel_world(4, 3, "Surface \"constant\"\n" + world);
        ASSERT_FALSE(im.empty());
        expect_pixel(im, 1, 1, 0.5f, 0, 0.5f, 1);   // both
        expect_pixel(im, 2, 1, 0, 0, 0.5f, 0.5f);   // the transparent one alone
        expect_pixel(im, 0, 1, 1, 0, 0, 1);         // the red one alone
    }
}

TEST(ShadedPixels, MatteObjectCutsAHoleWithAlphaZero)
{
    Image im = pixel_world(4, 3, "Surface \"constant\"\nColor [1 0 0]\n" + unit_disk(0, 1, 1) +
                                     unit_disk(1, 1, 1) +
                                     "Matte 1\nColor [0 1 0]\n" + unit_disk(1, 1, -1) + unit_disk(2, 1, -1));
    ASSERT_FALSE(im.empty());
    expect_pixel(im, 0, 1, 1, 0, 0, 1);
    expect_pixel(im, 1, 1, 0, 0, 0, 0);   // the hole hides the red disk
    expect_pixel(im, 2, 1, 0, 0, 0, 0);
}

TEST(ShadedPixels, ShadowIsDarkerByTheOccludersOpacity)
{
    // A receiving sphere lit from the camera's side at 45 degrees; a second
    // sphere off the line of sight stands between the centre of the receiver
    // and the light. Its shadow ray crosses the occluder twice, letting
    // (1 - opacity) through at each crossing.
    auto centre = [](const std::string &occluder) {
        e2e::Render r = e2e::render_floatdump(
            e2e::exact_floatdump_options(16, 16) +
            "Projection \"orthographic\"\nScreenWindow -4 4 -4 4\n"
            "WorldBegin\nAttribute \"light\" \"shadows\" \"on\"\n"
            "LightSource \"distantlight\" 1 \"from\" [0 0 0] \"to\" [1 0 1]\n"
            "Surface \"matte\"\n"
            "AttributeBegin\nTranslate 0 0 10\nSphere 2 -2 2 360\nAttributeEnd\n" +
            occluder + "WorldEnd\n");
        EXPECT_EQ(r.run.status, 0);
        EXPECT_EQ(r.run.err, "");
        EXPECT_FALSE(r.image.empty()) << r.run.out;
        return r.image.empty() ? -1.0f : r.image.at(8, 8, 1);
    };
    auto occluder = [](float opacity) {
        return "AttributeBegin\nOpacity [" + std::to_string(opacity) + " " + std::to_string(opacity) + " " +
               std::to_string(opacity) + "]\nTranslate -4 0 4\nSphere 1 -1 1 360\nAttributeEnd\n";
    };
    float lit = centre("");
    EXPECT_GT(lit, 0.55f);   // a little under cos 45
    EXPECT_NEAR(centre(occluder(0.4f)), lit * 0.6f * 0.6f, 1e-5);
    EXPECT_NEAR(centre(occluder(0.75f)), lit * 0.25f * 0.25f, 1e-5);
    EXPECT_EQ(centre(occluder(1)), 0.0f);
}

namespace {

// A world on a 9 x 9 pixel camera with one matte plane (a wide disk), white
// unless the world sets a colour first, covering the view at depth 5.
Image lit_plane(const std::string &lights, const std::string &surface = "Surface \"matte\"\n")
{
    return pixel_world(9, 9, lights + surface + "Translate 4.5 4.5 0\nDisk 0 20 360\n");
}

} // namespace

TEST(ShadedPixels, PointLightFallsOffWithTheSquareOfDistance)
{
    // The light stands 4 units in front of the centre of pixel (4, 4).
    Image im = lit_plane("LightSource \"pointlight\" 1 \"from\" [4.5 4.5 -4] \"intensity\" 8\n");
    ASSERT_FALSE(im.empty());
    expect_pixel(im, 4, 4, 0.5f, 0.5f, 0.5f, 1, 1e-6f);
    // One unit aside: intensity / 17, at a cosine of 4 / sqrt(17).
    float aside = float(8.0 / 17 * 4 / std::sqrt(17.0));
    expect_pixel(im, 5, 4, aside, aside, aside, 1, 1e-6f);
    expect_pixel(im, 4, 3, aside, aside, aside, 1, 1e-6f);
}

TEST(ShadedPixels, SpotLightShinesInsideItsConeWithItsBeamDistribution)
{
    Image im = lit_plane("LightSource \"spotlight\" 1 \"from\" [4.5 4.5 -4] \"to\" [4.5 4.5 0] "
                         "\"intensity\" 8 \"coneangle\" 0.5 \"conedeltaangle\" 0.1\n");
    ASSERT_FALSE(im.empty());
    expect_pixel(im, 4, 4, 0.5f, 0.5f, 0.5f, 1, 1e-6f);
    // One unit aside, well inside the cone: cos^2 of the beam angle over the
    // squared distance, times the cosine at the surface.
    double c = 4 / std::sqrt(17.0);
    float aside = float(8 * c * c / 17 * c);
    expect_pixel(im, 5, 4, aside, aside, aside, 1, 1e-6f);
    // Three units aside lies outside the cone (about 37 degrees off axis).
    expect_pixel(im, 7, 4, 0, 0, 0, 1);
}

TEST(ShadedPixels, AmbientLightScalesTheSurfaceColour)
{
    Image im = lit_plane("LightSource \"ambientlight\" 1 \"intensity\" 0.25 \"lightcolor\" [1 0.5 1]\n"
                         "Color [1 1 0.5]\n",
                         "Surface \"matte\" \"Ka\" 0.8\n");
    ASSERT_FALSE(im.empty());
    expect_pixel(im, 2, 6, 0.2f, 0.1f, 0.1f, 1, 1e-6f);
}

TEST(ShadedPixels, PlasticAndMetalHighlightsFacingTheLight)
{
    // The light comes from the camera and the plane faces it: both the
    // diffuse and the specular factors are 1.
    const std::string light = "LightSource \"distantlight\" 1\nColor [1 0 0.5]\n";
    Image plastic = lit_plane(light, "Surface \"plastic\"\n");
    ASSERT_FALSE(plastic.empty());
    expect_pixel(plastic, 4, 4, 0.5f + 0.5f, 0.5f, 0.25f + 0.5f, 1, 1e-5f);
    Image metal = lit_plane(light, "Surface \"metal\" \"Ks\" 0.6\n");
    ASSERT_FALSE(metal.empty());
    expect_pixel(metal, 4, 4, 0.6f, 0, 0.3f, 1, 1e-5f);
}

TEST(ShadedPixels, FogAndDepthCueBlendTowardsTheirBackground)
{
    // The plane lies 5 units from the camera: fog over a distance of 5 keeps
    // exp(-1) of the surface.
    Image fog = lit_plane("Atmosphere \"fog\" \"distance\" 5 \"background\" [0 0 1]\n", "Surface \"constant\"\n");
    ASSERT_FALSE(fog.empty());
    float kept = float(std::exp(-1.0));
    expect_pixel(fog, 4, 4, kept, kept, 1, 1, 1e-6f);
    // Depth cue: with clipping planes at 1 and 11 the plane is at depth 0.5.
    e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(3, 3) + e2e::pixel_camera(3, 3) +
                                          "Clipping 1 11\nWorldBegin\n"
                                          "Atmosphere \"depthcue\" \"background\" [0 0 1]\n"
                                          "Surface \"constant\"\nTranslate 0 0 1\n" + unit_disk(1, 1) +
                                          "WorldEnd\n");
    ASSERT_FALSE(r.image.empty()) << r.run.out << r.run.err;
    expect_pixel(r.image, 1, 1, 0.5f, 0.5f, 1, 1, 1e-6f);
}

TEST(ShadedPixels, BreakLeavesTheLightLoopWithNoLightCurrent)
{
    // Red: the first light's intensity, read inside the loop; green: 1 when
    // the loop ran once; blue: 1 when no light is current after it.
    velktest::TempDir dir;
    velktest::RunResult c = velktest::murn_compile(dir, "firstlight",
        "surface firstlight() {\n"
        "    float k = 0, runs = 0, after = 0;\n"
        "    illuminance(P) { lightsource(\"intensity\", k); runs += 1; break; }\n"
        "    float found = lightsource(\"intensity\", after);\n"
        "    Ci = color(k, runs, 1 - found); Oi = 1;\n"
        "}\n");
    ASSERT_EQ(c.status, 0) << c.err;
    e2e::Render r = e2e::render_floatdump("Option \"searchpath\" \"shader\" [\"" + dir.path() + ":&\"]\n" +
                                          e2e::exact_floatdump_options(3, 3) + e2e::pixel_camera(3, 3) +
                                          "WorldBegin\nLightSource \"distantlight\" 1 \"intensity\" 0.25\n"
                                          "LightSource \"distantlight\" 2 \"intensity\" 0.25\n"
                                          "Surface \"firstlight\"\n" + unit_disk(1, 1) + "WorldEnd\n");
    EXPECT_EQ(r.run.err, "");
    ASSERT_FALSE(r.image.empty()) << r.run.out;
    expect_pixel(r.image, 1, 1, 0.25f, 1, 1, 1);
}
