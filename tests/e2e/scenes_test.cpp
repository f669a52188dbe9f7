// The example scenes of scenes/: rendered without a message to the TIFF
// files they name, at the size they ask for.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "tests/support/render_support.h"

namespace {

struct Scene {
    const char *file;
    std::vector<const char *> images;   // the TIFF files it writes
    int width, height;
};

const std::vector<Scene> &scenes()
{
    static const std::vector<Scene> all = {
        {"example.rib", {"example.tif"}, 640, 480},
        {"quadrics.rib", {"quadrics.tif"}, 800, 360},
        {"lights.rib", {"lights-ambient.tif", "lights-distant.tif", "lights-point.tif", "lights-spot.tif"},
         400, 300},
        {"mirror.rib", {"mirror.tif"}, 560, 420},
        {"transparency.rib", {"transparency.tif"}, 560, 420},
        {"instances.rib", {"instances.tif"}, 560, 420},
    };
    return all;
}

std::string source_file(const std::string &name)
{
    std::ifstream in(velktest::source_path("scenes/" + name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs raylume on a scene in a directory of its own, holding a copy of the
// scene files (the scenes read archives beside them).
velktest::RunResult render_scene(const velktest::TempDir &dir, const Scene &scene)
{
    dir.write("lights-set.rib", source_file("lights-set.rib"));
    return e2e::raylume(dir, source_file(scene.file));
}

} // namespace

TEST(Scenes, EveryExampleSceneRendersItsImagesWithoutAMessage)
{
    for (const Scene &scene : scenes()) {
        SCOPED_TRACE(scene.file);
        velktest::TempDir dir;
        velktest::RunResult run = render_scene(dir, scene);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out, "");
        for (const char *name : scene.images) {
            e2e::Image im = e2e::read_tiff(dir.path() + "/" + name);
            ASSERT_EQ(im.width, scene.width) << name;
            EXPECT_EQ(im.height, scene.height) << name;
            EXPECT_EQ(im.channels, 4) << name;
            // Something was drawn: not every pixel is the background.
            float brightest = 0;
            for (float v : im.values) brightest = std::max(brightest, v);
            EXPECT_GT(brightest, 100) << name;
        }
    }
}
