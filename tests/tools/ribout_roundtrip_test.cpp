// RIB written by the RIB writer, read back by the RIB reader: the binary
// form reads as the same requests as the ASCII form, every request is taken
// by the renderer's request table, and both forms (and a pipe) render alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "ri/ribreader.h"
#include "shading_files/tiffimage.h"
#include "tests/support/run_program.h"

using velktest::RunResult;
using velktest::TempDir;

namespace {

// The tokens of a RIB file, numbers and binary floats alike as floats.
std::vector<std::string> tokens_of(const std::string &path)
{
    RibReader reader;
    std::vector<std::string> out;
    if (!reader.open(path.c_str())) return out;
    RibToken t;
    while (reader.next_token(t) != RIB_END && t.kind != 255) {
        char number[32];
        switch (t.kind) {
        case RIB_NUMBER: case RIB_BINFLOAT:
            std::snprintf(number, sizeof number, "%.9g", static_cast<double>(static_cast<float>(t.value)));
            out.push_back(std::string("#") + number);
            break;
        case RIB_STRING:
            out.push_back("\"" + t.text + "\"");
            break;
        default:
            out.push_back(t.text);
            break;
        }
    }
    return out;
}

// Identifiers: the request names.
std::vector<std::string> requests_of(const std::vector<std::string> &tokens)
{
    std::vector<std::string> names;
    for (const std::string &t : tokens)
        if (!t.empty() && std::isalpha(static_cast<unsigned char>(t[0]))) names.push_back(t);
    return names;
}

// Runs the renderer in dir, with no rc file and the standard shaders.
velktest::RunOptions render_options(const TempDir &dir)
{
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    opts.env["HOME"] = dir.path();
    opts.env["VELKHOME"] = "";
    opts.env["VELKSHADERS"] = velktest::build_path("shaders");
    return opts;
}

// Writes a test scene with the helper program.
RunResult write_scene(const TempDir &dir, const std::string &scene, const std::string &output, bool binary,
                      const std::string &display = "out.tif", const std::string &path = "")
{
    velktest::RunOptions opts = render_options(dir);
    if (!path.empty()) opts.env["PATH"] = path;
    return velktest::run({VELK_RIBWRITER, scene, output, binary ? "binary" : "ascii", display}, opts);
}

RunResult render(const TempDir &dir, const std::string &rib)
{
    return velktest::run({velktest::program("raylume"), rib}, render_options(dir));
}

std::vector<unsigned char> pixels_of(const std::string &path)
{
    TiffImageInfo info;
    std::vector<unsigned char> pixels;
    if (!tiff_read_image(path.c_str(), info, pixels)) pixels.clear();
    return pixels;
}

} // namespace

TEST(RiboutRoundTrip, BinaryReadsAsTheSameRequestsAsAscii)
{
    TempDir dir;
    ASSERT_EQ(write_scene(dir, "every", "ascii.rib", false).status, 0);
    ASSERT_EQ(write_scene(dir, "every", "binary.rib", true).status, 0);
    std::string ascii = dir.read("ascii.rib"), binary = dir.read("binary.rib");
    ASSERT_NE(ascii, binary);
    std::vector<std::string> a = tokens_of(dir.path() + "/ascii.rib");
    std::vector<std::string> b = tokens_of(dir.path() + "/binary.rib");
    EXPECT_EQ(a, b);
    // Every request of the scene, in the order the program made them, after
    // the header and the standard declarations.
    // Strings come back whole, whatever they hold.
    EXPECT_NE(std::find(a.begin(), a.end(), "\"piece \"7\" of c:\\set\nsecond line\""), a.end());
    std::vector<std::string> names = requests_of(a);
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], "version");
    auto first = std::find(names.begin(), names.end(), "ErrorHandler");
    ASSERT_NE(first, names.end());
    EXPECT_TRUE(std::all_of(names.begin() + 1, first, [](const std::string &n) { return n == "Declare"; }));
    EXPECT_EQ(std::vector<std::string>(first, names.end()), (std::vector<std::string>{
        "ErrorHandler", "MakeTexture", "MakeBump", "MakeLatLongEnvironment", "MakeCubeFaceEnvironment",
        "MakeShadow", "Declare", "Option", "FrameBegin", "Format", "FrameAspectRatio", "ScreenWindow",
        "CropWindow", "Projection", "Clipping", "DepthOfField", "Shutter", "PixelVariance", "PixelSamples",
        "PixelFilter", "Exposure", "Imager", "Quantize", "Display", "Hider", "ColorSamples", "RelativeDetail",
        "WorldBegin", "LightSource", "AreaLightSource", "Illuminate", "Illuminate", "AttributeBegin",
        "Attribute", "Color", "Opacity", "TextureCoordinates", "ShadingRate", "ShadingInterpolation", "Matte",
        "Bound", "Detail", "DetailRange", "GeometricApproximation", "GeometricRepresentation", "Orientation",
        "ReverseOrientation", "Sides", "Surface", "Atmosphere", "Interior", "Exterior", "Displacement",
        "Deformation", "TransformBegin", "Identity", "Transform", "ConcatTransform", "Perspective",
        "Translate", "Rotate", "Scale", "Skew", "CoordinateSystem", "CoordSysTransform", "TransformPoints",
        "TransformEnd", "ObjectBegin", "Sphere", "ObjectEnd", "MotionBegin", "Translate", "Translate",
        "MotionEnd", "ObjectInstance", "SolidBegin", "Sphere", "Cone", "Cylinder", "Hyperboloid",
        "Paraboloid", "Disk", "Torus", "SolidEnd", "Polygon", "GeneralPolygon", "PointsPolygons",
        "PointsGeneralPolygons", "Basis", "Patch", "Patch", "PatchMesh", "PatchMesh", "TrimCurve", "NuPatch",
        "Curves", "Curves", "Points", "SubdivisionMesh", "Blobby", "Geometry", "Procedural", "Procedural",
        "Procedural", "ReadArchive", "AttributeEnd", "WorldEnd", "FrameEnd"}));
}

TEST(RiboutRoundTrip, TheRequestTableTakesEveryRequest)
{
    TempDir dir;
    ASSERT_EQ(write_scene(dir, "every", "ascii.rib", false, "every.tif").status, 0);
    ASSERT_EQ(write_scene(dir, "every", "binary.rib", true, "every.tif").status, 0);
    for (const char *rib : {"ascii.rib", "binary.rib"}) {
        RunResult r = render(dir, rib);
        // The scene names files and shaders that do not exist; what must not
        // come is a complaint about the RIB itself.
        for (const char *bad : {"not a valid", "Syntax", "xpected", "Bad arguments", "Badly structured",
                                "mismatch", "Wrong amount", "RIB token", "Undeclared", "Missing ']'",
                                "Extra ']'", "Bad primitive", "protocol botch"})
            EXPECT_EQ(r.err.find(bad), std::string::npos) << rib << ": " << bad << "\n" << r.err;
    }
}

TEST(RiboutRoundTrip, AsciiBinaryAndPipedSceneRenderAlike)
{
    TempDir dir;
    ASSERT_EQ(write_scene(dir, "render", "ascii.rib", false, "a.tif").status, 0);
    ASSERT_EQ(write_scene(dir, "render", "binary.rib", true, "b.tif").status, 0);
    RunResult ra = render(dir, "ascii.rib"), rb = render(dir, "binary.rib");
    EXPECT_EQ(ra.status, 0);
    EXPECT_EQ(ra.err, "");
    EXPECT_EQ(rb.err, "");
    // The writer's name "raylume" pipes the requests into the renderer on the path.
    std::string path = velktest::program("raylume");
    path = path.substr(0, path.rfind('/'));
    RunResult rp = write_scene(dir, "render", "raylume", true, "c.tif", path + ":/usr/bin:/bin");
    EXPECT_EQ(rp.status, 0);
    EXPECT_EQ(rp.err, "");
    std::vector<unsigned char> a = pixels_of(dir.path() + "/a.tif");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(std::count(a.begin(), a.end(), 0), static_cast<long>(a.size()));
    EXPECT_EQ(pixels_of(dir.path() + "/b.tif"), a);
    EXPECT_EQ(pixels_of(dir.path() + "/c.tif"), a);
}
