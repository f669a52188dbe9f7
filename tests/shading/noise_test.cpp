#include "shading_noise/noise.h"
#include "shading_noise/noise_tables.h"

#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>

TEST(NoiseTables, KnownStartsAndShapes)
{
    const NoiseTables &t = noise_tables();
    const int perm[] = {146, 212, 59, 62, 220, 25, 49, 27};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(t.permutation[i], perm[i]);
    std::set<int> values;
    for (int i = 0; i < 256; ++i) {
        values.insert(t.permutation[i]);
        EXPECT_EQ(t.permutation[i], t.permutation[i + 256]);
    }
    EXPECT_EQ(values.size(), 256u);

    EXPECT_NEAR(t.gradient[0][0], -0.7358f, 1e-4);
    EXPECT_NEAR(t.gradient[0][1], -0.6082f, 1e-4);
    EXPECT_NEAR(t.gradient[0][2], -0.2977f, 1e-4);
    EXPECT_NEAR(t.gradient[1][0], -0.5602f, 1e-4);
    EXPECT_NEAR(t.gradient[1][1], 0.1251f, 1e-4);
    EXPECT_NEAR(t.gradient[1][2], -0.8189f, 1e-4);
    for (int i = 0; i < 512; ++i) {
        const float *g = t.gradient[i], *h = t.gradient4[i];
        EXPECT_NEAR(g[0] * g[0] + g[1] * g[1] + g[2] * g[2], 1.0f, 1e-5);
        EXPECT_NEAR(h[0] * h[0] + h[1] * h[1] + h[2] * h[2] + h[3] * h[3], 1.0f, 1e-5);
    }

    const int hash[] = {204, 1469, 1088, 450, 1683, 1226, 885, 549};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(t.cell_hash[i], hash[i]);
    std::set<int> cells(t.cell_hash, t.cell_hash + 2048);
    EXPECT_EQ(cells.size(), 2048u);
    EXPECT_LT(*cells.rbegin(), 2048);
    const float value[] = {0.327633f, 0.232583f, 0.490171f, 0.830707f};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(t.cell_value[i], value[i]);
    for (float v : t.cell_value) EXPECT_TRUE(v >= 0.0f && v < 1.0f);
}

TEST(Noise, HalfAtLatticePointsEverywhere)
{
    // Including coordinates beyond 32-bit integers and non-finite ones.
    const float points[] = {0.0f, 1.0f, -3.0f, 255.0f, 256.0f, 70000.0f, 3e9f, -5e12f, 1e30f,
                            INFINITY, NAN};
    for (float a : points)
        for (float b : {0.0f, -1.0f, 3e9f}) {
            EXPECT_EQ(noise1(a), 0.5f) << a;
            EXPECT_EQ(noise2(a, b), 0.5f) << a;
            EXPECT_EQ(noise3(b, a, 7.0f), 0.5f) << a;
            EXPECT_EQ(noise4(a, b, -2.0f, a), 0.5f) << a;
            EXPECT_EQ(pnoise3(a, b, 2.0f, 4, 3, 0), 0.5f) << a;
        }
}

TEST(Noise, OneDimensionFromTheGradientTable)
{
    const NoiseTables &t = noise_tables();
    // Halfway between 0 and 1 the weights are equal.
    float expected = 0.5f + 0.75f * (0.5f * 0.5f * t.gradient[0][1] + 0.5f * -0.5f * t.gradient[1][1]);
    EXPECT_NEAR(noise1(0.5f), expected, 1e-6);
    EXPECT_NEAR(noise1(256.5f), expected, 1e-6);   // the lattice repeats every 256
}

TEST(Noise, PeriodicForms)
{
    const float xs[] = {0.25f, 1.375f, -2.625f, 7.5f};
    for (float x : xs) {
        EXPECT_EQ(pnoise1(x + 4.0f, 4), pnoise1(x, 4)) << x;
        EXPECT_EQ(pnoise2(x + 4.0f, 0.5f, 4, 3), pnoise2(x, 0.5f, 4, 3)) << x;
        EXPECT_EQ(pnoise2(x, 0.5f + 3.0f, 4, 3), pnoise2(x, 0.5f, 4, 3)) << x;
        EXPECT_EQ(pnoise3(x, 0.75f, x + 2.0f, 2, 2, 2), pnoise3(x + 2.0f, 0.75f, x, 2, 2, 2)) << x;
        EXPECT_EQ(pnoise4(x, 0.5f, 0.25f, 0.125f + 5.0f, 8, 8, 8, 5),
                  pnoise4(x + 8.0f, 0.5f, 0.25f, 0.125f, 8, 8, 8, 5)) << x;
        // Period 1: constant along that axis's lattice.
        EXPECT_EQ(pnoise2(x, 0.3f, 1, 0), pnoise2(x + 1.0f, 0.3f, 1, 0)) << x;
        // Periods below 1 leave the axis non-periodic (no modulo by zero).
        EXPECT_EQ(pnoise1(x, 0), noise1(x));
        EXPECT_EQ(pnoise2(x, 0.3f, -5, 0), noise2(x, 0.3f));
        EXPECT_EQ(pnoise3(x, 0.3f, 0.7f, 0, 0, 0), noise3(x, 0.3f, 0.7f));
    }
}

// Continuous on every axis where a coordinate crosses a multiple of 256
// (0 included), where the tables wrap.
TEST(Noise, ContinuousWhereTheLatticeWraps)
{
    const float eps = 1e-4f;
    for (float edge : {0.0f, 256.0f, -256.0f, 512.0f}) {
        for (int axis = 0; axis < 4; ++axis) {
            float a[4] = {0.3f, 0.4f, 0.7f, 0.2f}, b[4] = {0.3f, 0.4f, 0.7f, 0.2f};
            a[axis] = edge - eps;
            b[axis] = edge + eps;
            if (axis == 0) {
                EXPECT_NEAR(noise1(a[0]), noise1(b[0]), 2e-3) << edge;
            }
            if (axis < 2) {
                EXPECT_NEAR(noise2(a[0], a[1]), noise2(b[0], b[1]), 2e-3) << edge << " " << axis;
            }
            if (axis < 3) {
                EXPECT_NEAR(noise3(a[0], a[1], a[2]), noise3(b[0], b[1], b[2]), 2e-3) << edge << " " << axis;
            }
            EXPECT_NEAR(noise4(a[0], a[1], a[2], a[3]), noise4(b[0], b[1], b[2], b[3]), 2e-3)
                << edge << " " << axis;
        }
    }
}

// Just below 0 the offset from the lower lattice point rounds to 1: the value
// is still the one at 0, on every axis of every form (three-component ones too).
TEST(Noise, ContinuousJustBelowZero)
{
    float period[4] = {3, 5, 7, 2};
    for (float tiny : {-1e-8f, -3e-8f, -5.9e-8f, -1e-20f, -1e-40f}) {
        for (int n = 1; n <= 4; ++n) {
            for (int axis = 0; axis < n; ++axis) {
                float at0[4] = {0.31f, 0.77f, 0.43f, 0.58f}, below[4] = {0.31f, 0.77f, 0.43f, 0.58f};
                at0[axis] = 0.0f;
                below[axis] = tiny;
                float a[3], b[3], pa[3], pb[3];
                RxNoise(n, at0, 3, a);
                RxNoise(n, below, 3, b);
                RxPNoise(n, at0, period, 3, pa);
                RxPNoise(n, below, period, 3, pb);
                for (int c = 0; c < 3; ++c) {
                    EXPECT_NEAR(b[c], a[c], 1e-5) << tiny << " n " << n << " axis " << axis << " c " << c;
                    EXPECT_NEAR(pb[c], pa[c], 1e-5) << tiny << " n " << n << " axis " << axis << " c " << c;
                }
                float cb, ca;
                RxCellNoise(n, below, 1, &cb);
                RxCellNoise(n, at0, 1, &ca);
                EXPECT_EQ(cb, ca) << tiny << " " << n;
            }
        }
    }
}

// Every positive period holds everywhere, across 0 and the 256 wrap.
TEST(Noise, PeriodicForEveryPeriod)
{
    for (int p : {1, 3, 5, 7, 10, 100, 300}) {
        for (float x : {-9.3f, -2.6f, -0.4f, 0.45f, 2.75f, 254.5f}) {
            for (int k : {-3, -1, 1, 2, 4}) {
                float shift = float(k * p);
                EXPECT_NEAR(pnoise1(x + shift, p), pnoise1(x, p), 1e-3) << p << " " << x << " " << k;
                EXPECT_NEAR(pnoise2(0.3f, x + shift, 0, p), pnoise2(0.3f, x, 0, p), 1e-3) << p << " " << x;
                EXPECT_NEAR(pnoise3(x + shift, 0.3f, 0.6f, p, 0, 0), pnoise3(x, 0.3f, 0.6f, p, 0, 0), 1e-3)
                    << p << " " << x << " " << k;
                EXPECT_NEAR(pnoise4(0.2f, 0.3f, 0.6f, x + shift, 0, 0, 0, p),
                            pnoise4(0.2f, 0.3f, 0.6f, x, 0, 0, 0, p), 1e-3) << p << " " << x;
            }
        }
    }
}

TEST(Noise, CellNoise)
{
    EXPECT_EQ(cellnoise1(2.9995f), cellnoise1(3.2f));
    EXPECT_NE(cellnoise1(2.998f), cellnoise1(3.2f));
    EXPECT_EQ(cellnoise2(5.1f, -2.5f), cellnoise2(5.9f, -2.01f));
    EXPECT_EQ(cellnoise3(0.1f, 0.2f, 0.3f), cellnoise3(0.9f, 0.8f, 0.7f));
    EXPECT_EQ(cellnoise4(0.1f, 0.2f, 0.3f, 9.5f), cellnoise4(0.9f, 0.8f, 0.7f, 9.1f));
    // Cells are unsigned 16-bit: negative cells wrap and far cells keep their low bits.
    EXPECT_EQ(cellnoise1(-1.5f), cellnoise1(65534.5f));
    EXPECT_EQ(cellnoise3(-7.5f, -100.5f, -30000.5f), cellnoise3(65528.5f, 65435.5f, 35535.5f));
    EXPECT_EQ(cellnoise1(3e9f), cellnoise1(24064.5f));
    for (float x : {-1e20f, -3.5f, 0.0f, 1e9f, INFINITY, NAN}) {
        float v = cellnoise4(x, x, x, x);
        EXPECT_TRUE(v >= 0.0f && v < 1.0f) << x;
    }
    std::set<float> seen;
    for (int i = 0; i < 200; ++i) seen.insert(cellnoise2(float(i), 3.0f));
    EXPECT_GT(seen.size(), 150u);
}

TEST(Noise, EntryPoints)
{
    float in[4] = {0.3f, 1.7f, -2.2f, 0.9f};
    float out[3] = {-9.0f, -9.0f, -9.0f};
    EXPECT_EQ(RxNoise(2, in, 1, out), 0);
    EXPECT_EQ(out[0], noise2(in[0], in[1]));
    EXPECT_EQ(RxNoise(3, in, 3, out), 0);
    EXPECT_EQ(out[0], noise3(in[0], in[1], in[2]));
    EXPECT_EQ(out[1], noise3(in[0] + 52.0f, in[1] - 90.0f, in[2] + 14.0f));
    EXPECT_EQ(out[2], noise3(in[0] - 17.0f, in[1] + 35.0f, in[2] - 133.0f));
    EXPECT_EQ(RxCellNoise(4, in, 3, out), 0);
    EXPECT_EQ(out[1], cellnoise4(in[0] + 52.0f, in[1] - 90.0f, in[2] + 14.0f, in[3] - 27.0f));
    EXPECT_EQ(out[2], cellnoise4(in[0] - 17.0f, in[1] + 35.0f, in[2] - 133.0f, in[3] + 7.0f));
    float period[4] = {3.7f, 0.5f, 2.0f, 1e20f};
    EXPECT_EQ(RxPNoise(4, in, period, 1, out), 0);
    EXPECT_EQ(out[0], pnoise4(in[0], in[1], in[2], in[3], 3, 0, 2, 0));
    EXPECT_EQ(RxPNoise(1, in, period, 3, out), 0);
    EXPECT_EQ(out[1], pnoise1(in[0] + 52.0f, 3));

    // Other dimensions answer 1 and write nothing.
    float untouched[3] = {-9.0f, -9.0f, -9.0f};
    for (int nin : {0, 5, -1}) {
        EXPECT_EQ(RxNoise(nin, in, 1, untouched), 1);
        EXPECT_EQ(RxPNoise(nin, in, period, 3, untouched), 1);
        EXPECT_EQ(RxCellNoise(nin, in, 1, untouched), 1);
    }
    EXPECT_EQ(RxNoise(2, in, 2, untouched), 1);
    EXPECT_EQ(RxCellNoise(1, in, 4, untouched), 1);
    EXPECT_EQ(untouched[0], -9.0f);
    EXPECT_EQ(untouched[2], -9.0f);
}

namespace {

void copy_file(const std::string &from, const std::string &to)
{
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
}

// In a fresh process (the library is taken at most once per process): moves to
// dir, sets RMANTREE, loads and exits 0 when noise then answers expected.
void check_library_in_child(const std::string &dir, const char *rmantree, bool enabled,
                            float expected_noise, float expected_cell)
{
    auto child = [&] {
        if (chdir(dir.c_str()) != 0) std::exit(3);
        if (rmantree) setenv("RMANTREE", rmantree, 1);
        else unsetenv("RMANTREE");
        load_rx_library(enabled);
        float in[3] = {0.5f, 0.25f, 0.75f}, out[3], period[3] = {2, 2, 2};
        RxNoise(3, in, 3, out);
        bool ok = out[2] == expected_noise;
        RxCellNoise(1, in, 1, out);
        ok = ok && out[0] == expected_cell;
        RxPNoise(2, in, period, 1, out);
        ok = ok && (expected_noise != 0.25f || out[0] == 0.125f);
        std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(child(), testing::ExitedWithCode(0), "");
}

} // namespace

TEST(NoiseLibraryDeathTest, TakenOnlyWhenComplete)
{
    velktest::TempDir dir;
    float in[3] = {0.5f, 0.25f, 0.75f}, out[3];
    RxNoise(3, in, 3, out);
    const float builtin = out[2];
    RxCellNoise(1, in, 1, out);
    const float builtin_cell = out[0];

    // Nowhere: the built-in noise, silently.
    check_library_in_child(dir.path(), nullptr, true, builtin, builtin_cell);

    // In the current directory, but not asked for.
    copy_file(VELK_RX_PLUGIN, dir.path() + "/librx.so");
    check_library_in_child(dir.path(), nullptr, false, builtin, builtin_cell);
    // In the current directory.
    check_library_in_child(dir.path(), nullptr, true, 0.25f, 2.0f);

    // Under $RMANTREE/lib.
    velktest::TempDir tree;
    ASSERT_EQ(mkdir((tree.path() + "/lib").c_str(), 0755), 0);
    copy_file(VELK_RX_PLUGIN, tree.path() + "/lib/librx.so");
    velktest::TempDir empty;
    check_library_in_child(empty.path(), tree.path().c_str(), true, 0.25f, 2.0f);

    // Without one of the three entries: not used.
    copy_file(VELK_RX_PARTIAL_PLUGIN, dir.path() + "/librx.so");
    check_library_in_child(dir.path(), nullptr, true, builtin, builtin_cell);
}
