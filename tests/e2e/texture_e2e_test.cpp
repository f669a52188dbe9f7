// Textures made by MakeTexture in the RIB and looked up by a shader compiled
// with murn: rendered pixels carry the texels beneath them.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/render_support.h"

using e2e::Image;

namespace {

// Writes a w x h 8-bit RGB picture; colour(x, y) gives each pixel.
void write_rgb(const std::string &path, uint32_t w, uint32_t h,
               const std::function<const unsigned char *(uint32_t, uint32_t)> &colour)
{
    TIFF *tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
    std::vector<unsigned char> row(size_t(w) * 3);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) std::memcpy(&row[size_t(x) * 3], colour(x, y), 3);
        ASSERT_GE(TIFFWriteScanline(tif, row.data(), y, 0), 0);
    }
    TIFFClose(tif);
}

// A 64 x 64 RGB picture of four flat quadrants (left to right, top to bottom:
// red, green, blue, grey 128).
void write_quadrants(const std::string &path)
{
    static const unsigned char colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {128, 128, 128}};
    write_rgb(path, 64, 64, [](uint32_t x, uint32_t y) { return colours[(y >= 32) * 2 + (x >= 32)]; });
}

// Compiles a surface shader into dir.
void compile(const velktest::TempDir &dir, const std::string &name, const std::string &source)
{
    velktest::RunResult r = velktest::murn_compile(dir, name, source);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
}

Image parse_dump(const std::string &text)
{
    Image im;
    std::istringstream in(text);
    std::string mode;
    if (!(in >> im.width >> im.height >> mode)) return Image();
    im.channels = 4;
    im.values.resize(size_t(im.width) * im.height * 4);
    for (float &v : im.values)
        if (!(in >> v)) return Image();
    return im;
}

// An 8 x 8 frame filled by a disk; the shaders map the world's x across and
// y up the frame onto the picture (s across, t down).
std::string scene(const std::string &surface)
{
    return "MakeTexture \"quad.tif\" \"quad.tex\" \"clamp\" \"clamp\" \"box\" 1 1\n"
           "Option \"searchpath\" \"shader\" [\".:&\"]\n" +
           e2e::exact_floatdump_options(8, 8) + e2e::pixel_camera(8, 8) + "WorldBegin\n" + surface +
           "TransformBegin\nTranslate 4 4 0\nDisk 0 20 360\nTransformEnd\n"
           "WorldEnd\n";
}

} // namespace

TEST(TexturedPixels, PixelsCarryTheTexelsOfAMadeTexture)
{
    velktest::TempDir dir;
    write_quadrants(dir.path() + "/quad.tif");
    compile(dir, "texsurf",
            "surface texsurf(string name = \"\") {\n"
            "    point Pw = transform(\"world\", P);\n"
            "    Oi = 1; Ci = color texture(name, xcomp(Pw) / 8, 1 - ycomp(Pw) / 8);\n"
            "}\n");
    velktest::RunResult run = e2e::raylume(dir, scene("Surface \"texsurf\" \"name\" \"quad.tex\"\n"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(dir.exists("quad.tex"));
    Image im = parse_dump(run.out);
    ASSERT_EQ(im.width, 8) << run.out;
    // Away from the quadrant edges the colours are those of the picture.
    const float colours[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {128 / 255.0f, 128 / 255.0f, 128 / 255.0f}};
    for (int y : {0, 1, 2, 5, 6, 7})
        for (int x : {0, 1, 2, 5, 6, 7}) {
            const float *c = colours[(y >= 4) * 2 + (x >= 4)];
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(im.at(x, y, k), c[k], 1e-4f) << x << "," << y << " channel " << k;
            EXPECT_EQ(im.at(x, y, 3), 1.0f);
        }
}

TEST(TexturedPixels, ACheckerboardRecedingToTheHorizonSettlesToItsMeanLikeABoxFilter)
{
    // A ground plane 1 below a 60 degree camera, one sample a pixel, checks
    // 0.3125 wide: rows near the horizon cover many checks of depth a pixel.
    // Each row of such checks must vary along the row no more than the box
    // filter of the pixel does (computed here from the checks themselves),
    // with the same mean: a footprint smaller than the pixel's aliases.
    velktest::TempDir dir;
    static const unsigned char white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
    write_rgb(dir.path() + "/check.tif", 64, 64,
              [](uint32_t x, uint32_t y) { return (x / 8 + y / 8) % 2 ? white : black; });
    compile(dir, "chkst", "surface chkst(string name = \"\") {\n"
                          "    point Pw = transform(\"world\", P);\n"
                          "    Oi = 1; Ci = texture(name, xcomp(Pw) * 0.4, zcomp(Pw) * 0.4);\n"
                          "}\n");
    compile(dir, "chk", "surface chk(string name = \"\") { Oi = 1; Ci = texture(name); }\n");
    const int W = 64, H = 64;
    const double tn = std::tan(M_PI / 6), checks_per_unit = 0.4 * 8;
    // A mirror across the view at z = 5 shows the ground behind the eye as
    // the straight view shows the ground beyond it (the checks inverted).
    compile(dir, "mirror", "surface mirror() { Oi = 1; Ci = trace(P, reflect(normalize(I), normalize(N))); }\n");
    const std::string ground = "Polygon \"P\" [-2000 -1 0.5  2000 -1 0.5  2000 -1 2000  -2000 -1 2000]";
    struct Case {
        const char *what;
        std::string world;
    } cases[] = {
        {"made texture, s and t given", "Surface \"chkst\" \"name\" \"check.tex\"\n" + ground},
        {"made texture, the polygon's st",
         "Surface \"chk\" \"name\" \"check.tex\"\n" + ground + " \"st\" [-800 0.2  800 0.2  800 800  -800 800]"},
        {"picture used directly", "Surface \"chkst\" \"name\" \"check.tif\"\n" + ground},
        {"seen in a mirror", "AttributeBegin\nSurface \"mirror\"\n"
                             "Polygon \"P\" [-2000 -1 5  2000 -1 5  2000 2000 5  -2000 2000 5]\nAttributeEnd\n"
                             "Surface \"chkst\" \"name\" \"check.tex\"\n"
                             "Polygon \"P\" [-2000 -1 -2000  2000 -1 -2000  2000 -1 4.9  -2000 -1 4.9]"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        velktest::RunResult run = e2e::raylume(dir,
            "MakeTexture \"check.tif\" \"check.tex\" \"periodic\" \"periodic\" \"box\" 1 1\n"
            "Option \"searchpath\" \"shader\" [\".:&\"]\n" + e2e::exact_floatdump_options(W, H) +
            "Projection \"perspective\" \"fov\" 60\nWorldBegin\n" + c.world + "\nWorldEnd\n");
        ASSERT_EQ(run.status, 0) << run.err;
        Image im = parse_dump(run.out);
        ASSERT_EQ(im.width, W) << run.out;
        int rows = 0;
        for (int y = H / 2 + 1; y < H; ++y) {
            const double below = ((y + 0.5) / (H / 2) - 1) * tn;   // the ray's slope at the row's centre
            const double depth = 1 / below;
            const double checks = depth * depth * (2 * tn / H) * checks_per_unit;   // down one pixel
            if (checks < 1.7) continue;
            ++rows;
            // The box filter: 16 x 16 rays through the pixel onto the checks.
            double box[64], sum = 0, rsum = 0;
            for (int x = 0; x < W; ++x) {
                int white_rays = 0;
                for (int j = 0; j < 16; ++j)
                    for (int i = 0; i < 16; ++i) {
                        double u = ((x + (i + 0.5) / 16) / (W / 2) - 1) * tn;
                        double v = ((y + (j + 0.5) / 16) / (H / 2) - 1) * tn;
                        double z = 1 / v;
                        white_rays += (long(std::floor(u * z * checks_per_unit)) + long(std::floor(z * checks_per_unit))) & 1;
                    }
                box[x] = white_rays / 256.0;
                sum += box[x];
                rsum += im.at(x, y, 0);
            }
            double box_var = 0, var = 0;
            for (int x = 0; x < W; ++x) {
                box_var += (box[x] - sum / W) * (box[x] - sum / W);
                var += (im.at(x, y, 0) - rsum / W) * (im.at(x, y, 0) - rsum / W);
            }
            const double box_sd = std::sqrt(box_var / W), sd = std::sqrt(var / W);
            EXPECT_NEAR(rsum / W, sum / W, 0.03) << "row " << y << ", " << checks << " checks a pixel";
            EXPECT_LE(sd, box_sd + 0.02) << "row " << y << ", " << checks << " checks a pixel";
        }
        EXPECT_EQ(rows, 9);
    }
}

TEST(TexturedPixels, AMissingTextureIsReportedOnceAndShadesWithTheFill)
{
    velktest::TempDir dir;
    write_quadrants(dir.path() + "/quad.tif");
    compile(dir, "fillsurf",
            "surface fillsurf(string name = \"\") { Oi = 1; Ci = color texture(name, s, t, \"fill\", 0.25); }\n");
    velktest::RunResult run = e2e::raylume(dir, scene("Surface \"fillsurf\" \"name\" \"nowhere.tex\"\n"));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string message = "Could not find texture file \"nowhere.tex\"";
    size_t first = run.err.find(message);
    EXPECT_NE(first, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(message, first + 1), std::string::npos) << run.err;
    Image im = parse_dump(run.out);
    ASSERT_EQ(im.width, 8) << run.out;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_NEAR(im.at(x, y, 1), 0.25f, 1e-6f);
}

TEST(TexturedPixels, TextureinfoOpensATextureNoLookupHasOpened)
{
    velktest::TempDir dir;
    write_quadrants(dir.path() + "/quad.tif");
    compile(dir, "infosurf",
            "surface infosurf(string name = \"\") {\n"
            "    float r[2] = {0, 0};\n"
            "    float known = textureinfo(name, \"resolution\", r);\n"
            "    Oi = 1; Ci = color(known, r[0] / 100, r[1] / 100);\n"
            "}\n");
    // A made texture (64 x 64), a file that is not there (said once, answered 0),
    // and a plain picture, which a texture lookup after the query still reads.
    compile(dir, "infotex",
            "surface infotex(string name = \"\") {\n"
            "    float r[2] = {0, 0};\n"
            "    Oi = 1; Ci = textureinfo(name, \"resolution\", r) * color texture(name, 0.25, 0.25);\n"
            "}\n");
    const char *surfaces[] = {"Surface \"infosurf\" \"name\" \"quad.tex\"\n",
                              "Surface \"infosurf\" \"name\" \"nowhere.tex\"\n",
                              "Surface \"infotex\" \"name\" \"quad.tif\"\n"};
    const float want[3][3] = {{1, 0.64f, 0.64f}, {0, 0, 0}, {1, 0, 0}};
    for (int i = 0; i < 3; ++i) {
        velktest::RunResult run = e2e::raylume(dir, scene(surfaces[i]));
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string message = "Could not find texture file \"nowhere.tex\"";
        size_t first = run.err.find(message);
        EXPECT_EQ(first == std::string::npos, i != 1) << run.err;
        EXPECT_EQ(run.err.find(message, first + 1), std::string::npos) << run.err;
        Image im = parse_dump(run.out);
        ASSERT_EQ(im.width, 8) << run.out;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(im.at(1, 1, k), want[i][k], 1e-5f) << surfaces[i] << k;
    }
}

TEST(TexturedPixels, AFileThatIsNotATiffIsSaidToBeThereButNotATexture)
{
    // Each lookup and each maker meets a file of text where a TIFF file
    // belongs; each says so, with libtiff's reason, and names a missing file
    // as missing.
    velktest::TempDir dir;
    for (const char *name : {"t.txt", "e.txt", "s.txt", "m.txt"}) dir.write(name, "# not a picture\n");
    write_quadrants(dir.path() + "/quad.tif");
    // One lookup a frame: an error repeated on one RIB line is shown once.
    compile(dir, "looks", "surface looks(float kind = 0) {\n"
                          "    Oi = 1;\n"
                          "    if (kind == 0) Ci = color texture(\"t.txt\", s, t);\n"
                          "    else if (kind == 1) Ci = color environment(\"e.txt\", I);\n"
                          "    else if (kind == 2) Ci = shadow(\"s.txt\", P);\n"
                          "    else Ci = color texture(\"missing.tex\", s, t);\n"
                          "}\n");
    std::string rib = "MakeTexture \"m.txt\" \"m.tex\" \"clamp\" \"clamp\" \"box\" 1 1\n"
                      "MakeLatLongEnvironment \"m.txt\" \"m.env\" \"box\" 1 1\n"
                      "MakeCubeFaceEnvironment \"quad.tif\" \"quad.tif\" \"m.txt\" \"quad.tif\" \"quad.tif\" "
                      "\"quad.tif\" \"m.cube\" 90 \"box\" 1 1\n"
                      "Option \"searchpath\" \"shader\" [\".:&\"]\n";
    for (int kind = 0; kind < 4; ++kind)
        rib += "FrameBegin 1\n" + e2e::exact_floatdump_options(1, 1) + e2e::pixel_camera(1, 1) +
               "WorldBegin\nSurface \"looks\" \"float kind\" " + std::to_string(kind) + "\n" + e2e::unit_disk(0, 0) +
               "WorldEnd\nFrameEnd\n";
    velktest::RunResult run = e2e::raylume(dir, rib);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string reason = "exists but is not a TIFF texture (Not a TIFF or MDI file, bad magic number 8227 (0x2023))";
    for (const std::string &said : {"\"m.txt\" " + reason, "\"./t.txt\": " + reason, "\"./e.txt\": " + reason,
                                    "\"./s.txt\": " + reason, std::string("Could not find texture file \"missing.tex\"")})
        EXPECT_NE(run.err.find(said), std::string::npos) << said << "\n" << run.err;
    int makers = 0;   // MakeTexture, MakeLatLongEnvironment and MakeCubeFaceEnvironment
    for (size_t at = run.err.find("\"m.txt\" " + reason); at != std::string::npos;
         at = run.err.find("\"m.txt\" " + reason, at + 1))
        ++makers;
    EXPECT_EQ(makers, 3) << run.err;
    EXPECT_EQ(run.err.find("TIFF file not found"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Not a TIFF or MDI file, bad magic number 8227 (0x2023).\n"), std::string::npos)
        << "libtiff's own complaint as well:\n" << run.err;
    for (const char *made : {"m.tex", "m.env", "m.cube"}) EXPECT_FALSE(dir.exists(made)) << made;

    // tavrel says the same.
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    velktest::RunResult made = velktest::run({velktest::program("tavrel"), "m.txt", "m.tex"}, opts);
    EXPECT_EQ(made.status, 1);
    EXPECT_NE(made.err.find("\"m.txt\" " + reason), std::string::npos) << made.err;
}

TEST(TexturedPixels, ADepthMapRenderedMadeIntoAShadowMapAndLookedUp)
{
    // Frame 1 renders the depths seen from above (a small disk 2 units in
    // front of a large one); the later frames shade the large disk alone by
    // the depth file itself, by a map made from it (again after a frame that
    // reads the map was refused to replace it), and by the depth file again
    // after a map was refused its place.
    velktest::TempDir dir;
    compile(dir, "lit",
            "surface lit(string map = \"\") {\n"
            "    Oi = 1; Ci = 1 - shadow(map, transform(\"world\", P), \"bias\", 0.01);\n"
            "}\n");
    const std::string camera = "Format 16 16 1\nPixelSamples 1 1\nPixelFilter \"box\" 1 1\n"
                               "Projection \"orthographic\"\nTranslate 0 0 5\n";
    auto shaded_by = [&](const char *map) {
        return "FrameBegin 2\nDisplay \"dump\" \"floatdump\" \"rgba\"\nQuantize \"rgba\" 0 0 0 0\n" + camera +
               "WorldBegin\nSurface \"lit\" \"string map\" \"" + map + "\"\nDisk 0 10 360\nWorldEnd\nFrameEnd\n";
    };
    velktest::RunResult run = e2e::raylume(dir,
        "Option \"searchpath\" \"shader\" [\".:&\"]\n"
        "FrameBegin 1\nDisplay \"light.z\" \"shadow\" \"z\"\n" + camera +
        "WorldBegin\nSurface \"constant\"\nTransformBegin\nTranslate 0 0 -2\nDisk 0 0.5 360\nTransformEnd\n"
        "Disk 0 10 360\nWorldEnd\nFrameEnd\n" + shaded_by("light.z") +
        "MakeShadow \"light.z\" \"light.shad\"\n" + shaded_by("light.shad") +
        "FrameBegin 3\nDisplay \"light.shad\" \"file\" \"rgba\"\n" + camera +
        "WorldBegin\nSurface \"lit\" \"string map\" \"light.shad\"\nDisk 0 10 360\nWorldEnd\nFrameEnd\n" +
        shaded_by("light.shad") +
        "MakeShadow \"light.z\" \"light.z\"\nMakeShadow \"light.z\" \"scene.rib\"\n" + shaded_by("light.z"));
    ASSERT_EQ(run.status, 1) << run.err;   // a refused picture fails the run
    EXPECT_NE(run.err.find("MakeShadow: the output \"light.z\" is also an input"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("MakeShadow: the output \"scene.rib\" is also an input"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Display: the output \"light.shad\" is a file this frame read"), std::string::npos)
        << run.err;
    EXPECT_EQ(dir.read("scene.rib").rfind("Option \"searchpath\"", 0), 0u);
    std::vector<Image> frames;
    for (size_t at = run.out.find("16 16 rgba"); at != std::string::npos; at = run.out.find("16 16 rgba", at + 1))
        frames.push_back(parse_dump(run.out.substr(at)));
    ASSERT_EQ(frames.size(), 4u) << run.out;
    const char *maps[] = {"the depth file", "a map made from it", "the map kept", "the depth file kept"};
    for (int f = 0; f < 4; ++f) {
        SCOPED_TRACE(maps[f]);
        const Image &im = frames[size_t(f)];
        ASSERT_EQ(im.width, 16);
        for (int p : {7, 8}) EXPECT_EQ(im.at(p, p, 0), 0.0f) << p;   // beneath the small disk
        for (int p : {0, 1, 14, 15}) {
            EXPECT_EQ(im.at(p, p, 0), 1.0f) << p;                    // in the open
            EXPECT_EQ(im.at(p, 15 - p, 0), 1.0f) << p;
        }
    }
    // The depth file is still one, and no temporary file is left.
    EXPECT_EQ(dir.read("light.z").substr(0, 4), "\x2f\x08\x67\xab");
    std::string listing = velktest::run({"/bin/ls", "-a", dir.path()}).out;
    EXPECT_EQ(listing.find("light.z."), std::string::npos) << listing;
}

TEST(TexturedPixels, ShadowsFallWhereTheOccluderHidesTheLightWhateverTheMapsProjection)
{
    // Squares in front of the ground (z = 0) are drawn into a depth map from
    // each light camera; the ground alone is then shaded by the map and seen
    // from the pixel camera, one world unit a pixel.
    struct Rect {
        float x0, x1, y0, y1;
    };
    auto square = [](Rect r, float z) {
        std::ostringstream s;
        s << "Polygon \"P\" [" << r.x0 << " " << r.y0 << " " << z << "  " << r.x1 << " " << r.y0 << " " << z << "  "
          << r.x1 << " " << r.y1 << " " << z << "  " << r.x0 << " " << r.y1 << " " << z << "]\n";
        return s.str();
    };
    // A light 8 above (8, 8) with a 90 degree square map: squares whose
    // shadows fall on the given rectangles of the ground, which lies 1.3
    // times as far as they do, on the axis and at angles out to the map's
    // corner (54.7 degrees).
    const std::vector<Rect> wide_shadows = {{7, 9, 7, 9}, {11, 13, 11, 13}, {1, 3, 13, 15}, {0, 2, 7, 9}, {14, 16, 0, 2}};
    std::string wide_squares;
    for (Rect r : wide_shadows) {
        auto in = [](float g) { return 8 + (g - 8) / 1.3f; };
        wide_squares += square({in(r.x0), in(r.x1), in(r.y0), in(r.y1)}, -8 + 8 / 1.3f);
    }
    struct Light {
        const char *what, *camera;
        std::string occluders;
        std::vector<Rect> shadows;   // the world rectangles the shadows must cover
    };
    const Light lights[] = {
        {"orthographic, wide screen window", "Format 64 64 1\nProjection \"orthographic\"\n"
                                             "ScreenWindow -8 8 -8 8\nTranslate -8 -8 5\n",
         square({4, 8, 9, 13}, -2), {{4, 8, 9, 13}}},
        {"orthographic, map twice as wide as high", "Format 64 32 1\nProjection \"orthographic\"\n"
                                                    "Scale 0.25 0.25 1\nTranslate -8 -8 5\n",
         square({9, 13, 5, 8}, -2), {{9, 13, 5, 8}}},
        {"perspective spot, 96 x 64", "Format 96 64 1\nProjection \"perspective\" \"fov\" 90\n"
                                      "Translate -8 -8 4\n",
         square({6, 8, 7, 9}, -2), {{4, 8, 6, 10}}},
        {"perspective, 90 degrees, out to the corners", "Format 64 64 1\nProjection \"perspective\" \"fov\" 90\n"
                                                         "Translate -8 -8 8\n",
         wide_squares, wide_shadows},
        // A scaled camera: its depths are in its own units, as its matrices are.
        {"perspective, camera in half units", "Format 64 64 1\nProjection \"perspective\" \"fov\" 90\n"
                                              "Scale 0.5 0.5 0.5\nTranslate -8 -8 8\n",
         wide_squares, wide_shadows},
        {"orthographic, camera stretched in depth", "Format 64 64 1\nProjection \"orthographic\"\n"
                                                    "ScreenWindow -8 8 -8 8\nScale 1 1 3\nTranslate -8 -8 5\n",
         square({4, 8, 9, 13}, -2), {{4, 8, 9, 13}}},
    };
    velktest::TempDir dir;
    compile(dir, "lit",
            "surface lit(string map = \"\") {\n"
            "    Oi = 1; Ci = 1 - shadow(map, transform(\"world\", P), \"bias\", 0.01, \"width\", 0);\n"
            "}\n");
    const std::string ground = "Polygon \"P\" [-40 -40 0  40 -40 0  40 40 0  -40 40 0]\n";
    for (const Light &light : lights) {
        SCOPED_TRACE(light.what);
        velktest::RunResult run = e2e::raylume(dir,
            "Option \"searchpath\" \"shader\" [\".:&\"]\n"
            "FrameBegin 1\nDisplay \"light.z\" \"zfile\" \"z\"\nPixelSamples 1 1\nPixelFilter \"box\" 1 1\n" +
            std::string(light.camera) + "WorldBegin\nSurface \"constant\"\n" + light.occluders + ground +
            "WorldEnd\nFrameEnd\n"
            "MakeShadow \"light.z\" \"light.shad\"\n"
            "FrameBegin 2\n" + e2e::exact_floatdump_options(16, 16) + e2e::pixel_camera(16, 16) +
            "WorldBegin\nSurface \"lit\" \"string map\" \"light.shad\"\n" + ground + "WorldEnd\nFrameEnd\n");
        ASSERT_EQ(run.status, 0) << run.err;
        size_t start = run.out.find("16 16 rgba");
        ASSERT_NE(start, std::string::npos) << run.out;
        Image im = parse_dump(run.out.substr(start));
        ASSERT_EQ(im.width, 16);
        std::string picture;
        int wrong = 0;
        for (int row = 0; row < 16; ++row, picture += '\n')
            for (int x = 0; x < 16; ++x) {
                float wx = float(x) + 0.5f, wy = float(15 - row) + 0.5f;
                bool dark = im.at(x, row, 0) == 0.0f;
                bool expected = false;
                for (const Rect &r : light.shadows) expected |= wx > r.x0 && wx < r.x1 && wy > r.y0 && wy < r.y1;
                wrong += dark != expected;
                picture += dark ? (expected ? '#' : 'X') : (expected ? 'o' : '.');
            }
        EXPECT_EQ(wrong, 0) << "shadow: '#', missing 'o', wrongly dark 'X'\n" << picture;
    }
}

TEST(TexturedPixels, BlurWidensLatLongLookupsAsItDoesCubeFaceOnes)
{
    // A black lat-long map with a white band 8 texels wide where -y looks
    // (s = 0.25): unblurred the band is seen whole; blur mixes in the black.
    velktest::TempDir dir;
    static const unsigned char white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
    write_rgb(dir.path() + "/band.tif", 64, 32, [](uint32_t x, uint32_t) { return x >= 12 && x < 20 ? white : black; });
    compile(dir, "envsurf",
            "surface envsurf(string map = \"\"; float b = 0;) {\n"
            "    Oi = 1; Ci = color environment(map, vector(0, -1, 0), \"blur\", b);\n"
            "}\n");
    std::string rib = "MakeLatLongEnvironment \"band.tif\" \"band.env\" \"box\" 1 1\n"
                      "Option \"searchpath\" \"shader\" [\".:&\"]\n";
    for (const char *blur : {"0", "0.05", "0.15"})
        rib += std::string("FrameBegin 1\n") + e2e::exact_floatdump_options(1, 1) + e2e::pixel_camera(1, 1) +
               "WorldBegin\nSurface \"envsurf\" \"string map\" \"band.env\" \"float b\" " + blur +
               "\nPolygon \"P\" [-1 -1 0  2 -1 0  2 2 0  -1 2 0]\nWorldEnd\nFrameEnd\n";
    velktest::RunResult run = e2e::raylume(dir, rib);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    std::vector<float> seen;
    for (size_t at = run.out.find("1 1 rgba"); at != std::string::npos; at = run.out.find("1 1 rgba", at + 1)) {
        Image im = parse_dump(run.out.substr(at));
        ASSERT_EQ(im.width, 1) << run.out;
        seen.push_back(im.at(0, 0, 0));
    }
    ASSERT_EQ(seen.size(), 3u) << run.out;
    EXPECT_NEAR(seen[0], 1.0f, 1e-4f);
    EXPECT_LT(seen[1], seen[0] - 0.05f);
    EXPECT_LT(seen[2], seen[1] - 0.05f);
}

TEST(TexturedPixels, InlineDeclaredParametersOfMakeTextureWorkAsPlainOnes)
{
    // "down" makes a 100 x 50 picture 64 x 32 (by default it grows to 128 x 64).
    velktest::TempDir dir;
    static const unsigned char grey[3] = {128, 128, 128};
    write_rgb(dir.path() + "/pic.tif", 100, 50, [](uint32_t, uint32_t) { return grey; });
    velktest::RunResult run = e2e::raylume(dir,
        "MakeTexture \"pic.tif\" \"plain.tex\" \"clamp\" \"clamp\" \"box\" 1 1 \"resize\" \"down\"\n"
        "MakeTexture \"pic.tif\" \"inline.tex\" \"clamp\" \"clamp\" \"box\" 1 1 \"string resize\" \"down\"\n"
        "MakeTexture \"pic.tif\" \"uniform.tex\" \"clamp\" \"clamp\" \"box\" 1 1 \"uniform string resize\" \"down\"\n");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (const char *name : {"plain.tex", "inline.tex", "uniform.tex"}) {
        TIFF *tif = TIFFOpen((dir.path() + "/" + name).c_str(), "r");
        ASSERT_NE(tif, nullptr) << name;
        uint32_t w = 0, h = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFClose(tif);
        EXPECT_EQ(w, 64u) << name;
        EXPECT_EQ(h, 32u) << name;
    }
}

TEST(TexturedPixels, TheCacheFollowsTextureMemoryAndTheFrameEndsWithTextureStatistics)
{
    velktest::TempDir dir;
    write_quadrants(dir.path() + "/quad.tif");
    compile(dir, "texsurf",
            "surface texsurf(string name = \"\") {\n"
            "    point Pw = transform(\"world\", P);\n"
            "    Oi = 1; Ci = color texture(name, xcomp(Pw) / 8, 1 - ycomp(Pw) / 8);\n"
            "}\n");
    // Less than 500 KB is taken as 500 KB: 41 slots of 12 KB.
    velktest::RunResult run = e2e::raylume(dir, "Option \"limits\" \"texturememory\" [499]\n"
                                                "Option \"runtime\" \"verbosity\" \"stats\"\n" +
                                                    scene("Surface \"texsurf\" \"name\" \"quad.tex\"\n"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Creating texture cache with 41 tiles\n"), std::string::npos) << run.out;
    size_t stats = run.out.find("Texture stats:\n");
    ASSERT_NE(stats, std::string::npos) << run.out;
    std::istringstream in(run.out.substr(stats));
    std::string line, one, total, memory;
    std::getline(in, line);
    std::getline(in, one);
    std::getline(in, total);
    std::getline(in, memory);
    // One texture, its counts and the sums alike.
    EXPECT_EQ(one.rfind("  1:", 0), 0u) << one;
    EXPECT_NE(one.find("quad.tex:\t"), std::string::npos) << one;
    EXPECT_EQ(total.rfind("  1 textures:\t", 0), 0u) << total;
    EXPECT_EQ(one.substr(one.find('\t')), total.substr(total.find('\t')));
    long probes = -1, missed = -1, collisions = -1;
    ASSERT_EQ(std::sscanf(total.c_str(), "  1 textures:\t%ld probes, %ld missed, %ld collisions", &probes, &missed,
                          &collisions), 3)
        << total;
    EXPECT_GE(probes, 64);   // four texels for each of the 64 pixels, at least
    EXPECT_GE(missed, 1);
    EXPECT_LE(missed, probes);
    long peak = -1, now = -1;
    ASSERT_EQ(std::sscanf(memory.c_str(), "  Texture memory: %ldk peak, %ldk now", &peak, &now), 2) << memory;
    EXPECT_GE(peak, 12);   // a tile of 64 x 64 RGB texels, at least
    EXPECT_GE(peak, now);
}

TEST(TexturedPixels, ACubeMapMadeByTavrelIsSeenInTheRightDirections)
{
    velktest::TempDir dir;
    // Six flat 16 x 16 faces: +x red, -x green, the others blue.
    std::vector<std::string> args = {velktest::program("tavrel"), "-envcube"};
    for (int face = 0; face < 6; ++face) {
        const unsigned char colour[3] = {uint8_t(face == 0 ? 255 : 0), uint8_t(face == 1 ? 255 : 0),
                                         uint8_t(face > 1 ? 255 : 0)};
        std::string name = "f" + std::to_string(face) + ".tif";
        write_rgb(dir.path() + "/" + name, 16, 16, [&](uint32_t, uint32_t) { return colour; });
        args.push_back(name);
    }
    args.push_back("cube.env");
    velktest::RunOptions opts;
    opts.cwd = dir.path();
    opts.timeout_seconds = 120;
    velktest::RunResult made = velktest::run(args, opts);
    ASSERT_EQ(made.status, 0) << made.err;
    ASSERT_TRUE(dir.exists("cube.env"));

    // The left half of the frame looks along -x, the right half along +x.
    compile(dir, "envsurf",
            "surface envsurf(string name = \"\") {\n"
            "    point Pw = transform(\"world\", P);\n"
            "    vector D = xcomp(Pw) < 4 ? vector (-1, 0.1, 0.2) : vector (1, -0.2, 0.1);\n"
            "    Oi = 1; Ci = color environment(name, D);\n"
            "}\n");
    std::string rib = scene("Surface \"envsurf\" \"name\" \"cube.env\"\n");
    rib = rib.substr(rib.find('\n') + 1);   // no MakeTexture
    velktest::RunResult run = e2e::raylume(dir, rib);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    Image im = parse_dump(run.out);
    ASSERT_EQ(im.width, 8) << run.out;
    for (int y = 0; y < 8; ++y)
        for (int x : {0, 1, 2, 5, 6, 7}) {
            const bool right = x >= 4;
            EXPECT_NEAR(im.at(x, y, 0), right ? 1.0f : 0.0f, 1e-4f) << x << "," << y;
            EXPECT_NEAR(im.at(x, y, 1), right ? 0.0f : 1.0f, 1e-4f) << x << "," << y;
            EXPECT_NEAR(im.at(x, y, 2), 0.0f, 1e-4f) << x << "," << y;
        }
}

TEST(TexturedPixels, ALongThinPictureUsedDirectlyStaysSmallInMemory)
{
    velktest::TempDir dir;
    static const unsigned char red[3] = {255, 0, 0};
    write_rgb(dir.path() + "/thin.tif", 1, 100000, [](uint32_t, uint32_t) { return red; });
    compile(dir, "thinsurf",
            "surface thinsurf(string name = \"\") { Oi = 1; Ci = color texture(name, s, t); }\n");
    velktest::RunResult run = e2e::raylume(dir, scene("Surface \"thinsurf\" \"name\" \"thin.tif\"\n"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("1 x 100000 picture kept at"), std::string::npos) << run.err;
    Image im = parse_dump(run.out);
    ASSERT_EQ(im.width, 8) << run.out;
    EXPECT_NEAR(im.at(3, 3, 0), 1.0f, 1e-4f);
    EXPECT_NEAR(im.at(3, 3, 1), 0.0f, 1e-4f);
}
