// raylume end to end with hand-written compiled shaders: loading messages,
// binding, and runs of shader code.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "shading/cipher.h"
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

} // namespace

TEST(ShaderEndToEnd, LoadMessages)
{
    TempDir dir;
    dir.write("newer.murn", "version VELK 2.5.1a\nsurface newer\ncode\n\treturn\n");
    dir.write("oddkind.murn", "version VELK 2.5.0g\nsurfacex oddkind\ncode\n\treturn\n");
    RunResult r = raylume(dir, "Surface \"newer\"\nSurface \"oddkind\"\nSurface \"nosuch\"\nSurface \"nosuch\"\n");
    // (A request's line is the one where its parameter list ended; one
    // report per code and line.)
    EXPECT_EQ(r.err,
              "ERROR: scene.rib (2): Bad file\n"
              "    --> Shader \"./newer.murn\" was compiled by a more recent VELK\n"
              "\tYou can only render this shader with VELK 2.5.1 or newer\n"
              "ERROR: scene.rib (2): Cannot load requested shader\n    --> newer\n"
              "ERROR: scene.rib (3): Cannot load requested shader\n"
              "    --> Error reading shader file ./oddkind.murn\n (2) Unknown shader type surfacex\n\n"
              "ERROR: scene.rib (4): Cannot load requested shader\n    --> nosuch\n");
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
    EXPECT_EQ(r.err, "SEVERE ERROR: scene.rib (2): Program limit\n    --> SL interpreter stack overflow\n");
    EXPECT_EQ(r.status, 255);
    // Under the "ignore" handler the run stops and the program goes on.
    r = raylume(dir, "ErrorHandler \"ignore\"\nSurface \"runaway\"\nSurface \"runaway\"\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}
