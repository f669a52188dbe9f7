// Random, truncated and mutated RIB (text and binary) fed to the reader: it must
// end every input without crashing, hanging or leaking (run under the
// sanitizer build too).
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "ri/ribfile.h"
#include "ri_common/rierror.h"
#include "tests/support/run_program.h"

namespace {

const char *const WORDS[] = {
    "Sphere", "Polygon", "PointsPolygons", "PointsGeneralPolygons", "GeneralPolygon", "PatchMesh",
    "NuPatch", "TrimCurve", "Curves", "Points", "SubdivisionMesh", "Blobby", "Procedural", "Basis",
    "Declare", "Display", "PixelFilter", "Quantize", "LightSource", "Illuminate", "MotionBegin",
    "ObjectBegin", "ObjectInstance", "Skew", "ColorSamples", "ReadArchive", "MakeTexture",
    "MakeCubeFaceEnvironment", "Surface", "Color", "Transform", "Format", "FrameBegin", "FrameEnd",
    "Hyperboloid", "Torus", "Patch", "ErrorHandler", "TransformPoints", "version", "Option", "Attribute",
    "\"P\"", "\"Cs\"", "\"uniform float k\"", "\"vertex point P\"", "\"bicubic\"", "\"periodic\"",
    "\"DelayedReadArchive\"", "\"b-spline\"", "\"crease\"", "\"linear\"", "\"cubic\"", "\"gaussian\"",
    "[", "]", "[ ]", "0", "1", "-1", "3", "4", "16", "2147483647", "-2147483648", "1e39", "-1e39", ".",
    "-", "\"", "#", "##", "##Include", "\n", "\\", "2.5", "1000000"};

// A valid scene, text and binary, whose prefixes are truncated inputs.
std::string sample_scene() {
    std::string s =
        "##RenderMan RIB\nDeclare \"Cq\" \"varying color\"\nFrameBegin 1\nFormat 64 48 1\n"
        "WorldBegin\nSurface \"plastic\" \"Ks\" [.5] \"uniform float k\" 2\n"
        "Polygon \"P\" [0 0 0 1 0 0 1 1 0] \"Cq\" [1 0 0 0 1 0 0 0 1]\n"
        "PointsPolygons [3 3] [0 1 2 2 1 3] \"P\" [0 0 0 1 0 0 1 1 0 0 1 0]\n"
        "SubdivisionMesh \"catmull-clark\" [4] [0 1 2 3] [\"crease\"] [2 1] [0 1] [2.5] \"P\" [0 0 0 1 0 0 1 1 0 0 1 0]\n"
        "Curves \"cubic\" [4] \"nonperiodic\" \"P\" [0 0 0 1 1 1 2 2 2 3 3 3] \"width\" [1 1]\n"
        "NuPatch 2 2 [0 0 1 1] 0 1 2 2 [0 0 1 1] 0 1 \"P\" [0 0 0 1 0 0 0 1 0 1 1 0]\n"
        "TrimCurve [1] [2] [0 0 1 1] [0] [1] [2] [0 1] [0 1] [1 1]\n"
        "Blobby 1 [1001 0] [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1] [\"\"] \"Cs\" [1 1 1]\n"
        "Procedural \"DelayedReadArchive\" [\"none.rib\"] [-1 1 -1 1 -1 1]\n"
        "Basis \"b-spline\" 1 [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1] 1\n"
        "PatchMesh \"bicubic\" 4 \"nonperiodic\" 4 \"nonperiodic\" \"P\" [";
    for (int i = 0; i < 48; i++) s += std::to_string(i % 7) + " ";
    s += "]\nWorldEnd\nFrameEnd\n";
    // The same ideas in binary: definitions, a request by code, numbers, arrays.
    const unsigned char bin[] = {0xcc, 0x01, 0x95, 'C', 'o', 'l', 'o', 'r', 0xa6, 0x01, 0xc8, 0x03,
                                 0x3f, 0x80, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0xcd, 0x02, 0x92,
                                 'P', 'x', 0x96, 'S', 'u', 'r', 'f', 'a', 'c', 'e', 0xcf, 0x02,
                                 0x81, 0x01, 0x00, 0x84, 0x80, 0xa4, 0x3f, 0x80, 0, 0, 0xa3, 0, 0, 0, 2, 'o', 'k'};
    s.append(reinterpret_cast<const char *>(bin), sizeof bin);
    return s;
}

class RibFuzz : public testing::Test {
protected:
    void SetUp() override {
        old_handler_ = ri_current_error_handler();
        RiErrorHandler(RiErrorIgnore);
        // Archives named by random input are looked for in an empty directory.
        char buf[4096];
        cwd_ = getcwd(buf, sizeof buf) ? buf : ".";
        ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    }
    void TearDown() override {
        if (chdir(cwd_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << cwd_;
        RiErrorHandler(old_handler_);
        rib_frame_filter = RibFrameFilter();
    }
    void feed(const std::string &bytes) {
        std::string path = dir_.write("fuzz.rib", bytes);
        read_rib_file(path.c_str(), nullptr, 1, 1);
        inputs_++;
    }
    velktest::TempDir dir_;
    std::string cwd_;
    RtErrorHandler old_handler_ = nullptr;
    int inputs_ = 0;
};

TEST_F(RibFuzz, RandomBytes) {
    std::mt19937 rng(20240601);
    for (int i = 0; i < 1500; i++) {
        std::string s(rng() % 200, '\0');
        for (char &c : s) {
            // Mostly binary-protocol bytes and brackets, some text.
            unsigned r = rng() % 10;
            c = static_cast<char>(r < 4 ? 0x80 + rng() % 0x60 : r < 6 ? "[]\"#\n 0123"[rng() % 10] : rng() % 256);
        }
        feed(s);
    }
    EXPECT_EQ(inputs_, 1500);
}

TEST_F(RibFuzz, RandomTokenSoup) {
    std::mt19937 rng(777);
    for (int i = 0; i < 1500; i++) {
        std::string s;
        int n = static_cast<int>(rng() % 40);
        for (int k = 0; k < n; k++) {
            s += WORDS[rng() % (sizeof WORDS / sizeof WORDS[0])];
            s += ' ';
        }
        feed(s);
    }
    EXPECT_EQ(inputs_, 1500);
}

TEST_F(RibFuzz, TruncatedAndMutatedScenes) {
    std::string scene = sample_scene();
    for (size_t n = 0; n <= scene.size(); n += 3) feed(scene.substr(0, n));
    std::mt19937 rng(4242);
    for (int i = 0; i < 1000; i++) {
        std::string s = scene;
        for (int k = 0; k < 4; k++) s[rng() % s.size()] = static_cast<char>(rng() % 256);
        feed(s.substr(0, rng() % (s.size() + 1)));
    }
    EXPECT_GT(inputs_, 1000);
}

// A few hundred inputs through the whole program: every run ends on its own.
TEST(RibFuzzProgram, RaylumeEndsEveryInput) {
    std::string scene = sample_scene();
    std::mt19937 rng(99);
    velktest::TempDir dir;
    for (int i = 0; i < 150; i++) {
        std::string s = scene;
        for (int k = 0; k < 6; k++) s[rng() % s.size()] = static_cast<char>(rng() % 256);
        s = s.substr(0, rng() % (s.size() + 1));
        velktest::RunOptions opts;
        opts.input = "ErrorHandler \"ignore\"\n" + s;
        opts.cwd = dir.path();
        opts.env["HOME"] = dir.path();
        opts.env["VELKHOME"] = "";
        opts.timeout_seconds = 60;
        velktest::RunResult r = velktest::run({velktest::program("raylume")}, opts);
        ASSERT_FALSE(r.timed_out) << "input " << i;
        ASSERT_EQ(r.signal, 0) << "input " << i << "\n" << r.err;
        ASSERT_EQ(r.status, 0) << "input " << i << "\n" << r.err;
    }
}

} // namespace
