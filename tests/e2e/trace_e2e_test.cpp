// Shaders that fire rays, rendered by raylume: a mirror inside a red room
// shows the room, a ray into empty space reports no hit, and the faces of a
// mesh reflect and shadow as the same faces written one by one.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "tests/support/render_support.h"

namespace {

class TracedShading : public testing::Test {
protected:
    velktest::TempDir dir;

    void SetUp() override
    {
        compile("redroom", "surface redroom() { Ci = color(1, 0, 0); Oi = color(1, 1, 1); }\n");
        compile("mirror", "surface mirror() { Ci = trace(P, reflect(I, N)); Oi = color(1, 1, 1); }\n");
        // Red: the distance towards the camera in units of 1e38; green: the
        // distance through the sphere.
        compile("probe",
                "surface probe(vector away = vector(0, 0, -1), into = vector(0, 0, 1)) {\n"
                "    point ph = point(0, 0, 0); normal nh = normal(0, 0, 0);\n"
                "    Ci = color(rayhittest(P, away, ph, nh) / 1e38, rayhittest(P, into, ph, nh), 0);\n"
                "    Oi = color(1, 1, 1);\n"
                "}\n");
    }
    void compile(const std::string &name, const std::string &source)
    {
        velktest::RunResult r = velktest::murn_compile(dir, name, source);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    // A 3 x 3 frame filled by a unit sphere five units down +z with the
    // shader, optionally inside a red room the camera does not see directly.
    e2e::Image render(const std::string &shader, bool room)
    {
        std::string rib = e2e::exact_floatdump_options(3, 3) + "Option \"searchpath\" \"shader\" [\"" +
                          dir.path() + ":&\"]\nProjection \"perspective\" \"fov\" 5\nWorldBegin\n";
        if (room)
            rib += "AttributeBegin\nAttribute \"invisible\" \"primary\" [1]\nSurface \"redroom\"\n"
                   "Sphere 100 -100 100 360\nAttributeEnd\n";
        rib += "Translate 0 0 5\nSurface \"" + shader + "\"\nSphere 1 -1 1 360\nWorldEnd\n";
        e2e::Render r = e2e::render_floatdump(rib);
        EXPECT_EQ(r.run.status, 0);
        EXPECT_EQ(r.run.err, "");
        return r.image;
    }
};

} // namespace

TEST_F(TracedShading, MirrorInsideARedRoomShowsRed)
{
    e2e::Image im = render("mirror", true);
    ASSERT_EQ(im.width, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(im.at(x, y, 0), 1) << x << "," << y;
            EXPECT_EQ(im.at(x, y, 1), 0) << x << "," << y;
        }
    // Without the room the mirror has nothing to show.
    im = render("mirror", false);
    ASSERT_EQ(im.width, 3);
    EXPECT_EQ(im.at(1, 1, 0), 0);
}

TEST_F(TracedShading, RayHitTestMissesIntoEmptySpace)
{
    e2e::Image im = render("probe", false);
    ASSERT_EQ(im.width, 3);
    EXPECT_EQ(im.at(1, 1, 0), 1);                 // 1e38: nothing towards the camera
    EXPECT_NEAR(im.at(1, 1, 1), 2, 1e-3f);        // straight through the middle of the sphere
}

namespace {

// A mesh as one PointsPolygons request and as the same faces one Polygon
// at a time, each vertex with its position and one more vertex value.
struct MeshText {
    std::string whole, faces;
};

MeshText mesh_text(const std::vector<float> &P, const std::vector<float> &values, const char *name,
                   const std::vector<std::vector<int>> &faces)
{
    std::ostringstream whole, each;
    whole << "PointsPolygons [";
    for (const auto &f : faces) whole << f.size() << " ";
    whole << "] [";
    for (const auto &f : faces)
        for (int v : f) whole << v << " ";
    whole << "] \"P\" [";
    for (float x : P) whole << x << " ";
    whole << "] \"" << name << "\" [";
    for (float x : values) whole << x << " ";
    whole << "]\n";
    for (const auto &f : faces) {
        each << "Polygon \"P\" [";
        for (int v : f) each << P[3 * v] << " " << P[3 * v + 1] << " " << P[3 * v + 2] << " ";
        each << "] \"" << name << "\" [";
        for (int v : f) each << values[3 * v] << " " << values[3 * v + 1] << " " << values[3 * v + 2] << " ";
        each << "]\n";
    }
    return {whole.str(), each.str()};
}

} // namespace

TEST_F(TracedShading, MeshFacesReflectAndShadowAsTheirTrianglesWrittenOneByOne)
{
    // A faceted mirror ball with a normal per vertex over a floor of
    // coloured quads and triangles, in the red room, lit with shadows and
    // sampled four times a pixel.
    std::vector<float> P, N;
    std::vector<std::vector<int>> ball;
    const int nu = 8, nv = 5;
    for (int j = 0; j <= nv; j++)
        for (int i = 0; i < nu; i++) {
            float th = 3.14159265f * (float)j / nv, ph = 6.2831853f * (float)i / nu;
            float n[3] = {std::sin(th) * std::cos(ph), std::cos(th), std::sin(th) * std::sin(ph)};
            for (int a = 0; a < 3; a++) P.push_back(n[a]), N.push_back(n[a]);
        }
    for (int j = 0; j < nv; j++)
        for (int i = 0; i < nu; i++) {
            int a = j * nu + i, b = j * nu + (i + 1) % nu, c = b + nu, d = a + nu;
            // Triangles with two corners at a pole have no area.
            if (j > 0) ball.push_back({a, b, c});
            if (j < nv - 1) ball.push_back({a, c, d});
        }
    const MeshText mirror = mesh_text(P, N, "N", ball);
    const MeshText floor = mesh_text({-3, -1, -3, 3, -1, -3, 3, -1, 3, -3, -1, 3, 0, -1, 0},
                                     {1, 0.2f, 0.2f, 0.2f, 1, 0.2f, 0.2f, 0.2f, 1, 1, 1, 0.2f, 1, 1, 1},
                                     "Cs", {{0, 1, 4}, {1, 2, 4}, {2, 3, 4, 0}});
    auto render = [&](const std::string &ball_text, const std::string &floor_text) {
        std::string rib = e2e::exact_floatdump_options(12, 10) + "PixelSamples 2 2\nOption \"searchpath\" \"shader\" [\"" +
                          dir.path() + ":&\"]\nProjection \"perspective\" \"fov\" 40\nTranslate 0 0 6\n"
                          "Rotate -20 1 0 0\nWorldBegin\nAttribute \"light\" \"shadows\" \"on\"\n"
                          "LightSource \"pointlight\" 1 \"from\" [1 4 -2] \"intensity\" 20\n"
                          "AttributeBegin\nAttribute \"invisible\" \"primary\" [1]\nSurface \"redroom\"\n"
                          "Sphere 100 -100 100 360\nAttributeEnd\n"
                          "AttributeBegin\nSurface \"matte\"\n" + floor_text + "AttributeEnd\n"
                          "Surface \"mirror\"\n" + ball_text + "WorldEnd\n";
        e2e::Render r = e2e::render_floatdump(rib);
        EXPECT_EQ(r.run.status, 0);
        EXPECT_EQ(r.run.err, "");
        return r.image;
    };
    e2e::Image whole = render(mirror.whole, floor.whole), faces = render(mirror.faces, floor.faces);
    ASSERT_EQ(whole.width, 12);
    ASSERT_EQ(faces.width, 12);
    int red = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
            for (int c = 0; c < 4; ++c) EXPECT_EQ(whole.at(x, y, c), faces.at(x, y, c)) << x << "," << y << "," << c;
            red += whole.at(x, y, 0) > 0.5f && whole.at(x, y, 1) < 0.1f;
        }
    // The ball shows the room.
    EXPECT_GT(red, 4);
}
