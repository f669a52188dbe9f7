// Light over one specular bounce, rendered by raylume and held against
// geometric optics: a floor lit only by the "bouncer" light below a
// refracting plate, a concave mirror and a convex ball, each pixel within
// 10 percent of the exact irradiance. And the radiosity controls that shape
// the mesh or would make a solution run without end.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <regex>
#include <sstream>

#include "tests/support/render_support.h"

namespace {

const double PI = 3.14159265358979;

// A 16 x 16 frame of the floor z = -2 (world units are pixels; the eye looks
// up +z from z = -5), lit only through specular paths of a point light of
// intensity 10 on the axis x = y = 8.5; the reflector or refractor comes from
// `optics`.
e2e::Render render_floor(double light_z, const std::string &optics)
{
    std::ostringstream s;
    s << e2e::exact_floatdump_options(16, 16) << e2e::pixel_camera(16, 16)
      << "Option \"radiosity\" \"steps\" 1\nWorldBegin\nLightSource \"bouncer\" 1\n"
      << "LightSource \"pointlight\" 2 \"from\" [8.5 8.5 " << light_z << "] \"intensity\" 10\nIlluminate 2 0\n"
      << "AttributeBegin\n" << optics << "AttributeEnd\n"
      << "AttributeBegin\nAttribute \"radiosity\" \"zonal\" \"zonal_receives\"\nSurface \"matte\" \"Ka\" 0\n"
      << "Polygon \"P\" [0 0 -2  0 16 -2  16 16 -2  16 0 -2]\nAttributeEnd\nWorldEnd\n";
    return e2e::render_floatdump(s.str());
}

// Every pixel whose distance r from the axis is in [rmin, rmax] against
// exact(r); the largest relative error, and the count of pixels checked.
double worst_error(const e2e::Image &im, const std::function<double(double)> &exact, double rmax, int &checked)
{
    double worst = 0;
    checked = 0;
    for (int row = 0; row < im.height; ++row)
        for (int x = 0; x < im.width; ++x) {
            double r = std::hypot(x + 0.5 - 8.5, im.height - 1 - row + 0.5 - 8.5);
            if (r > rmax) continue;
            double want = exact(r);
            double err = std::fabs(im.at(x, row, 0) / want - 1);
            if (err > worst) worst = err;
            checked++;
        }
    return worst;
}

// The irradiance on the floor at distance r from the axis, the light a above
// a flat refracting surface of index n and the floor b below it: the flux of
// a cone of directions over the ring it lands on.
double plate_irradiance(double a, double b, double n, double r, double I)
{
    if (r == 0) return I / ((a + b / n) * (a + b / n));
    auto land = [&](double t) { return a * std::tan(t) + b * std::tan(std::asin(std::sin(t) / n)); };
    double lo = 0, hi = PI / 2 - 1e-9;
    for (int i = 0; i < 200; ++i) (land(0.5 * (lo + hi)) < r ? lo : hi) = 0.5 * (lo + hi);
    double t1 = 0.5 * (lo + hi), t2 = std::asin(std::sin(t1) / n);
    double drdt = a / (std::cos(t1) * std::cos(t1)) + b / (std::cos(t2) * std::cos(t2)) * std::cos(t1) / (n * std::cos(t2));
    return I * std::sin(t1) / (r * drdt);
}

// A spherical mirror of radius R about (axis, zc) with the light on the axis
// at zl and the floor at zf above both: the concave bottom cap or the convex
// top. The irradiance at r sums every reflection point of polar angle below
// amax, each the pencil value of the Coddington equations (tangential and
// sagittal image distances) times the cosine on the floor.
struct SphereMirror {
    double R, zc, zl, zf, amax;
    bool convex;

    struct Ray {
        bool up;
        double x, din, cosine, dout, oz;
    };
    Ray trace(double a) const
    {
        double px = R * std::sin(a), pz = convex ? zc + R * std::cos(a) : zc - R * std::cos(a);
        double nx = convex ? std::sin(a) : -std::sin(a), nz = std::cos(a);
        double dx = px, dz = pz - zl, din = std::hypot(dx, dz);
        dx /= din, dz /= din;
        double dn = dx * nx + dz * nz, ox = dx - 2 * dn * nx, oz = dz - 2 * dn * nz;
        if (!(oz > 0)) return Ray{false, 0, 0, 0, 0, 0};
        double s = (zf - pz) / oz;
        return Ray{true, px + s * ox, din, -dn, s, oz};
    }
    double irradiance(double r, double I) const
    {
        const double Rs = convex ? -R : R;
        const int N = 4000;
        double total = 0, prev_a = 0, prev_x = 0;
        bool have = false;
        for (int i = -N; i <= N; ++i) {
            double a = amax * i / N;
            Ray t = trace(a);
            if (!t.up) {
                have = false;
                continue;
            }
            double x = t.x - r;
            if (have && (x > 0) != (prev_x > 0)) {
                double lo = prev_a, hi = a;
                for (int k = 0; k < 100; ++k) {
                    double m = 0.5 * (lo + hi);
                    ((trace(m).x - r > 0) == (prev_x > 0) ? lo : hi) = m;
                }
                Ray p = trace(0.5 * (lo + hi));
                double st = 1 / (2 / (Rs * p.cosine) - 1 / p.din), ss = 1 / (2 * p.cosine / Rs - 1 / p.din);
                total += I / (p.din * p.din) * std::fabs(st * ss / ((st - p.dout) * (ss - p.dout))) * p.oz;
            }
            have = true, prev_a = a, prev_x = x;
        }
        return total;
    }
};

} // namespace

TEST(SpecularLightE2E, AFlatRefractingPlateGivesTheGeometricOpticsIrradiance)
{
    // Index 1.5, the light 4 above the plate, the floor 6 below: a broad lit
    // floor, 10 / 8^2 under the light.
    e2e::Render r = render_floor(-12, "Attribute \"radiosity\" \"refractioncolor\" [1 1 1] \"refractionindex\" 1.5 "
                                      "\"zonal\" \"zonal_shoots\"\n"
                                      "Polygon \"P\" [-4 -4 -8  -4 21 -8  21 21 -8  21 -4 -8]\n");
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    ASSERT_FALSE(r.image.empty());
    int checked = 0;
    double worst = worst_error(
        r.image, [](double rr) { return plate_irradiance(4, 6, 1.5, rr, 10); }, 100, checked);
    EXPECT_EQ(checked, 256);
    EXPECT_LT(worst, 0.1);
}

TEST(SpecularLightE2E, AConcaveMirrorFocusesToTheExactPencilValue)
{
    // Radius 10, its pole 8 below the light, the floor 18 above the pole and
    // past the focus: 10 / 2.8^2 on the axis, less off it, each reflection
    // point counted once where the mirror's patches meet at the pole.
    SphereMirror m{10, -10, -12, -2, std::acos(0.8), false};
    e2e::Render r = render_floor(-12, "Attribute \"radiosity\" \"specularcolor\" [1 1 1] \"zonal\" \"zonal_shoots\"\n"
                                      "Translate 8.5 8.5 -10\nSphere 10 -10 -8 360\n");
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    ASSERT_FALSE(r.image.empty());
    EXPECT_NEAR(r.image.at(8, 7, 0), 10 / (2.8 * 2.8), 0.1 * 10 / (2.8 * 2.8));
    // Off the axis out to the light reflected by the rim (r = 2.7 stays
    // clear of the rim's pixels).
    int checked = 0;
    double worst = worst_error(
        r.image, [&](double rr) { return m.irradiance(rr, 10); }, 2.7, checked);
    EXPECT_GT(checked, 20);
    EXPECT_LT(worst, 0.1);
}

TEST(SpecularLightE2E, AConvexBallReflectsWithoutSeams)
{
    // A mirror ball of radius 2 cut into small patches, the light 2 above it:
    // the patches meet at the pole under the axis and along many seams, and
    // no pixel is brighter than its exact value.
    SphereMirror m{2, -10, -6, -2, PI / 2 * 0.999, true};
    e2e::Render r = render_floor(-6, "Attribute \"radiosity\" \"specularcolor\" [1 1 1] \"zonal\" \"zonal_shoots\" "
                                     "\"patchsize\" 1\nTranslate 8.5 8.5 -10\nSphere 2 0 2 360\n");
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    ASSERT_FALSE(r.image.empty());
    int checked = 0;
    double worst = worst_error(
        r.image, [&](double rr) { return m.irradiance(rr, 10); }, 100, checked);
    EXPECT_EQ(checked, 256);
    EXPECT_LT(worst, 0.1);
}

namespace {

// The statistics line of the radiosity mesh of a plate lit by a point light,
// rendered with the given options (and the option lines before the world).
std::string mesh_counts(std::vector<std::string> args, const std::string &options = "")
{
    velktest::TempDir dir;
    args.insert(args.begin(), {"-radio", "1", "-stats"});
    velktest::RunResult run = e2e::raylume(dir,
                                           e2e::exact_floatdump_options(4, 4) + e2e::pixel_camera(4, 4) + options +
                                               "WorldBegin\nLightSource \"pointlight\" 1 \"from\" [2 2 -4] \"intensity\" 50\n"
                                               "Polygon \"P\" [0 0 0  0 16 0  16 16 0  16 0 0]\nWorldEnd\n",
                                           args);
    std::smatch m;
    static const std::regex used("Used [0-9]+ patches \\([0-9]+k\\), [0-9]+ elements");
    return std::regex_search(run.out, m, used) ? m.str() : "no statistics:\n" + run.out + run.err;
}

} // namespace

TEST(RadiosityControlsE2E, MeshSizesGivenAsOptionsShapeTheMesh)
{
    const std::string plain = mesh_counts({});
    EXPECT_EQ(plain.rfind("Used 16 patches", 0), 0u) << plain;
    EXPECT_EQ(mesh_counts({"-patchsize", "2"}).rfind("Used 64 patches", 0), 0u);
    EXPECT_EQ(mesh_counts({}, "Option \"radiosity\" \"patchsize\" 8\n").rfind("Used 4 patches", 0), 0u);
    // Smaller elements: the same patches, more elements.
    const std::string fine = mesh_counts({"-elemsize", "1"});
    EXPECT_EQ(fine.rfind("Used 16 patches", 0), 0u) << fine;
    EXPECT_NE(fine, plain);
    // A large minimum size stops the refinement where the light changes.
    const std::string coarse = mesh_counts({"-minsize", "8"});
    EXPECT_EQ(coarse.rfind("Used 16 patches", 0), 0u) << coarse;
    EXPECT_NE(coarse, plain);
}

TEST(RadiosityControlsE2E, SizesThatWouldFillTheMemoryAreBounded)
{
    // A patch or element size a millionth of the plate meshed until the
    // memory ran out; now the mesh stops at its bound and says so once.
    for (const char *option : {"-patchsize", "-elemsize"}) {
        velktest::TempDir dir;
        velktest::RunResult run =
            e2e::raylume(dir,
                         e2e::exact_floatdump_options(2, 2) + e2e::pixel_camera(2, 2) +
                             "WorldBegin\nPolygon \"P\" [0 0 0  0 16 0  16 16 0  16 0 0]\nWorldEnd\n",
                         {"-radio", "1", "-stats", option, "0.000016"});
        EXPECT_EQ(run.status, 0) << option;
        std::smatch m;
        static const std::regex used("Used ([0-9]+) patches \\([0-9]+k\\), ([0-9]+) elements");
        ASSERT_TRUE(std::regex_search(run.out, m, used)) << run.out << run.err;
        EXPECT_LE(std::stol(m[1]), 65536) << option;
        EXPECT_LE(std::stol(m[2]), 262144) << option;
        if (std::string(option) == "-patchsize") {
            EXPECT_EQ(m[1], "65536");
            EXPECT_NE(run.err.find("Radiosity patch size 1.6e-05 would make"), std::string::npos) << run.err;
        }
    }
}

TEST(RadiosityControlsE2E, NegativeSampleAndStepCountsAreRefused)
{
    // Wrapped into their 16-bit fields these ran for ever.
    velktest::TempDir dir;
    const std::string rib = e2e::exact_floatdump_options(2, 2) + e2e::pixel_camera(2, 2) +
                            "Option \"radiosity\" \"steps\" -1\nWorldBegin\nLightSource \"pointlight\" 1\n" +
                            e2e::unit_disk(0, 0) + "WorldEnd\n";
    velktest::RunResult run = e2e::raylume(dir, rib, {"-rsamples", "-1"});
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("\"minpatchsamples\" -1 out of range"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\"steps\" -1 out of range"), std::string::npos) << run.err;
}
