// Shaders that fire rays, rendered by raylume: a mirror inside a red room
// shows the room, and a ray into empty space reports no hit.
#include <gtest/gtest.h>

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
