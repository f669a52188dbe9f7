// Running pevrin in the tests: the private X server shared by the previewer
// tests, the dumped pictures, and a fixture that runs the program on a scene
// in a directory of its own.
#pragma once
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "shading_files/tiffimage.h"
#include "tests/support/run_program.h"
#include "tests/support/xvfb.h"

namespace previewtest {

// One X server for the whole test program.
inline velktest::XvfbServer &server()
{
    static velktest::XvfbServer s;
    return s;
}

// A dumped picture, rows from the top; empty when it could not be read.
struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
    const unsigned char *at(int x, int y) const { return rgba.data() + (size_t(y) * width + x) * 4; }
    bool red(int x, int y) const { return at(x, y)[0] > 200 && at(x, y)[1] < 60 && at(x, y)[2] < 60; }
    bool black(int x, int y) const { return at(x, y)[0] < 10 && at(x, y)[1] < 10 && at(x, y)[2] < 10; }
    // Something was drawn there (the window is cleared to alpha 0).
    bool covered(int x, int y) const { return at(x, y)[3] > 127; }
    // Pixels strong in one channel (0 red, 2 blue) and weak in red or blue otherwise.
    int count_strong(int channel) const
    {
        int n = 0;
        for (size_t k = 0; k < rgba.size(); k += 4) n += rgba[k + channel] > 200 && rgba[k + 2 - channel] < 60;
        return n;
    }
};

inline Picture read_picture(const std::string &path)
{
    Picture p;
    TiffImageInfo info;
    std::vector<unsigned char> pixels;
    if (!tiff_read_image(path.c_str(), info, pixels) || info.samples != 4) return p;
    p.width = info.width;
    p.height = info.height;
    p.rgba = pixels;
    return p;
}

// The depth at (x, y) of a depth file's bytes (rows from the top after its
// 136-byte header, big-endian floats).
inline float zfile_depth(const std::string &z, int width, int x, int y)
{
    size_t at = 136 + (size_t(y) * width + x) * 4;
    if (z.size() < at + 4) return -1;
    const unsigned char *b = reinterpret_cast<const unsigned char *>(z.data()) + at;
    uint32_t bits = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

class PevrinTest : public testing::Test {
protected:
    void SetUp() override
    {
        alarm(240);
        ASSERT_TRUE(server().ok()) << server().error();
    }
    void TearDown() override { alarm(0); }

    velktest::RunOptions options(const std::string &input = "") const
    {
        velktest::RunOptions o;
        o.cwd = dir.path();
        o.env["DISPLAY"] = server().display();
        o.env["VELKHOME"] = dir.path();   // no rc file
        o.input = input;
        o.timeout_seconds = 120;
#ifdef __SANITIZE_ADDRESS__
        // Mesa keeps some display-list blocks only from its driver's own data,
        // which is unloaded before the leak check runs: they would show as
        // leaks from an unknown module, and cannot be suppressed by name.
        if (object_lists_) o.env["ASAN_OPTIONS"] = "detect_leaks=0";
#endif
        return o;
    }
    // Set by tests whose scenes define objects (recorded as GL lists).
    bool object_lists_ = false;
    // Runs pevrin with args and the scene as its last argument.
    velktest::RunResult run(std::vector<std::string> args, const std::string &scene,
                            const std::string &file = "scene.rib")
    {
        args.insert(args.begin(), velktest::program("pevrin"));
        args.push_back(dir.write(file, scene));
        velktest::RunResult r = velktest::run(args, options());
        EXPECT_FALSE(r.timed_out);
        return r;
    }
    // Runs pevrin on the scene, which must end well, and reads the picture it dumped.
    Picture run_picture(const std::vector<std::string> &args, const std::string &scene, const std::string &file)
    {
        velktest::RunResult r = run(args, scene);
        EXPECT_EQ(r.status, 0) << r.err;
        return picture(file);
    }
    Picture picture(const std::string &name) const { return read_picture(dir.path() + "/" + name); }

    velktest::TempDir dir;
};

} // namespace previewtest
