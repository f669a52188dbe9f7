// Diced and patch surfaces rendered by raylume: the pixels they cover.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/render_support.h"

namespace {

// Compiles Shading Language sources in dir with murn.
void compile(const velktest::TempDir &dir, const std::string &name, const std::string &source)
{
    velktest::RunResult c = velktest::murn_compile(dir, name, source);
    ASSERT_EQ(c.status, 0) << c.err;
}

// A 16 x 16 frame of whole pixels, written to out.tif.
std::string frame16()
{
    return "Option \"searchpath\" \"shader\" \".:&\"\n"
           "Display \"out.tif\" \"file\" \"rgba\"\n"
           "Format 16 16 1\nPixelSamples 1 1\nPixelFilter \"box\" 1 1\nQuantize \"rgba\" 255 0 255 0\n" +
           e2e::pixel_camera(16, 16);
}

// Renders rib and checks each pixel's coverage: covered(x, y) of the pixel's
// world centre answers 1 (covered), 0 (empty) or -1 (either).
void expect_coverage(const std::string &rib, const std::function<int(float, float)> &covered)
{
    velktest::TempDir dir;
    velktest::RunResult r = e2e::raylume(dir, rib);
    ASSERT_EQ(r.status, 0) << r.err;
    e2e::Image im = e2e::read_tiff(dir.path() + "/out.tif");
    ASSERT_EQ(im.width, 16);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) {
            int want = covered(x + 0.5f, 15.5f - y);
            if (want >= 0) {
                EXPECT_EQ(im.at(x, y, 3), want ? 255 : 0) << x << " " << y;
            }
        }
}

// Control points of a torus (radii 2 and 0.8, scaled by k): tube points
// first, rings of them around the axis.
std::string torus_points(int tube, int around, double k = 1)
{
    std::ostringstream points;
    for (int j = 0; j < around; j++)
        for (int i = 0; i < tube; i++) {
            double a = 2 * M_PI * j / around, b = 2 * M_PI * i / tube, r = 2 + 0.8 * std::cos(b);
            points << k * r * std::cos(a) << " " << k * r * std::sin(a) << " " << k * 0.8 * std::sin(b) << " ";
        }
    return points.str();
}

} // namespace

TEST(DicedSurfaces, TrueDisplacementMovesTheSilhouette)
{
    velktest::TempDir dir;
    compile(dir, "puff", "displacement puff() { P += 1.5 * normalize(N); N = calculatenormal(P); }\n");
    // A sphere of radius 4 around the frame's centre, pushed out to 5.5 when
    // displaced truly; pixel (12, 8) has its centre 4.5 from the middle.
    auto rib = [](int on) {
        return frame16() + "WorldBegin\nSurface \"constant\"\nAttribute \"render\" \"truedisplacement\" " +
               std::to_string(on) +
               "\nAttribute \"displacementbound\" \"sphere\" 2\nDisplacement \"puff\"\n"
               "Translate 8 8 0\nSphere 4 -4 4 360\nWorldEnd\n";
    };
    for (int on : {0, 1}) {
        velktest::RunResult r = e2e::raylume(dir, rib(on));
        ASSERT_EQ(r.status, 0) << r.err;
        e2e::Image im = e2e::read_tiff(dir.path() + "/out.tif");
        ASSERT_EQ(im.width, 16);
        EXPECT_EQ(im.at(8, 8, 3), 255);
        EXPECT_EQ(im.at(12, 8, 3), on ? 255 : 0) << on;
        EXPECT_EQ(im.at(8, 3, 3), on ? 255 : 0) << on;
        EXPECT_EQ(im.at(0, 0, 3), 0);
    }
}

TEST(DicedSurfaces, TwistedHyperboloidIsTracedAsItIsDiced)
{
    // A partial hyperboloid whose generating line is skew to the axis: a
    // displacement of nothing makes it diced, and both forms must cover the
    // same pixels.
    velktest::TempDir dir;
    compile(dir, "still", "displacement still() { P += 0 * N; }\n");
    auto coverage = [&](int diced) {
        std::string rib = "Option \"searchpath\" \"shader\" \".:&\"\nDisplay \"out.tif\" \"file\" \"rgba\"\n"
                          "Format 64 64 1\nPixelSamples 1 1\nPixelFilter \"box\" 1 1\nQuantize \"rgba\" 255 0 255 0\n"
                          "Projection \"perspective\" \"fov\" 40\nTranslate 0 0 5\nRotate -60 1 0 0\n"
                          "WorldBegin\nSurface \"constant\"\nAttribute \"render\" \"truedisplacement\" " +
                          std::to_string(diced) +
                          "\nAttribute \"displacementbound\" \"sphere\" 0.01\nDisplacement \"still\"\n"
                          "Hyperboloid 1 0 -1 -1 0.3 1 120\nWorldEnd\n";
        velktest::RunResult r = e2e::raylume(dir, rib);
        EXPECT_EQ(r.status, 0) << r.err;
        e2e::Image im = e2e::read_tiff(dir.path() + "/out.tif");
        std::vector<bool> lit;
        for (int i = 0; i < im.width * im.height; i++) lit.push_back(im.values[size_t(i) * 4 + 3] > 127);
        return lit;
    };
    std::vector<bool> traced = coverage(0), diced = coverage(1);
    ASSERT_EQ(traced.size(), size_t(64 * 64));
    ASSERT_EQ(diced.size(), traced.size());
    int lit = 0, differ = 0;
    for (size_t i = 0; i < traced.size(); i++) {
        lit += diced[i];
        differ += traced[i] != diced[i];
    }
    EXPECT_GT(lit, 150);
    EXPECT_LE(differ, 2);
}

TEST(DicedSurfaces, BicubicTorusCastsNoShadowSpecksOnItself)
{
    // A torus of periodic B-spline patches lit near its terminators: every
    // pixel whose eight neighbours are covered and unshadowed must not be
    // darkened alone by its shadow rays meeting the neighbouring flat cells.
    const std::string points = torus_points(8, 12, 1.05);
    auto render = [&](const std::string &from, bool shadows) {
        e2e::Render r = e2e::render_floatdump(
            e2e::exact_floatdump_options(200, 150) +
            "Projection \"perspective\" \"fov\" 40\nTranslate 0 0 9\nRotate -50 1 0 0\nWorldBegin\n"
            "Attribute \"light\" \"shadows\" \"" + std::string(shadows ? "on" : "off") +
            "\"\nLightSource \"distantlight\" 1 \"from\" [" + from + "] \"to\" [0 0 0]\n"
            "Surface \"matte\"\nBasis \"b-spline\" 1 \"b-spline\" 1\n"
            "PatchMesh \"bicubic\" 8 \"periodic\" 12 \"periodic\" \"P\" [" + points + "]\nWorldEnd\n");
        EXPECT_EQ(r.run.status, 0) << r.run.err;
        return r.image;
    };
    for (const char *from : {"1 1 0", "-3 1 0"}) {
        SCOPED_TRACE(from);
        e2e::Image lit = render(from, true), plain = render(from, false);
        ASSERT_EQ(lit.width, 200);
        ASSERT_EQ(plain.values.size(), lit.values.size());
        auto darkened = [&](int x, int y) { return plain.at(x, y, 0) - lit.at(x, y, 0) > 0.02f; };
        int covered = 0;
        for (int y = 1; y < 149; y++)
            for (int x = 1; x < 199; x++) {
                bool inside = true;
                int dark = 0;
                for (int dy = -1; dy <= 1; dy++)
                    for (int dx = -1; dx <= 1; dx++) {
                        inside = inside && lit.at(x + dx, y + dy, 3) >= 1;
                        dark += darkened(x + dx, y + dy);
                    }
                covered += inside;
                EXPECT_FALSE(inside && dark == 1 && darkened(x, y)) << "speck at " << x << ", " << y;
            }
        EXPECT_GT(covered, 4000);
    }
}

TEST(DicedSurfaces, ClosedPatchSurfacesShowNoBackgroundFromInside)
{
    // An eye inside the tube of tori built of patches that meet along
    // shared edges, each diced at its own rates: every ray meets the surface.
    std::vector<std::string> tori;
    for (const char *basis : {"b-spline", "catmull-rom"})
        tori.push_back("Basis \"" + std::string(basis) + "\" 1 \"" + basis + "\" 1\nPatchMesh \"bicubic\" 8 \"periodic\" 12 "
                       "\"periodic\" \"P\" [" + torus_points(8, 12) + "]\n");
    tori.push_back("Basis \"b-spline\" 1 \"b-spline\" 1\nPatchMesh \"bicubic\" 6 \"periodic\" 16 \"periodic\" \"P\" [" +
                   torus_points(6, 16) + "]\n");
    // Uniform cubic NURBS pieces of one torus: 3 and 5 of its 8 tube spans,
    // each wrapping the 24 spans around (their own probe lattices differ).
    std::istringstream in(torus_points(8, 24));
    std::vector<std::string> cv(8 * 24);
    for (std::string &p : cv) {
        std::string y, z;
        in >> p >> y >> z;
        p += " " + y + " " + z;
    }
    std::string nurbs;
    for (int first : {0, 3}) {
        int spans = first ? 5 : 3, nu = 27, nv = spans + 3;
        std::string uk, vk, P;
        for (int k = 0; k < nu + 4; k++) uk += std::to_string(k) + " ";
        for (int k = 0; k < nv + 4; k++) vk += std::to_string(k) + " ";
        for (int i = 0; i < nv; i++)
            for (int j = 0; j < nu; j++) P += cv[(first + i) % 8 + 8 * (j % 24)] + " ";
        nurbs += "NuPatch 27 4 [" + uk + "] 3 27 " + std::to_string(nv) + " 4 [" + vk + "] 3 " + std::to_string(nv) +
                 " \"P\" [" + P + "]\n";
    }
    tori.push_back(nurbs);
    for (size_t k = 0; k < tori.size(); k++) {
        e2e::Render r = e2e::render_floatdump(e2e::exact_floatdump_options(160, 160) +
                                              "Projection \"perspective\" \"fov\" 90\nRotate 90 1 0 0\nRotate -15 0 1 0\n"
                                              "Translate -2 0 0\nWorldBegin\nSurface \"constant\"\n" +
                                              tori[k] + "WorldEnd\n");
        ASSERT_EQ(r.run.status, 0) << r.run.err;
        ASSERT_EQ(r.image.width, 160) << k;
        int background = 0;
        for (int y = 0; y < 160; y++)
            for (int x = 0; x < 160; x++) background += r.image.at(x, y, 3) < 1;
        EXPECT_EQ(background, 0) << "torus " << k;
    }
}

TEST(PatchSurfaces, BilinearPatchAndMeshCoverTheirPixels)
{
    // A square patch over x 2..12, y 2..10 and, from a 2 x 2 mesh, the piece
    // over x 13..15, y 12..14 (world y grows upwards: row = 15 - y).
    std::string rib = frame16() +
                      "WorldBegin\nSurface \"constant\"\n"
                      "Patch \"bilinear\" \"P\" [2 2 0  12 2 0  2 10 0  12 10 0]\n"
                      "PatchMesh \"bilinear\" 2 \"nonperiodic\" 2 \"nonperiodic\" "
                      "\"P\" [13 12 0  15 12 0  13 14 0  15 14 0]\nWorldEnd\n";
    expect_coverage(rib, [](float wx, float wy) {
        return (wx > 2 && wx < 12 && wy > 2 && wy < 10) || (wx > 13 && wx < 15 && wy > 12 && wy < 14);
    });
}

TEST(PatchSurfaces, BicubicPatchCoversItsPixels)
{
    // A Bezier patch over x 2..14, y 4..10 whose inner points bulge towards
    // the eye, and the same square with the B-spline basis, which keeps to
    // the middle third of its control points (x 6..10, y 12..14 of the 12..16
    // strip reaches y 13.33..14.67).
    std::string points, flat;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++) {
            float z = (r == 1 || r == 2) && (c == 1 || c == 2) ? -3 : 0;
            points += std::to_string(2 + 4 * c) + " " + std::to_string(4 + 2 * r) + " " + std::to_string(z) + "  ";
            flat += std::to_string(2 + 4 * c) + " " + std::to_string(12 + 4 * r / 3.0) + " 0  ";
        }
    std::string rib = frame16() + "WorldBegin\nSurface \"constant\"\nPatch \"bicubic\" \"P\" [" + points +
                      "]\nBasis \"b-spline\" 1 \"b-spline\" 1\nPatch \"bicubic\" \"P\" [" + flat + "]\nWorldEnd\n";
    expect_coverage(rib, [](float wx, float wy) {
        bool bezier = wx > 2 && wx < 14 && wy > 4 && wy < 10;
        bool bspline = wx > 6 && wx < 10 && wy > 13.4f && wy < 14.6f;
        return bezier || bspline;
    });
}

TEST(PatchSurfaces, TrimmedNurbsPatchShowsItsColoursAndItsHole)
{
    velktest::TempDir dir;
    // A flat linear patch over x 2..14, y 2..14 whose red runs with u from 0
    // to 1; the square trim loop over u, v 0.25..0.75 (x, y 5..11) is cut out
    // with the sense "outside", and is all that is left with "inside".
    auto rib = [](const char *sense) {
        return frame16() + "WorldBegin\nSurface \"constant\"\n"
                           "TrimCurve [1] [2] [0 0 1 2 3 4 4] [0] [4] [5] [0.25 0.75 0.75 0.25 0.25] "
                           "[0.25 0.25 0.75 0.75 0.25] [1 1 1 1 1]\n"
                           "Attribute \"trimcurve\" \"sense\" \"" +
               std::string(sense) +
               "\"\nNuPatch 2 2 [0 0 1 1] 0 1 2 2 [0 0 1 1] 0 1 \"P\" [2 2 0 14 2 0 2 14 0 14 14 0] "
               "\"Cs\" [0 0 1  1 0 1  0 0 1  1 0 1]\nWorldEnd\n";
    };
    for (const char *sense : {"outside", "inside"}) {
        velktest::RunResult r = e2e::raylume(dir, rib(sense));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        e2e::Image im = e2e::read_tiff(dir.path() + "/out.tif");
        ASSERT_EQ(im.width, 16);
        bool cut_hole = sense[0] == 'o';
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++) {
                float wx = x + 0.5f, wy = 15.5f - y;
                bool patch = wx > 2 && wx < 14 && wy > 2 && wy < 14;
                bool loop = wx > 5 && wx < 11 && wy > 5 && wy < 11;
                bool shown = patch && (cut_hole ? !loop : loop);
                ASSERT_EQ(im.at(x, y, 3), shown ? 255 : 0) << sense << " " << x << " " << y;
                if (!shown) continue;
                float u = (wx - 2) / 12;
                EXPECT_NEAR(im.at(x, y, 0), 255 * u, 1.5) << x << " " << y;
                EXPECT_NEAR(im.at(x, y, 2), 255, 1);
            }
    }
}

TEST(PatchSurfaces, RationalNurbsDiskIsRound)
{
    // A disk of radius 6 around the frame's centre: a rational quadratic
    // circle in u, its centre (the rim's points weighted alike) in v.
    const char *h = "0.70710678";
    std::string rim, centre;
    const float c[9][3] = {{1, 0, 1}, {1, 1, 0}, {0, 1, 1}, {-1, 1, 0}, {-1, 0, 1},
                           {-1, -1, 0}, {0, -1, 1}, {1, -1, 0}, {1, 0, 1}};
    for (const auto &p : c) {
        // Corner points carry weight 1; the others the weight h (so x h).
        std::string w = p[2] ? "1" : h;
        std::string x = p[2] ? std::to_string((int)p[0]) : (p[0] < 0 ? "-" : "") + std::string(h);
        std::string y = p[2] ? std::to_string((int)p[1]) : (p[1] < 0 ? "-" : "") + std::string(h);
        rim += x + " " + y + " 0 " + w + "  ";
        centre += "0 0 0 " + w + "  ";
    }
    std::string rib = frame16() + "WorldBegin\nSurface \"constant\"\nTranslate 8 8 0\nScale 6 6 1\n"
                                  "NuPatch 9 3 [0 0 0 1 1 2 2 3 3 4 4 4] 0 4 2 2 [0 0 1 1] 0 1 \"Pw\" [" +
                      rim + centre + "]\nWorldEnd\n";
    expect_coverage(rib, [](float wx, float wy) {
        float d = std::hypot(wx - 8, wy - 8);
        return std::fabs(d - 6) < 0.15f ? -1 : d < 6;   // the diced rim may fall either way
    });
}

TEST(PatchSurfaces, NurbsStepsAreInKnotUnits)
{
    // The same flat patch over x, y 2..14 with u knots over 0..1 and over
    // 0..4: the shader's du (red, scaled) is four times larger on the second,
    // dv (green) the same.
    velktest::TempDir dir;
    compile(dir, "showdu", "surface showdu() { Ci = color(du * 10, dv * 10, 0); Oi = 1; }");
    const char *u_knots_and_range[2] = {"[0 0 1 1] 0 1", "[0 0 4 4] 0 4"};
    float red[2], green[2];
    for (int i = 0; i < 2; i++) {
        std::string rib = frame16() + "Quantize \"rgba\" 0 0 0 0\nWorldBegin\nSurface \"showdu\"\n"
                          "NuPatch 2 2 " + u_knots_and_range[i] + " 2 2 [0 0 1 1] 0 1 "
                          "\"P\" [2 2 0 14 2 0 2 14 0 14 14 0]\nWorldEnd\n";
        velktest::RunResult r = e2e::raylume(dir, rib);
        ASSERT_EQ(r.status, 0) << r.err;
        e2e::Image im = e2e::read_tiff(dir.path() + "/out.tif");
        ASSERT_EQ(im.width, 16);
        red[i] = im.at(8, 8, 0);
        green[i] = im.at(8, 8, 1);
    }
    ASSERT_GT(red[0], 0);
    EXPECT_NEAR(red[1] / red[0], 4, 0.04);
    EXPECT_NEAR(green[1], green[0], 1e-4 * green[0]);
}
