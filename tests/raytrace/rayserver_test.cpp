// The ray server: raylume -rayserver driven through its standard input and
// output with the binary queries, answers checked byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/process.h"
#include "ri_common/vecmath.h"
#include "tests/support/run_program.h"

namespace {

// A sphere of radius 1 at the origin in a constant colour; the camera
// plays no part.
std::string sphere_frame(int frame, const char *colour)
{
    return "FrameBegin " + std::to_string(frame) + "\nWorldBegin\nColor [" + colour +
           "]\nSurface \"constant\"\nSphere 1 -1 1 360\nWorldEnd\nFrameEnd\n";
}

// A request: a blank, the letter, then the body's floats padded with zeros to size bytes.
std::string query(char letter, std::vector<float> body = {}, size_t size = 48)
{
    std::string q = std::string(" ") + letter;
    std::string b(size, '\0');
    if (!body.empty() && size > 0) std::memcpy(&b[0], body.data(), std::min(size, body.size() * 4));
    return q + b;
}

std::vector<float> floats(const std::string &bytes, size_t offset, size_t n)
{
    std::vector<float> f(n);
    if (offset + n * 4 <= bytes.size()) std::memcpy(f.data(), bytes.data() + offset, n * 4);
    return f;
}

velktest::RunResult serve(const velktest::TempDir &dir, const std::string &rib, const std::string &queries)
{
    velktest::RunOptions o;
    o.cwd = dir.path();
    o.input = queries;
    o.timeout_seconds = 60;
    o.env["HOME"] = dir.path();
    o.env["VELKHOME"] = "";
    o.env["VELKSHADERS"] = "";
    o.env["SHADERS"] = "";
    return velktest::run({velktest::program("raylume"), "-rayserver", dir.write("scene.rib", rib)}, o);
}

const std::vector<float> FROM_FRONT = {0, 0, -5, 0, 0, 1};   // origin, direction
const std::vector<float> BESIDE = {0, 3, -5, 0, 0, 1};

} // namespace

TEST(RayServer, HitTraceAndVisibilityAnswers)
{
    velktest::TempDir dir;
    std::vector<float> trace = FROM_FRONT;
    trace.insert(trace.end(), {0, 0.5f});   // time, sample value
    std::string in = query('h', FROM_FRONT) + query('h', BESIDE) + query('t', trace) +
                     query('v', {0, 0, -5, 0, 0, 5}) + query('v', {0, 2, -5, 0, 2, 5}) + query('q');
    velktest::RunResult r = serve(dir, sphere_frame(1, "0.25 0.5 1"), in);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.size(), 28u + 28 + 16 + 12 + 12);
    // 'h' on the sphere: distance, hit point, normal.
    std::vector<float> hit = floats(r.out, 0, 7);
    EXPECT_NEAR(hit[0], 4, 1e-4f);
    EXPECT_NEAR(hit[3], -1, 1e-4f);
    EXPECT_NEAR(hit[6], -1, 1e-4f);
    // 'h' past the sphere: 1e38 and zeros.
    std::vector<float> miss = floats(r.out, 28, 7);
    EXPECT_EQ(miss[0], 1e38f);
    for (int i = 1; i < 7; ++i) EXPECT_EQ(miss[i], 0);
    // 't': the colour seen.
    std::vector<float> colour = floats(r.out, 56, 3);
    EXPECT_NEAR(colour[0], 0.25f, 1e-6f);
    EXPECT_NEAR(colour[1], 0.5f, 1e-6f);
    EXPECT_NEAR(colour[2], 1, 1e-6f);
    // 'v': blocked through the sphere, clear beside it.
    EXPECT_EQ(floats(r.out, 72, 3), std::vector<float>({0, 0, 0}));
    EXPECT_EQ(floats(r.out, 84, 3), std::vector<float>({1, 1, 1}));
}

TEST(RayServer, HitAnswersAgreeWithTheQueryAndNormalsAreUnitForEveryPrimitive)
{
    // Each primitive stands at its own x; the rays come from z = -10 with
    // directions of lengths other than 1. Answered: the ray parameter d with
    // origin + d x direction the point, and a unit normal.
    struct Case {
        const char *what, *rib;
        Point origin, dir;
        Point normal;   // expected direction, or (0, 0, 0) when only the length is checked
    };
    const float ex = 0.4f, ey = 0.2f, ez = -std::sqrt(1 - ex * ex - ey * ey);   // on the unit sphere
    const Case cases[] = {
        {"sphere of radius 1.5", "Sphere 1.5 -1.5 1.5 360", {0.5f, 0.3f, -10}, {0, 0, 2.5f},
         {0.5f, 0.3f, -std::sqrt(2.25f - 0.34f)}},
        {"sphere scaled 2 1 1", "Translate 6 0 0 Scale 2 1 1 Sphere 1 -1 1 360", {6 + 2 * ex, ey, -10}, {0, 0, 0.3f},
         {ex / 2, ey, ez}},
        {"sphere moved and scaled by 3", "Translate -6 0 0 Scale 3 3 3 Sphere 0.5 -0.5 0.5 360", {-6, 0, -10},
         {0, 0, 4}, {0, 0, -1}},
        {"cylinder turned to lie along x", "Translate 12 0 0 Rotate 90 0 1 0 Cylinder 2 -1 1 360", {12, 0.5f, -10},
         {0, 0, 7}, {0, 0.25f, -std::sqrt(1 - 0.0625f)}},
        {"cone", "Translate -12 0 0 Rotate 180 1 0 0 Cone 2 1.5 360", {-12, 0.3f, -10}, {0, 0, 0.5f}, {}},
        {"paraboloid", "Translate 18 0 0 Rotate 180 1 0 0 Paraboloid 2 0 2 360", {18.5f, 0, -10}, {0, 0, 3}, {}},
        {"hyperboloid", "Translate -18 0 0 Rotate 180 1 0 0 Hyperboloid 1 0 0  2 0 2 360", {-16.5f, 0, -10},
         {0, 0, 2}, {}},
        {"torus", "Translate 24 0 0 Torus 2 0.75 0 360 360", {26, 0, -10}, {0, 0, 2}, {0, 0, -1}},
        {"disk scaled by 4", "Translate -24 0 0 Scale 4 4 4 Disk 0 0.5 360", {-24.5f, 1, -10}, {0, 0, 3}, {0, 0, -1}},
        {"polygon scaled 5 2 1", "Translate 0 10 0 Scale 5 2 1 Polygon \"P\" [-1 -1 0  1 -1 0  1 1 0  -1 1 0]",
         {1, 10.5f, -10}, {0, 0, 2}, {0, 0, -1}},
        {"bilinear patch scaled by 2", "Translate 0 -10 0 Scale 2 2 2 Patch \"bilinear\" \"P\" [-1 -1 0  1 -1 0  -1 1 0  1 1 0]",
         {0.5f, -10, -10}, {0, 0, 0.5f}, {0, 0, -1}},
    };
    std::string world = "FrameBegin 1\nWorldBegin\nSurface \"constant\"\n";
    std::string in;
    for (const Case &c : cases) {
        world += std::string("AttributeBegin\n") + c.rib + "\nAttributeEnd\n";
        std::vector<float> q = {c.origin.x, c.origin.y, c.origin.z, c.dir.x, c.dir.y, c.dir.z};
        in += query('h', q) + query('f', q, 64);
    }
    world += "WorldEnd\nFrameEnd\n";
    velktest::TempDir dir;
    velktest::RunResult r = serve(dir, world, in + query('q'));
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t n = sizeof cases / sizeof cases[0];
    ASSERT_EQ(r.out.size(), n * (28 + 80));
    for (size_t i = 0; i < n; ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE(c.what);
        const size_t at = i * (28 + 80);
        std::vector<float> h = floats(r.out, at, 7), f = floats(r.out, at + 28, 20);
        struct Answer {
            const char *kind;
            float distance;
            Point P, N;
        } answers[] = {{"h", h[0], {h[1], h[2], h[3]}, {h[4], h[5], h[6]}},
                       {"f", f[4], {f[5], f[6], f[7]}, {f[8], f[9], f[10]}}};
        for (const Answer &a : answers) {
            SCOPED_TRACE(a.kind);
            ASSERT_LT(a.distance, 1e37f);
            Point along = c.origin + c.dir * a.distance;
            EXPECT_NEAR(along.x, a.P.x, 1e-4f);
            EXPECT_NEAR(along.y, a.P.y, 1e-4f);
            EXPECT_NEAR(along.z, a.P.z, 1e-4f);
            EXPECT_NEAR(a.N.length(), 1, 1e-5f) << a.N.x << " " << a.N.y << " " << a.N.z;
            if (c.normal.length() > 0) {
                Point expected = normalize(c.normal);
                EXPECT_NEAR(std::fabs(dot(a.N, expected)), 1, 1e-4f) << a.N.x << " " << a.N.y << " " << a.N.z;
            }
        }
    }
}

TEST(RayServer, FullTraceAnswersEightyBytes)
{
    velktest::TempDir dir;
    std::string in = query('f', FROM_FRONT, 64) + query('f', BESIDE, 64) + query('q');
    velktest::RunResult r = serve(dir, sphere_frame(1, "1 0 0"), in);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.size(), 160u);
    std::vector<float> hit = floats(r.out, 0, 20);
    EXPECT_EQ(hit[0], 0);                      // no full trace by the shaders
    EXPECT_NEAR(hit[1], 1, 1e-6f);             // Ci
    EXPECT_EQ(hit[2], 0);
    EXPECT_NEAR(hit[4], 4, 1e-4f);             // distance
    EXPECT_NEAR(hit[7], -1, 1e-4f);            // Ps.z
    EXPECT_NEAR(hit[10], -1, 1e-4f);           // Ns.z
    std::vector<float> miss = floats(r.out, 80, 20);
    EXPECT_EQ(miss[0], 1);
    EXPECT_EQ(miss[4], 1e38f);
    EXPECT_EQ(std::vector<float>(miss.begin() + 11, miss.begin() + 17), BESIDE);   // the ray that missed
}

TEST(RayServer, IndirectLightAtAPoint)
{
    // Inside the sphere every hemisphere ray sees its colour; the normal is
    // normalised by the server.
    velktest::TempDir dir;
    std::string rib = "Option \"indirect\" \"nsamples\" 8\n" + sphere_frame(1, "0.5 0.5 0.5");
    velktest::RunResult r = serve(dir, rib, query('i', {0, 0, 0, 0, 0, 7}) + query('q'));
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.size(), 12u);
    std::vector<float> light = floats(r.out, 0, 3);
    for (float c : light) EXPECT_NEAR(c, 0.5f, 1e-5f);
}

TEST(RayServer, UnknownLettersAndShortBodies)
{
    velktest::TempDir dir;
    // 'x' is reported and skipped; the last 'h' comes with 10 of its 48
    // bytes and still gets its answer (a zero direction misses).
    std::string in = query('x', {}, 0) + query('h', FROM_FRONT) + query('h', FROM_FRONT).substr(0, 12);
    velktest::RunResult r = serve(dir, sphere_frame(1, "1 1 1"), in);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Ray server error: don't know query 'x' (120)\n");
    ASSERT_EQ(r.out.size(), 56u);
    EXPECT_NEAR(floats(r.out, 0, 1)[0], 4, 1e-4f);
    EXPECT_EQ(floats(r.out, 28, 1)[0], 1e38f);
}

TEST(RayServer, EachFrameServesUntilQuit)
{
    velktest::TempDir dir;
    std::string rib = sphere_frame(1, "1 0 0") + sphere_frame(2, "0 0 1");
    std::vector<float> trace = FROM_FRONT;
    trace.push_back(0);
    std::string in = query('t', trace) + query('q') + query('t', trace) + query('q');
    velktest::RunResult r = serve(dir, rib, in);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.out.size(), 32u);
    EXPECT_EQ(floats(r.out, 0, 3), std::vector<float>({1, 0, 0}));
    EXPECT_EQ(floats(r.out, 16, 3), std::vector<float>({0, 0, 1}));
    EXPECT_FALSE(dir.exists("ri.tif"));
}

TEST(RayServer, AClientThatStopsReadingEndsTheServerQuietly)
{
    velktest::TempDir dir;
    std::string rib = dir.write("scene.rib", sphere_frame(1, "1 1 1"));
    velk::ChildProcess child;
    ASSERT_TRUE(child.start({velktest::program("raylume"), "-rayserver", rib}, velk::ChildProcess::PIPE_BOTH))
        << child.error();
    close(child.release_output());
    std::string in;
    for (int i = 0; i < 50; ++i) in += query('h', FROM_FRONT);
    child.write_input(in);
    child.close_input();
    // Not ended by a broken-pipe signal (128 + 13).
    EXPECT_EQ(child.wait(), 0);
}
