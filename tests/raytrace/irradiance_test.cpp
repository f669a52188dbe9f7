// The irradiance cache: the 3-d tree, the bytes of the cache files, the
// interpolation of cached records, the estimate's gradients, and renders in
// which indirect light brightens a surface that no light reaches.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "raytrace/irradiance.h"
#include "tests/support/render_support.h"
#include "tests/support/run_program.h"

namespace {

IrradianceRecord record_at(float x, float y, float z, float energy = 1)
{
    IrradianceRecord r{};
    r.P[0] = x, r.P[1] = y, r.P[2] = z;
    r.E[0] = r.E[1] = r.E[2] = energy;
    r.N[2] = 1;
    r.R = 1;
    r.mean = energy;
    r.made = 1;
    return r;
}

std::string file_bytes(const std::string &path)
{
    std::string bytes;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}

float float_at(const std::string &bytes, size_t offset)
{
    float f;
    std::memcpy(&f, bytes.data() + offset, 4);
    return f;
}

std::vector<float> gathered_x(const IrradianceCache &c, const Point &P, int max, float radius)
{
    std::vector<IrradianceRecord *> out(size_t(max) + 1);
    int n = c.gather(P, out.data(), max, radius);
    std::vector<float> xs;
    for (int i = 0; i < n; ++i) xs.push_back(out[i]->P[0]);
    return xs;
}

} // namespace

TEST(IrradianceTree, GatherFindsExactlyTheRecordsWithinTheRadius)
{
    IrradianceCache c;
    std::vector<IrradianceRecord> all;
    for (int i = 0; i < 500; ++i) {
        // A deterministic scatter over a 10-unit cube.
        float x = float((i * 37) % 101) / 10, y = float((i * 53) % 97) / 10, z = float((i * 71) % 89) / 9;
        all.push_back(record_at(x, y, z));
        c.insert(all.back());
    }
    const Point P(5, 5, 5);
    for (float radius : {0.0f, 0.7f, 2.5f, 20.0f}) {
        size_t expected = 0;
        for (const IrradianceRecord &r : all)
            if ((Point::from(r.P) - P).length() <= radius) expected++;
        EXPECT_EQ(gathered_x(c, P, 1000, radius).size(), expected) << radius;
    }
    // The count stops at max.
    EXPECT_EQ(gathered_x(c, P, 7, 20).size(), 7u);
}

TEST(IrradianceTree, RecordsInSortedOrderMakeAChainThatIsWalkedWithoutRecursion)
{
    // Records along x make every node a right child: a chain that a
    // recursive walk would follow as many calls deep.
    const int n = 30000;
    IrradianceCache c;
    for (int i = 0; i < n; ++i) c.insert(record_at(float(i), 0, 0));
    std::vector<float> xs = gathered_x(c, Point(n - 1, 0, 0), 10, 1.5f);
    ASSERT_EQ(xs.size(), 2u);
    EXPECT_EQ(xs[0], n - 2);
    EXPECT_EQ(xs[1], n - 1);
    velktest::TempDir dir;
    std::string path = dir.path() + "/chain.dat";
    c.save(path.c_str());
    EXPECT_EQ(file_bytes(path).size(), size_t(n) * 72);
    c.clear();
    EXPECT_TRUE(c.empty());
}

TEST(IrradianceFile, RecordsAreSavedRawInTreeOrderAndLoadBackWithTheirFlagCleared)
{
    IrradianceCache c;
    // Root 0; -1 goes left, 1 right, -2 left of -1: tree order 0, -1, -2, 1.
    for (float x : {0.0f, -1.0f, 1.0f, -2.0f}) c.insert(record_at(x, 0, 0, x + 10));
    velktest::TempDir dir;
    std::string path = dir.path() + "/cache.dat";
    c.save(path.c_str());
    std::string bytes = file_bytes(path);
    ASSERT_EQ(bytes.size(), 4u * 72);
    const float order[4] = {0, -1, -2, 1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(float_at(bytes, 72 * i), order[i]);
        EXPECT_EQ(float_at(bytes, 72 * i + 12), order[i] + 10);   // irradiance
        EXPECT_EQ(float_at(bytes, 72 * i + 32), 1);               // N.z
        EXPECT_EQ(float_at(bytes, 72 * i + 36), 1);               // R
        EXPECT_EQ(bytes[72 * i + 68], 1);                         // made by a query
        EXPECT_EQ(bytes.substr(72 * i + 69, 3), std::string(3, '\0'));
    }
    IrradianceCache back;
    back.load(path.c_str());
    EXPECT_EQ(back.size(), 4u);
    std::string again_path = dir.path() + "/again.dat";
    back.save(again_path.c_str());
    std::string again = file_bytes(again_path);
    ASSERT_EQ(again.size(), bytes.size());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(again[72 * i + 68], 0);
        EXPECT_EQ(again.substr(72 * i, 68), bytes.substr(72 * i, 68));
    }

    // A save that cannot be completed (files limited to 200 bytes) leaves
    // the cache saved before as it was, and nothing else.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {200, 200};
        setrlimit(RLIMIT_FSIZE, &limit);
        freopen("/dev/null", "w", stderr);
        back.save(path.c_str());
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(file_bytes(path), bytes);
    EXPECT_EQ(velktest::run({"/bin/ls", "-A", dir.path()}).out, "again.dat\ncache.dat\n");
}

TEST(IrradianceFile, SizesThatAreNoMultipleOfARecordAreRefused)
{
    velktest::TempDir dir;
    IrradianceCache c;
    testing::internal::CaptureStderr();
    c.load(dir.write("empty.dat", "").c_str());
    c.load((dir.path() + "/missing.dat").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(c.empty());

    IrradianceRecord r = record_at(1, 2, 3);
    std::string one(reinterpret_cast<const char *>(&r), 72);
    testing::internal::CaptureStderr();
    c.load(dir.write("long.dat", one + "x").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Indirect error: 1 records?\n");
    EXPECT_TRUE(c.empty());
}

TEST(IrradianceFile, SortedRecordsLoadIntoABalancedTree)
{
    // Saved in sorted order (a chain), loaded back balanced: 50,000 records
    // stand on paths of a few dozen nodes, and a query finds what it did.
    const int n = 50000;
    IrradianceCache chain;
    for (int i = 0; i < n; ++i) chain.insert(record_at(float(i % 1000), float(i / 1000), 0));
    EXPECT_GT(chain.depth(), 1000);
    velktest::TempDir dir;
    std::string path = dir.path() + "/sorted.dat";
    chain.save(path.c_str());
    IrradianceCache c;
    c.load(path.c_str());
    EXPECT_EQ(c.size(), size_t(n));
    EXPECT_LT(c.depth(), 40);
    EXPECT_EQ(gathered_x(c, Point(500, 20, 0), 100, 1.5f).size(), gathered_x(chain, Point(500, 20, 0), 100, 1.5f).size());

    // Records that all share one position (the tree build made a chain of
    // them, N squared), loaded beside a tree already grown: balanced, and
    // every one of both is found.
    std::vector<IrradianceRecord> same(size_t(n), record_at(3, 4, 5));
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    ASSERT_EQ(std::fwrite(same.data(), sizeof(IrradianceRecord), same.size(), f), same.size());
    std::fclose(f);
    IrradianceCache grown;
    for (int i = 0; i < 10; ++i) grown.insert(record_at(3, 4, float(i)));
    grown.load(path.c_str());
    EXPECT_EQ(grown.size(), size_t(n + 10));
    EXPECT_LT(grown.depth(), 40);
    EXPECT_EQ(gathered_x(grown, Point(3, 4, 5), 2 * n, 0.5f).size(), size_t(n + 1));
    EXPECT_EQ(gathered_x(grown, Point(3, 4, 0), 2 * n, 0.5f).size(), size_t(1));
}

TEST(IrradianceFile, ADirectoryOrAFileLargerThanMemoryIsRefused)
{
    velktest::TempDir dir;
    IrradianceCache c;
    testing::internal::CaptureStderr();
    c.load(dir.path().c_str());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("is a directory; going on without it"), std::string::npos) << err;
    EXPECT_TRUE(c.empty());
    // A sparse file of 2^32 records (309 GB on paper, no blocks on disk).
    std::string huge = dir.write("huge.dat", "");
    if (truncate(huge.c_str(), off_t(72) << 32) != 0) GTEST_SKIP() << "no sparse files here";
    testing::internal::CaptureStderr();
    c.load(huge.c_str());
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("more than memory can; going on without it"), std::string::npos) << err;
    EXPECT_TRUE(c.empty());
}

TEST(IrradianceFile, RecordsThatCannotTakePartAreSkipped)
{
    IrradianceRecord good = record_at(1, 2, 3), nan = record_at(0, 0, 0), flat = record_at(4, 4, 4);
    nan.E[1] = std::nanf("");
    flat.R = 0;   // the error estimate divides by it
    std::string bytes;
    for (const IrradianceRecord *r : {&good, &nan, &flat}) bytes.append(reinterpret_cast<const char *>(r), 72);
    velktest::TempDir dir;
    IrradianceCache c;
    c.load(dir.write("mixed.dat", bytes).c_str());
    EXPECT_EQ(c.size(), 1u);
}

TEST(IrradianceFile, ANameEndingInRibWritesADebugScene)
{
    IrradianceCache c;
    IrradianceRecord wild = record_at(1, 2, 3, 0.5f);
    wild.transgrad[0] = 2;
    c.insert(record_at(0, 0, 0));
    c.insert(wild);
    velktest::TempDir dir;
    std::string rib = dir.path() + "/cache.rib";
    c.save(rib.c_str());
    std::string text = file_bytes(rib);
    EXPECT_NE(text.find("AttributeBegin\nTranslate 0 0 0\nSphere 1 -1 1 360\n# energy 1 1 1\n# N 0 0 1\n"
                        "# avgdist 1\n# rotgrad 0 0 0\n# transgrad 0 0 0\nAttributeEnd\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Translate 1 2 3\n# Hey, is something wrong?\nColor 1 1 0\nSphere 10 -10 10 360\n"),
              std::string::npos)
        << text;
    // The name ".rib" alone is too short to be a scene name: raw records.
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    c.save(".rib");
    ASSERT_EQ(chdir(here), 0);
    EXPECT_EQ(file_bytes(dir.path() + "/.rib").size(), 144u);
    // An empty cache writes nothing.
    IrradianceCache none;
    std::string nothing = dir.path() + "/none.dat";
    none.save(nothing.c_str());
    EXPECT_FALSE(dir.exists("none.dat"));
}

TEST(IrradianceInterpolation, ValidRecordsAreWeightedByTheirError)
{
    IrradianceRecord a = record_at(0, 0, 0, 2);
    IrradianceRecord *one[1] = {&a};
    Color E;
    // One valid record with minvalid 1 gives its irradiance exactly.
    ASSERT_TRUE(interpolate_irradiance(one, 1, Point(0.1f, 0, 0), Point(0, 0, 1), 0.25f, 1, false, E));
    EXPECT_EQ(E, Color(2, 2, 2));
    EXPECT_FALSE(interpolate_irradiance(one, 1, Point(0.1f, 0, 0), Point(0, 0, 1), 0.25f, 2, false, E));
    // Too far for the error bound (0.3 / R > 0.25).
    EXPECT_FALSE(interpolate_irradiance(one, 1, Point(0.3f, 0, 0), Point(0, 0, 1), 0.25f, 1, false, E));
    // A record below the tangent plane of the point is refused.
    EXPECT_FALSE(interpolate_irradiance(one, 1, Point(0, 0, 0.1f), Point(0, 0, 1), 0.25f, 1, false, E));
    // Normals a hair past parallel through rounding do not give NaN.
    ASSERT_TRUE(interpolate_irradiance(one, 1, Point(0, 0, 0), Point(0, 0, 1.0000001f), 0.25f, 1, false, E));
    EXPECT_EQ(E, Color(2, 2, 2));

    // Errors 0.1 and 0.2 weigh 10 : 5.
    IrradianceRecord b = record_at(0.3f, 0, 0, 5);
    IrradianceRecord *two[2] = {&a, &b};
    ASSERT_TRUE(interpolate_irradiance(two, 2, Point(0.1f, 0, 0), Point(0, 0, 1), 0.25f, 2, false, E));
    EXPECT_NEAR(E.x, (10 * 2 + 5 * 5) / 15.0f, 1e-5f);

    // The translational gradient extrapolates each record to the point.
    a.transgrad[0] = 1;
    ASSERT_TRUE(interpolate_irradiance(one, 1, Point(0.1f, 0, 0), Point(0, 0, 1), 0.25f, 1, true, E));
    EXPECT_NEAR(E.y, 2.1f, 1e-6f);
}

TEST(IrradianceEstimate, StrataAndGradientsOfTheSamples)
{
    int nt, np;
    hemisphere_strata(256, nt, np);
    EXPECT_EQ(nt, 11);
    EXPECT_EQ(np, 23);
    hemisphere_strata(0, nt, np);
    EXPECT_EQ(nt, 1);
    EXPECT_EQ(np, 1);

    // Uniform surroundings: the mean colour, the distance, no gradients.
    HemisphereSamples s;
    hemisphere_strata(64, s.nt, s.np);
    s.color.assign(size_t(s.nt) * s.np, Color(0.5f, 1, 1.5f));
    s.dist.assign(size_t(s.nt) * s.np, 2);
    IrradianceRecord r = irradiance_record(Point(1, 2, 3), Point(1, 0, 0), Point(0, 1, 0), Point(0, 0, 1), s);
    EXPECT_EQ(r.made, 1);
    EXPECT_NEAR(r.E[0], 0.5f, 1e-6f);
    EXPECT_NEAR(r.E[2], 1.5f, 1e-6f);
    EXPECT_NEAR(r.mean, 1.0f, 1e-6f);
    EXPECT_NEAR(r.R, 2.0f, 1e-5f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(r.rotgrad[i], 0, 1e-5f);
        EXPECT_NEAR(r.transgrad[i], 0, 1e-5f);
    }
    // Misses count as 1e38 away; a zero distance divides nothing by zero.
    s.dist.assign(s.dist.size(), 1e38f);
    EXPECT_GT(irradiance_record(Point(), Point(1, 0, 0), Point(0, 1, 0), Point(0, 0, 1), s).R, 1e37f);
    s.dist[0] = 0;
    s.color[0] = Color(9, 9, 9);
    IrradianceRecord z = irradiance_record(Point(), Point(1, 0, 0), Point(0, 1, 0), Point(0, 0, 1), s);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(z.transgrad[i]) && std::isfinite(z.rotgrad[i]));
}

TEST(IrradianceStats, PrintedOnlyAfterQueries)
{
    IrradianceStats s;
    char buf[512] = {};
    FILE *f = fmemopen(buf, sizeof buf, "w");
    print_indirect_stats(f, s);
    s.queries = 4;
    s.computed = 1;
    s.rays = 16;
    s.from_cache = 3;
    s.records = 1;
    s.memory.add(88);
    print_indirect_stats(f, s);
    std::fclose(f);
    EXPECT_STREQ(buf, "Indirect illumination stats:\n  4 indirect illumination queries\n"
                      "  1 (25%) fully shaded indirects, needed 16 rays\n"
                      "  3 (75%) indirect values taken from cache\n"
                      "  1 indirect cache values, mem 0 kb peak\n");
}

// ---- renders ----------------------------------------------------------------

namespace {

// Inside a sphere lit from within, a disk that the light does not reach
// faces the camera. With the "indirect" light the disk shows the light
// bounced off the sphere; the sphere itself takes no indirect light.
std::string enclosed_disk(const std::string &options, bool indirect)
{
    return e2e::exact_floatdump_options(8, 8) + options +
           "Projection \"perspective\" \"fov\" 30\n"
           "WorldBegin\n" +
           std::string(indirect ? "LightSource \"indirect\" 2\n" : "") +
           "LightSource \"pointlight\" 1 \"intensity\" 60\n"
           "AttributeBegin\nIlluminate 1 0\nSurface \"matte\" \"Kd\" 0 \"Ka\" 1\n"
           "Translate 0 0 3\nDisk 0 2 360\nAttributeEnd\n"
           "AttributeBegin\n" +
           std::string(indirect ? "Illuminate 2 0\n" : "") +
           "Surface \"matte\"\nSphere 8 -8 8 360\nAttributeEnd\n"
           "WorldEnd\n";
}

const char *const FEW_SAMPLES = "Option \"indirect\" \"nsamples\" 12\n";

long stat_number(const std::string &out, const std::string &after)
{
    size_t at = out.find(after);
    if (at == std::string::npos) return -1;
    size_t start = out.rfind('\n', at);
    return std::atol(out.c_str() + (start == std::string::npos ? 0 : start + 1));
}

} // namespace

TEST(IndirectRender, BouncedLightBrightensASurfaceNoLightReaches)
{
    e2e::Render dark = e2e::render_floatdump(enclosed_disk(FEW_SAMPLES, false));
    e2e::Render lit = e2e::render_floatdump(enclosed_disk(FEW_SAMPLES, true));
    ASSERT_EQ(lit.run.status, 0) << lit.run.err;
    ASSERT_FALSE(dark.image.empty());
    ASSERT_FALSE(lit.image.empty());
    EXPECT_EQ(dark.image.at(4, 4, 0), 0);
    // The wall at 8 units gets 60 / 64 from the light.
    EXPECT_GT(lit.image.at(4, 4, 0), 0.2f);
    EXPECT_LT(lit.image.at(4, 4, 0), 1.2f);
}

TEST(IndirectRender, ASavedCacheSeedsTheNextFrame)
{
    velktest::TempDir dir;
    std::string save = std::string(FEW_SAMPLES) + "Option \"indirect\" \"savefile\" \"cache.dat\"\n";
    velktest::RunResult first = e2e::raylume(dir, enclosed_disk(save, true), {"-stats"});
    ASSERT_EQ(first.status, 0) << first.err;
    std::string bytes = dir.read("cache.dat");
    ASSERT_GT(bytes.size(), 0u);
    EXPECT_EQ(bytes.size() % 72, 0u);
    long computed = stat_number(first.out, "fully shaded indirects");
    EXPECT_EQ(size_t(computed), bytes.size() / 72) << first.out;

    std::string seed = std::string(FEW_SAMPLES) + "Option \"indirect\" \"seedfile\" \"cache.dat\"\n";
    velktest::RunResult second = e2e::raylume(dir, enclosed_disk(seed, true), {"-stats"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.out.find("Indirect illumination stats:"), std::string::npos) << second.out;
    EXPECT_LT(stat_number(second.out, "fully shaded indirects"), computed) << second.out;

    // A save file that is the RIB being read is not written.
    std::string own = std::string(FEW_SAMPLES) + "Option \"indirect\" \"savefile\" \"./scene.rib\"\n";
    velktest::RunResult third = e2e::raylume(dir, enclosed_disk(own, true));
    EXPECT_NE(third.err.find("Indirect error: save file ./scene.rib is a file being read"), std::string::npos)
        << third.err;
    EXPECT_EQ(dir.read("scene.rib"), enclosed_disk(own, true));
    // Nor one that is an archive the frame read.
    dir.write("part.rib", "# kept\n");
    own = std::string(FEW_SAMPLES) + "Option \"indirect\" \"savefile\" \"part.rib\"\nReadArchive \"part.rib\"\n";
    third = e2e::raylume(dir, enclosed_disk(own, true));
    EXPECT_NE(third.err.find("Indirect error: save file part.rib is a file this frame read"), std::string::npos)
        << third.err;
    EXPECT_EQ(dir.read("part.rib"), "# kept\n");
}
