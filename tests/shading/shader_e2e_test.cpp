// raylume end to end with hand-written compiled shaders: loading messages,
// binding, and runs of shader code.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "shading_shaderfile/cipher.h"
#include "shading_files/tiffimage.h"
#include "tests/support/run_program.h"

namespace {

using velktest::RunOptions;
using velktest::RunResult;
using velktest::TempDir;

RunResult raylume(const TempDir &dir, const std::string &rib, RunOptions opts = RunOptions())
{
    dir.write("scene.rib", rib);
    opts.cwd = dir.path();
    opts.timeout_seconds = 60;
    opts.env["HOME"] = dir.path();
    opts.env["VELKHOME"] = "";
    opts.env["VELKSHADERS"] = "";
    opts.env["SHADERS"] = "";
    return velktest::run({velktest::program("raylume"), "scene.rib"}, opts);
}

const char RED[] = "version VELK 2.5.0g\nsurface red\ncode\n\tpushiv\t1 0 0\n\tpopc\tCi \n\treturn\n";

// A 16 x 16 picture of a unit sphere 5 units ahead, surface shader `surface`.
std::string sphere_scene(const std::string &surface)
{
    return "Display \"out.tif\" \"file\" \"rgba\"\nFormat 16 16 1\nPixelSamples 1 1\n"
           "PixelFilter \"box\" 1 1\nQuantize \"rgba\" 255 0 255 0\nProjection \"perspective\" \"fov\" 40\nTranslate 0 0 5\n"
           "WorldBegin\nSurface \"" + surface + "\"\nSphere 1 -1 1 360\nWorldEnd\n";
}

// The RGBA bytes of pixel (x, y) of an 8-bit image.
std::vector<int> pixel(const std::string &path, int x, int y)
{
    TiffImageInfo info;
    std::vector<unsigned char> bytes;
    if (!tiff_read_image(path.c_str(), info, bytes) || info.bits != 8) return {};
    std::vector<int> v;
    for (int i = 0; i < info.samples; ++i) v.push_back(bytes[(y * info.width + x) * info.samples + i]);
    return v;
}

// The file with everything after its two header lines enciphered.
std::string enciphered(const std::string &plain)
{
    size_t keep = plain.find('\n', plain.find('\n') + 1) + 1;
    std::string out = plain;
    for (size_t at = keep; at < out.size(); at += shading::CIPHER_BLOCK_SIZE) {
        size_t n = std::min(shading::CIPHER_BLOCK_SIZE, out.size() - at);
        shading::stream_cipher(reinterpret_cast<unsigned char *>(&out[at]), long(n), shading::SHADER_KEY);
    }
    return out;
}

} // namespace

TEST(ShaderEndToEnd, RedSphere)
{
    TempDir dir;
    dir.write("red.murn", RED);
    RunResult r = raylume(dir, sphere_scene("red"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(pixel(dir.path() + "/out.tif", 8, 8), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(pixel(dir.path() + "/out.tif", 0, 0), (std::vector<int>{0, 0, 0, 0}));

    // The same shader enciphered renders the same.
    TempDir dir2;
    std::string plain = RED;
    dir2.write("red.murn", enciphered(plain.insert(plain.find('\n') + 1, "encrypted\n")));
    EXPECT_NE(dir2.read("red.murn").find("encrypted\n"), std::string::npos);
    EXPECT_EQ(dir2.read("red.murn").find("pushiv"), std::string::npos);
    r = raylume(dir2, sphere_scene("red"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(pixel(dir2.path() + "/out.tif", 8, 8), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(pixel(dir2.path() + "/out.tif", 0, 0), (std::vector<int>{0, 0, 0, 0}));
}

TEST(ShaderEndToEnd, RunawayShaderOverflowsTheStackAndTheFrameGoesOn)
{
    TempDir dir;
    dir.write("loop.murn", "surface loop\ncode\nlabel 0\n\tpushif\t1\n\tjump\t0\n\treturn\n");
    dir.write("red.murn", RED);
    // The runaway shader on a sphere at the left, a red one at the right.
    std::string scene = sphere_scene("loop");
    scene.replace(scene.find("Sphere"), std::string::npos,
                  "TransformBegin\nTranslate -1 0 0\nSphere 0.6 -1 1 360\nTransformEnd\n"
                  "Surface \"red\"\nTranslate 1 0 0\nSphere 0.6 -1 1 360\nWorldEnd\n");
    RunResult r = raylume(dir, scene);
    EXPECT_EQ(r.err, "ERROR: scene.rib (17): Program limit\n    --> SL interpreter stack overflow\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(pixel(dir.path() + "/out.tif", 12, 8), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(pixel(dir.path() + "/out.tif", 0, 0), (std::vector<int>{0, 0, 0, 0}));

    // Locals the stack cannot hold (as an older murn wrote them), in two
    // frames: one report, the shader is not run again, the rest is drawn.
    dir.write("huge.murn", "surface huge\nlocal\tfloat\ta[1000000]\t0\ncode\n\tpushiv\t0 1 0\n"
                           "\tpopc\tCi \n\treturn\n");
    scene = sphere_scene("huge");
    scene.replace(scene.find("Sphere"), std::string::npos,
                  "TransformBegin\nTranslate -1 0.5 0\nSphere 0.4 -1 1 360\nTransformEnd\n"
                  "Surface \"huge\"\nTransformBegin\nTranslate -1 -0.5 0\nSphere 0.4 -1 1 360\nTransformEnd\n"
                  "Surface \"red\"\nTranslate 1 0 0\nSphere 0.6 -1 1 360\nWorldEnd\n");
    r = raylume(dir, "FrameBegin 1\n" + scene + "FrameEnd\nFrameBegin 2\n" + scene + "FrameEnd\n");
    EXPECT_EQ(r.err, "ERROR: scene.rib (23): Program limit\n    --> SL interpreter stack overflow\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(pixel(dir.path() + "/out.tif", 12, 8), (std::vector<int>{255, 0, 0, 255}));
}

TEST(ShaderEndToEnd, LoadMessages)
{
    TempDir dir;
    dir.write("newer.murn", "version VELK 2.5.1a\nsurface newer\ncode\n\treturn\n");
    dir.write("oddkind.murn", "version VELK 2.5.0g\nsurfacex oddkind\ncode\n\treturn\n");
    RunResult r = raylume(dir, "Surface \"newer\"\nSurface \"oddkind\"\nSurface \"nosuch\"\nSurface \"nosuch\"\n");
    // (Errors name the line of their request; one report per code and line.)
    EXPECT_EQ(r.err,
              "ERROR: scene.rib (1): Bad file\n"
              "    --> Shader \"./newer.murn\" was compiled by a more recent VELK\n"
              "\tYou can only render this shader with VELK 2.5.1 or newer\n"
              "ERROR: scene.rib (1): Cannot load requested shader\n    --> newer\n"
              "ERROR: scene.rib (2): Cannot load requested shader\n"
              "    --> Error reading shader file ./oddkind.murn\n (2) Unknown shader type surfacex\n\n"
              "ERROR: scene.rib (3): Cannot load requested shader\n    --> nosuch\n");
    EXPECT_EQ(r.status, 0);
}

TEST(ShaderEndToEnd, ShadersFromTheSearchPathWithVerbosity)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() + "/lib");
    dir.write("lib/red.murn", RED);
    RunResult r = raylume(dir, "Option \"searchpath\" \"shader\" \"lib\"\n"
                               "Option \"runtime\" \"verbosity\" \"debug\"\n"
                               "Surface \"red\"\nSurface \"red\"\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Reading shader file lib/red.murn\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Made new shader: red\n  Number of parameters = 0\n  Param block size = 0\n"
                         "  Local space size = 0\n  Code size = 32\n  Init Code size = 0\n"
                         "  Derivative scratch space = 0\n  Global flag = 0\n"),
              std::string::npos)
        << r.out;
    // Loaded once.
    EXPECT_EQ(r.out.find("Reading shader file", r.out.find("Reading shader file") + 1), std::string::npos);
}

TEST(ShaderEndToEnd, RunawayInitialisationOverflowsTheStack)
{
    TempDir dir;
    dir.write("runaway.murn", "surface runaway\ninitcode 1\nlabel 0\n\tpushif\t1\n\tjump\t0\ncode\n\treturn\n");
    RunResult r = raylume(dir, "Surface \"runaway\"\nSurface \"runaway\"\n");
    // Reported once: a shader that failed so is not run again.
    EXPECT_EQ(r.err, "ERROR: scene.rib (1): Program limit\n    --> SL interpreter stack overflow\n");
    EXPECT_EQ(r.status, 0);
    // Under the "ignore" handler the run stops and the program goes on.
    r = raylume(dir, "ErrorHandler \"ignore\"\nSurface \"runaway\"\nSurface \"runaway\"\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(ShaderEndToEnd, ShaderStatistics)
{
    TempDir dir;
    dir.write("red.murn", RED);
    RunResult r = raylume(dir, "Display \"out.tif\" \"file\" \"rgba\"\nFormat 4 4 1\n"
                               "Option \"statistics\" \"endofframe\" 1\n"
                               "Surface \"red\"\nSurface \"red\"\nSurface \"red\"\n"
                               "WorldBegin\nWorldEnd\n");
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Shaders:  3 requested, 1 separate shaders loaded, 3 instances\n"
                         "   prototype memory: 120 bytes requested, 120 peak, 120 current\n"
                         "   instance memory: 48 bytes requested, 32 peak, 16 current\n"),
              std::string::npos)
        << r.out;
}
