// Light over one specular bounce, rendered by raylume and held against
// geometric optics: a floor lit only by the "bouncer" light below a
// refracting plate, a concave mirror, convex balls, a ball lens, a small
// tilted mirror, a cylindrical mirror's fold and a distant light over a
// mirror, each pixel against the exact irradiance (ray optics with a
// numerical Jacobian). Radiosity in an open scene and along a corner line
// against exact form factors, and the controls that shape the mesh or would
// make a solution run without end.
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

struct V {
    double x, y, z;
    V operator+(const V &o) const { return {x + o.x, y + o.y, z + o.z}; }
    V operator-(const V &o) const { return {x - o.x, y - o.y, z - o.z}; }
    V operator*(double k) const { return {x * k, y * k, z * k}; }
};
double dot(const V &a, const V &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V cross(const V &a, const V &b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V unit(const V &a) { return a * (1 / std::sqrt(dot(a, a))); }

// A mirror or refracting surface for the exact answer: its point and unit
// normal at (u, v) (false off the surface), the parameter box, the index (0
// for a mirror) and whether the way from a surface point to the floor is open.
struct Optic {
    std::function<bool(double, double, V &, V &)> at;
    double u0, u1, v0, v1, index;
    std::function<bool(const V &, const V &)> open;
};

// A point light at `from`, or a distant one travelling along unit `from`.
struct Source {
    bool distant;
    V from;
    double I;
};

// Where the light through (u, v) meets the floor z = zf, by ray optics.
bool land(const Optic &o, const Source &s, double zf, double u, double v, V &F, V *P_out = nullptr)
{
    V P, N;
    if (!o.at(u, v, P, N)) return false;
    V d = s.distant ? s.from : unit(P - s.from);
    if (dot(N, d) > 0) N = N * -1;
    double c1 = -dot(d, N);
    V out;
    if (o.index == 0) {
        out = d + N * (2 * c1);
    } else {
        double eta = 1 / o.index, k = 1 - eta * eta * (1 - c1 * c1);
        if (k < 0) return false;
        out = d * eta + N * (eta * c1 - std::sqrt(k));
    }
    if (!(out.z > 0)) return false;
    F = P + out * ((zf - P.z) / out.z);
    if (P_out) *P_out = P;
    return !o.open || o.open(P, F);
}

// The irradiance on the floor z = zf at (x, y): over every surface point
// whose light lands there (Newton's method from a grid of starts), the flux
// the light sends through the surface element over the floor area it lands
// on (the Jacobian of the landing point, by differences).
double exact_irradiance(const Optic &o, const Source &s, double zf, double x, double y, int grid = 24)
{
    const double du = o.u1 - o.u0, dv = o.v1 - o.v0, hu = 1e-6 * du, hv = 1e-6 * dv;
    std::vector<std::pair<double, double>> roots;
    double total = 0;
    for (int i = 0; i < grid; ++i)
        for (int j = 0; j < grid; ++j) {
            double u = o.u0 + (i + 0.5) * du / grid, v = o.v0 + (j + 0.5) * dv / grid;
            V F, Fu, Fv;
            bool ok = false;
            for (int it = 0; it < 50; ++it) {
                if (!land(o, s, zf, u, v, F) || !land(o, s, zf, u + hu, v, Fu) || !land(o, s, zf, u, v + hv, Fv)) break;
                double rx = F.x - x, ry = F.y - y;
                if (std::hypot(rx, ry) < 1e-9) {
                    ok = true;
                    break;
                }
                double a = (Fu.x - F.x) / hu, b = (Fv.x - F.x) / hv, c = (Fu.y - F.y) / hu, d = (Fv.y - F.y) / hv;
                double det = a * d - b * c;
                if (det == 0) break;
                u -= (d * rx - b * ry) / det;
                v -= (a * ry - c * rx) / det;
            }
            if (!ok) continue;
            bool known = false;
            for (auto &r : roots) known |= std::fabs(r.first - u) < 1e-5 * du && std::fabs(r.second - v) < 1e-5 * dv;
            if (known) continue;
            roots.emplace_back(u, v);
            V P, N, Pu, Pv, Nn, Fu2, Fv2;
            o.at(u, v, P, N);
            o.at(u + hu, v, Pu, Nn);
            o.at(u, v + hv, Pv, Nn);
            land(o, s, zf, u, v, F);
            land(o, s, zf, u + hu, v, Fu2);
            land(o, s, zf, u, v + hv, Fv2);
            double area = std::sqrt(dot(cross(Pu - P, Pv - P), cross(Pu - P, Pv - P)));
            double floor = std::fabs((Fu2.x - F.x) * (Fv2.y - F.y) - (Fv2.x - F.x) * (Fu2.y - F.y));
            V d = s.distant ? s.from : P - s.from;
            double din2 = s.distant ? 1 : dot(d, d);
            total += s.I * std::fabs(dot(unit(d), N)) * area / din2 / floor;
        }
    return total;
}

// A frame of the floor z = -2 seen over the window [x0, x0 + size]^2 in n x n
// pixels, lit only through the specular paths of `light` (light 2) over
// `optics`.
e2e::Render render_window(double x0, double size, int n, const std::string &light, const std::string &optics)
{
    std::ostringstream s;
    s << e2e::exact_floatdump_options(n, n) << "Projection \"orthographic\"\nScreenWindow " << x0 << " " << x0 + size
      << " " << x0 << " " << x0 + size << "\nTranslate 0 0 5\n"
      << "Option \"radiosity\" \"steps\" 1\nWorldBegin\nLightSource \"bouncer\" 1\n" << light << "\nIlluminate 2 0\n"
      << "AttributeBegin\n" << optics << "AttributeEnd\n"
      << "AttributeBegin\nAttribute \"radiosity\" \"zonal\" \"zonal_receives\"\nSurface \"matte\" \"Ka\" 0\n"
      << "Polygon \"P\" [0 0 -2  0 16 -2  16 16 -2  16 0 -2]\nAttributeEnd\nWorldEnd\n";
    return e2e::render_floatdump(s.str());
}

// Every pixel of a window render against the exact irradiance at its centre:
// where the light is on at the centre and half a pixel around it, within
// the worst relative error; where it is off at all of them, black (else the
// error counts as 1). The count of each kind.
struct Agreement {
    int lit = 0, dark = 0;
    double worst = 0;
    std::string where;
};

Agreement compare(const e2e::Image &im, double x0, double size, const std::function<double(double, double)> &exact)
{
    Agreement a;
    const int n = im.width;
    const double px = size / n;
    for (int row = 0; row < n; ++row)
        for (int col = 0; col < n; ++col) {
            double x = x0 + (col + 0.5) * px, y = x0 + (n - 1 - row + 0.5) * px;
            double want = exact(x, y);
            int on = 0;
            for (auto [dx, dy] : {std::pair{-0.5, 0.0}, {0.5, 0.0}, {0.0, -0.5}, {0.0, 0.5}})
                on += exact(x + dx * px, y + dy * px) > 0;
            double got = im.at(col, row, 0);
            std::ostringstream w;
            w << "(" << x << ", " << y << "): " << got << " for " << want;
            if (want > 0 && on == 4) {
                a.lit++;
                double err = std::fabs(got / want - 1);
                if (err > a.worst) a.worst = err, a.where = w.str();
            } else if (want == 0 && on == 0) {
                a.dark++;
                if (got != 0 && 1 > a.worst) a.worst = 1, a.where = w.str();
            }
        }
    return a;
}

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
    // Mirror balls cut into small patches or large ones, the light above
    // them: the patches meet at the pole under the axis and along seams, and
    // every pixel has its exact value (a search that failed for one pixel
    // left the next starting where it could not recover: whole quadrants
    // went black).
    struct Case {
        double R, zl;
        const char *patchsize;
    };
    for (const Case &c : {Case{2, -6, "1"}, Case{2, -6, "4"}, Case{3, -6.5, "2"}, Case{1.5, -7, "4"}, Case{2.5, -5.5, "1.5"}}) {
        SCOPED_TRACE(c.patchsize);
        SphereMirror m{c.R, -10, c.zl, -2, PI / 2 * 0.999, true};
        std::ostringstream optics;
        optics << "Attribute \"radiosity\" \"specularcolor\" [1 1 1] \"zonal\" \"zonal_shoots\" \"patchsize\" "
               << c.patchsize << "\nTranslate 8.5 8.5 -10\nSphere " << c.R << " 0 " << c.R << " 360\n";
        e2e::Render r = render_floor(c.zl, optics.str());
        ASSERT_EQ(r.run.status, 0) << r.run.err;
        ASSERT_FALSE(r.image.empty());
        int checked = 0;
        double worst = worst_error(
            r.image, [&](double rr) { return m.irradiance(rr, 10); }, 100, checked);
        EXPECT_EQ(checked, 256);
        EXPECT_LT(worst, 0.05);
    }
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

TEST(SpecularLightE2E, ABallLensCutByTheFloorLightsWhatRefractionReachesAndNothingElse)
{
    // Index 1.8, radius 2, hidden from the camera, its centre 0.8 above the
    // floor that cuts it and the light 4.2 above its top: light converges
    // on the cut disk (1.83 across); outside the disk every way from the
    // ball's top to the floor crosses the ball again.
    const V C{8.5, 8.5, -2.8};
    const double R = 2;
    const Source light{false, {8.5, 8.5, -9}, 10};
    const Optic ball{[&](double x, double y, V &P, V &N) {
                         double h = R * R - x * x - y * y;
                         if (!(h > 0)) return false;
                         P = C + V{x, y, -std::sqrt(h)};
                         N = (P - C) * (1 / R);
                         return dot(N, light.from - P) > 0;
                     },
                     -R, R, -R, R, 1.8, [&](const V &, const V &F) { return dot(F - C, F - C) < R * R; }};
    e2e::Render r = render_window(6.375, 4.25, 17, "LightSource \"pointlight\" 2 \"from\" [8.5 8.5 -9] \"intensity\" 10",
                                  "Attribute \"render\" \"visibility\" 6\n"
                                  "Attribute \"radiosity\" \"refractioncolor\" [1 1 1] \"refractionindex\" 1.8 "
                                  "\"zonal\" \"zonal_shoots\"\nTranslate 8.5 8.5 -2.8\nSphere 2 -2 2 360\n");
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    ASSERT_FALSE(r.image.empty());
    auto exact = [&](double x, double y) { return exact_irradiance(ball, light, -2, x, y, 12); };
    // The focus: under the axis.
    EXPECT_NEAR(r.image.at(8, 8, 0), exact(8.5, 8.5), 0.05 * exact(8.5, 8.5));
    Agreement a = compare(r.image, 6.375, 4.25, exact);
    EXPECT_GT(a.lit, 20);
    EXPECT_GT(a.dark, 40);
    EXPECT_LT(a.worst, 0.05) << a.where;
}

TEST(SpecularLightE2E, ASmallTiltedMirrorLightsItsWholeSpotOnADefaultMeshedFloor)
{
    // A mirror 0.2 square tilted by 12 degrees: its spot (x 10.6 to 11.4,
    // y 10.6 to 11.3) falls between the floor's radiosity vertices (2 apart).
    const double c = std::cos(12 * PI / 180), s = std::sin(12 * PI / 180);
    const Source light{false, {11, 6.8, -10}, 10};
    const Optic mirror{[&](double u, double v, V &P, V &N) {
                           P = V{11 + u, 9.3 + v * c, -14 + v * s};
                           N = V{0, -s, c};
                           return std::fabs(u) <= 0.1 && std::fabs(v) <= 0.1;
                       },
                       -0.1, 0.1, -0.1, 0.1, 0, nullptr};
    e2e::Render r = render_window(10, 2, 16, "LightSource \"pointlight\" 2 \"from\" [11 6.8 -10] \"intensity\" 10",
                                  "Attribute \"radiosity\" \"specularcolor\" [1 1 1] \"zonal\" \"zonal_shoots\"\n"
                                  "Translate 11 9.3 -14\nRotate 12 1 0 0\n"
                                  "Polygon \"P\" [-0.1 -0.1 0  0.1 -0.1 0  0.1 0.1 0  -0.1 0.1 0]\n");
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    ASSERT_FALSE(r.image.empty());
    Agreement a = compare(r.image, 10, 2, [&](double x, double y) { return exact_irradiance(mirror, light, -2, x, y, 4); });
    EXPECT_GT(a.lit, 15);
    EXPECT_GT(a.dark, 100);
    EXPECT_LT(a.worst, 0.05) << a.where;
}

TEST(SpecularLightE2E, ADistantLightOverAFlatMirrorGivesICosine)
{
    for (const char *to : {"0.3 0.2 -1", "-0.8 0.1 -1"}) {
        SCOPED_TRACE(to);
        e2e::Render r = render_window(0, 16, 8,
                                      std::string("LightSource \"distantlight\" 2 \"from\" [0 0 0] \"to\" [") + to +
                                          "] \"intensity\" 2",
                                      "Attribute \"radiosity\" \"specularcolor\" [1 1 1] \"zonal\" \"zonal_shoots\"\n"
                                      "Polygon \"P\" [-40 -40 -14  -40 56 -14  56 56 -14  56 -40 -14]\n");
        ASSERT_EQ(r.run.status, 0) << r.run.err;
        ASSERT_FALSE(r.image.empty());
        double x, y, z;
        std::istringstream(to) >> x >> y >> z;
        const double want = 2 * std::fabs(z) / std::sqrt(x * x + y * y + z * z);
        for (int row = 0; row < 8; ++row)
            for (int col = 0; col < 8; ++col) EXPECT_NEAR(r.image.at(col, row, 0), want, 0.05 * want) << col << " " << row;
    }
}

TEST(SpecularLightE2E, ACylindricalMirrorLightsBothSidesOfItsFold)
{
    // The lower 100 degrees of a cylinder of radius 12 about the line
    // x = 8.5, z = -8 (along y), one patch across, the light off the axis:
    // on the floor the light folds back at x = 3.98, and between there and
    // x = 6.7 two points of the one patch reflect onto each floor point.
    const double Rc = 12, tm = 50 * PI / 180;
    const Source light{false, {10.5, 8.5, -12}, 10};
    const Optic mirror{[&](double t, double y, V &P, V &N) {
                           P = V{8.5 - Rc * std::sin(t), y, -8 - Rc * std::cos(t)};
                           N = V{std::sin(t), 0, std::cos(t)};
                           return std::fabs(t) <= tm && y >= 0 && y <= 17;
                       },
                       -tm, tm, 0, 17, 0, nullptr};
    e2e::Render r = render_window(0, 16, 16, "LightSource \"pointlight\" 2 \"from\" [10.5 8.5 -12] \"intensity\" 10",
                                  "Attribute \"radiosity\" \"specularcolor\" [1 1 1] \"zonal\" \"zonal_shoots\" "
                                  "\"patchsize\" [100]\nTranslate 8.5 0 -8\nRotate -90 1 0 0\nRotate 40 0 0 1\n"
                                  "Cylinder 12 0 17 100\n");
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    ASSERT_FALSE(r.image.empty());
    Agreement a = compare(r.image, 0, 16, [&](double x, double y) { return exact_irradiance(mirror, light, -2, x, y, 8); });
    EXPECT_GT(a.lit, 30);
    EXPECT_LT(a.worst, 0.05) << a.where;
}

namespace {

// The mean of the first channel of an image.
double mean(const e2e::Image &im)
{
    double s = 0;
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x) s += im.at(x, y, 0);
    return s / (im.width * im.height);
}

// The form factor from a point (unit normal N) to a polygon wholly above its
// plane: its projected solid angle over pi.
double form_factor(const V &P, const V &N, const std::vector<V> &q)
{
    double total = 0;
    for (size_t i = 0; i < q.size(); ++i) {
        V a = q[i] - P, b = q[(i + 1) % q.size()] - P, g = cross(a, b);
        double lg = std::sqrt(dot(g, g));
        total += std::atan2(lg, dot(a, b)) * dot(N, g) / lg;
    }
    return std::fabs(total) / (2 * PI);
}

} // namespace

TEST(RadiosityE2E, ALonePlateKeepsItsMeanUnderRadiosity)
{
    // Everything the plate sends leaves the scene: no ambient estimate may
    // bring it back (it came back 100 times over).
    const std::string scene = "Projection \"orthographic\"\nScreenWindow 0 16 0 16\nTranslate 0 0 5\nWorldBegin\n"
                              "LightSource \"pointlight\" 1 \"from\" [8 8 -6] \"intensity\" 10\nSurface \"matte\"\n"
                              "Polygon \"P\" [0 0 0  0 16 0  16 16 0  16 0 0]\nWorldEnd\n";
    e2e::Render plain = e2e::render_floatdump(e2e::exact_floatdump_options(16, 16) + scene);
    e2e::Render radio = e2e::render_floatdump(e2e::exact_floatdump_options(16, 16) +
                                              "Option \"radiosity\" \"steps\" 1 \"patchsize\" 0.3\n" + scene);
    ASSERT_FALSE(plain.image.empty());
    ASSERT_FALSE(radio.image.empty()) << radio.run.err;
    EXPECT_NEAR(mean(radio.image), mean(plain.image), 0.1 * mean(plain.image));
}

TEST(RadiosityE2E, TheElementsAlongACornerLineGetTheirExactFormFactor)
{
    // An emitting wall (x = 0) over a receiving floor (z = 0, facing it),
    // both 4 square, the floor cut into elements of 0.5: each element's mean
    // against the mean of the exact point-to-rectangle form factor over it.
    // The vertices on the corner line took the wall's light at the line,
    // where the wall has no extent: the elements next to it were 33-49% dark.
    e2e::Render r = e2e::render_floatdump(
        e2e::exact_floatdump_options(16, 16) +
        "Projection \"orthographic\"\nScreenWindow 0 4 0 4\nTranslate 0 0 5\nOption \"radiosity\" \"steps\" 4\n"
        "WorldBegin\nAttributeBegin\nAttribute \"radiosity\" \"emissioncolor\" [1 1 1] \"zonal\" \"zonal_shoots\"\n"
        "Polygon \"P\" [0 0 0  0 0 -4  0 4 -4  0 4 0]\nAttributeEnd\n"
        "AttributeBegin\nAttribute \"radiosity\" \"zonal\" \"zonal_receives\" \"patchsize\" [1]\n"
        "Surface \"matte\" \"Ka\" 1 \"Kd\" 1\nPolygon \"P\" [0 0 0  0 4 0  4 4 0  4 0 0]\nAttributeEnd\nWorldEnd\n");
    ASSERT_EQ(r.run.status, 0) << r.run.err;
    ASSERT_FALSE(r.image.empty());
    const std::vector<V> wall{{0, 0, 0}, {0, 4, 0}, {0, 4, -4}, {0, 0, -4}};
    double worst = 0;
    std::string where;
    for (int ex = 0; ex < 2; ++ex)
        for (int ey = 0; ey < 8; ++ey) {
            double want = 0;
            const int k = 8;
            for (int i = 0; i < k; ++i)
                for (int j = 0; j < k; ++j)
                    want += form_factor(V{0.5 * (ex + (i + 0.5) / k), 0.5 * (ey + (j + 0.5) / k), 0}, V{0, 0, -1}, wall);
            want /= k * k;
            // The element's 2 x 2 pixels (rows run down from y = 4).
            double got = 0;
            for (int px = 2 * ex; px < 2 * ex + 2; ++px)
                for (int py = 2 * ey; py < 2 * ey + 2; ++py) got += r.image.at(px, 15 - py, 0) / 4;
            double err = std::fabs(got / want - 1);
            if (err > worst) {
                worst = err;
                where = std::to_string(ex) + " " + std::to_string(ey) + ": " + std::to_string(got) + " for " +
                        std::to_string(want);
            }
        }
    EXPECT_LT(worst, 0.1) << where;
}
