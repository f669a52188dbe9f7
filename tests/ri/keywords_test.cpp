#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ri/attribute_rows.h"
#include "ri/option_rows.h"
#include "ri/renderer.h"
#include "ri/ribfile.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/recording_renderer.h"

namespace {

using velktest::CurrentRecorder;
using velktest::ErrorCapture;

using ListCall = RtVoid (*)(RtToken, RtInt, RtToken[], RtPointer[]);

// Calls RiOptionV or RiAttributeV with one pair whose value is v.
template <class T>
void one_pair(ListCall call, const char *name, const char *token, T v)
{
    RtToken t = token;
    RtPointer p = &v;
    call(name, 1, &t, &p);
}

void option_int(const char *name, const char *token, int v) { one_pair(RiOptionV, name, token, v); }
void option_float(const char *name, const char *token, float v) { one_pair(RiOptionV, name, token, v); }
void option_string(const char *name, const char *token, const char *v) { one_pair(RiOptionV, name, token, v); }
void attribute_int(const char *name, const char *token, int v) { one_pair(RiAttributeV, name, token, v); }
void attribute_string(const char *name, const char *token, const char *v) { one_pair(RiAttributeV, name, token, v); }

void option_ints(const char *name, const char *token, int a, int b)
{
    int v[2] = {a, b};
    RtToken t = token;
    RtPointer p = v;
    RiOptionV(name, 1, &t, &p);
}

TEST(OptionKeywords, ClampsAndBands)
{
    CurrentRecorder r;
    ErrorCapture errors;
    Options &o = r->options;
    option_ints("limits", "bucketsize", 20, 40);
    EXPECT_EQ(o.bucketsize[0], 64);
    EXPECT_EQ(o.bucketsize[1], 64);
    option_ints("limits", "bucketsize", 1, 1);
    EXPECT_EQ(o.bucketsize[0], 16);
    option_int("render", "maxsamples", 300);
    EXPECT_EQ(o.maxsamples, 256);
    option_int("render", "minsamples", 2);
    EXPECT_EQ(o.minsamples, 4);
    option_int("render", "minsamples", 32);
    option_int("render", "maxsamples", 8);
    EXPECT_EQ(o.maxsamples, 32);
    option_int("render", "max_raylevel", 99);
    EXPECT_EQ(o.max_raylevel, 15);
    option_int("limits", "texturememory", 100);
    EXPECT_EQ(o.texturememory, 512000);
    option_int("limits", "texturememory", 2000000);
    EXPECT_EQ(o.texturememory, 100000 * 1024);
    option_int("limits", "geommemory", 5000);
    EXPECT_EQ(o.geommemory, 10240000);
    option_int("limits", "geommemory", 20000);
    EXPECT_EQ(o.geommemory, 20000 * 1024);
    option_int("limits", "geommemory", 9999999);
    EXPECT_EQ(o.geommemory, 1073741824);
    option_int("limits", "derivmemory", 1);
    EXPECT_EQ(o.derivmemory, 2048);
    option_int("limits", "derivmemory", 5000);
    EXPECT_EQ(o.derivmemory, 1048576);
    option_int("limits", "curvethinning", 1);
    EXPECT_EQ(o.curvethinning, 0);
    option_float("indirect", "maxerror", 1000);
    EXPECT_FLOAT_EQ(o.indirect_maxerror, 100);
    option_int("indirect", "minvalid", -4);
    EXPECT_EQ(o.indirect_minvalid, 1);
    option_int("indirect", "minvalid", 900);
    EXPECT_EQ(o.indirect_minvalid, 200);
    option_int("indirect", "nsamples", -5);
    EXPECT_EQ(o.indirect_nsamples, 0);
    option_int("indirect", "preseed", 3);
    EXPECT_EQ(o.indirect_preseed, 3);
    option_int("render", "use_hierarchy", 2);
    EXPECT_EQ(o.hierarchy[0], 1);
    EXPECT_EQ(o.hierarchy[1], 1);
    EXPECT_EQ(o.hierarchy[2], 0);
    option_int("statistics", "endofframe", 3);
    EXPECT_TRUE(o.verbosity & VERBOSE_STATS);
    option_int("statistics", "endofframe", 0);
    EXPECT_FALSE(o.verbosity & VERBOSE_STATS);
    option_int("radiosity", "steps", 12);
    EXPECT_EQ(o.radiosity_steps, 12);
    option_ints("window", "windowlocation", 5, 6);
    EXPECT_EQ(o.windowlocation[1], 6);
    option_float("radiosity", "patchsize", 3);   // a float option given as declared
    EXPECT_FLOAT_EQ(o.rad_patchsize, 3);
    EXPECT_TRUE(errors.reports.empty());
}

TEST(OptionKeywords, VerbositySetsBits)
{
    CurrentRecorder r;
    ErrorCapture errors;
    Options &o = r->options;
    option_string("runtime", "verbosity", "verbose");
    option_string("runtime", "verbosity", "verbose");
    EXPECT_EQ(o.verbosity, 3);
    option_string("runtime", "verbosity", "stats");
    EXPECT_EQ(o.verbosity, 11);
    EXPECT_EQ(o.stats_level, 100);
    option_string("runtime", "verbosity", "debug");
    option_string("runtime", "verbosity", "debug");
    EXPECT_EQ(o.verbosity, 15);
    EXPECT_EQ(render_debug_level, 2);
    option_string("runtime", "verbosity", "normal");
    EXPECT_EQ(o.verbosity, 1);
    option_string("runtime", "verbosity", "silent");
    EXPECT_EQ(o.verbosity, 0);
    EXPECT_TRUE(errors.reports.empty());
    option_string("runtime", "verbosity", "loud");
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_BADTOKEN);
    EXPECT_EQ(errors.reports[0].message, "Unknown runtime verbosity option \"loud\"");
    render_debug_level = 1;
}

TEST(OptionKeywords, SearchPaths)
{
    CurrentRecorder r;
    option_string("searchpath", "shader", "/a");
    option_string("searchpath", "shader", "&:/more");
    EXPECT_STREQ(r->options.shader_path, "/a:/more");
    option_string("searchpath", "archive", "/tmp/a/$ARCH:%ARCH/b");
    EXPECT_STREQ(r->options.archive_path, "/tmp/a/intelnt:intelnt/b");
    option_string("searchpath", "resource", "/res");
    EXPECT_STREQ(r->options.texture_path, "/res");
    EXPECT_STREQ(r->options.display_path, "/res");
    EXPECT_STREQ(r->options.procedural_path, "/res");
    EXPECT_STREQ(r->options.archive_path, "/res");
    EXPECT_STREQ(r->options.shader_path, "/res");
}

TEST(OptionKeywords, UnknownAndUndeclared)
{
    CurrentRecorder r;
    ErrorCapture errors;
    option_int("nosuch", "steps", 1);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].message, "RiOption: Unknown option \"nosuch\" \"steps\"");
    errors.clear();
    option_int("render", "bogus", 1);
    ASSERT_EQ(errors.count(), 2u);
    EXPECT_EQ(errors.reports[0].message, "RiOption: Token \"bogus\" not declared");
    EXPECT_EQ(errors.reports[1].message, "RiOption: Unknown option \"render\" \"bogus\"");
    errors.clear();
    option_int("rib", "steps", 1);
    option_int("render", "integer look_behind", 0);   // inline declaration of a known token
    EXPECT_TRUE(errors.reports.empty());
    EXPECT_EQ(r->options.look_behind, 0);
    EXPECT_TRUE(r->saw("option render integer look_behind"));
}

TEST(AttributeKeywords, LightsVisibilityAndRadiosity)
{
    CurrentRecorder r;
    ErrorCapture errors;
    GState *before = r->attributes.get();
    RiAttributeBegin();
    attribute_int("light", "nsamples", 1000);
    EXPECT_NE(r->attributes.get(), before);   // made private first
    EXPECT_EQ(r->attributes->light_samples, 255);
    attribute_int("light", "nsamples", -1);
    EXPECT_EQ(r->attributes->light_samples, 1);
    attribute_string("light", "shadows", "on");
    EXPECT_TRUE(r->attributes->flags & GS_LIGHT_SHADOWS);
    attribute_string("light", "shadows", "maybe");
    EXPECT_EQ(errors.reports.at(0).message, "Unknown light shadows attribute: \"maybe\"");
    RiDeclare("nphotons", "integer");   // not a standard token
    attribute_int("light", "nphotons", 5000);
    EXPECT_EQ(r->need_photons, 1);
    attribute_int("render", "visibility", 4);
    EXPECT_TRUE(r->attributes->flags & GS_INVISIBLE_PRIMARY);
    EXPECT_TRUE(r->attributes->flags & GS_INVISIBLE_SECONDARY);
    EXPECT_EQ(r->attributes->casts_shadows, 2);
    attribute_int("render", "visibility", 3);
    EXPECT_FALSE(r->attributes->flags & GS_INVISIBLE_PRIMARY);
    EXPECT_EQ(r->attributes->casts_shadows, 0);
    attribute_string("render", "casts_shadows", "shade");
    EXPECT_EQ(r->attributes->casts_shadows, 3);
    attribute_int("invisible", "shadow", 1);
    EXPECT_EQ(r->attributes->casts_shadows, 0);
    attribute_string("trimcurve", "sense", "outside");
    EXPECT_TRUE(r->attributes->flags & GS_TRIM_OUTSIDE);
    attribute_string("radiosity", "zonal", "zonal_shoots");
    EXPECT_EQ(r->attributes->zonal, 2);
    float emit[3] = {0.5f, 0, 0};
    RtToken t = "emissioncolor";
    RtPointer p = emit;
    RiAttributeV("radiosity", 1, &t, &p);
    EXPECT_TRUE(r->attributes->flags & GS_RAD_EMITTER);
    attribute_string("identifier", "name", "lamp");
    EXPECT_STREQ(r->attributes->identifier, "lamp");
    RiAttributeEnd();
    EXPECT_EQ(r->attributes->light_samples, 1);
    EXPECT_EQ(r->attributes->identifier, nullptr);
    errors.clear();
    attribute_int("foo", "bar", 1);
    ASSERT_EQ(errors.count(), 2u);
    EXPECT_EQ(errors.reports[0].message, "RiAttribute: Token \"bar\" not declared");
    EXPECT_EQ(errors.reports[1].message, "Unknown Attribute type: \"foo\" \"bar\"");
}

TEST(AttributeKeywords, RadiosityLengthsInWorldSpace)
{
    CurrentRecorder r;
    RiWorldBegin();
    RiScale(2, 2, 2);
    RtToken t = "patchsize";
    float v = 3;
    RtPointer p = &v;
    RiAttributeV("radiosity", 1, &t, &p);
    EXPECT_FLOAT_EQ(r->attributes->rad_patchsize, 6);
    RiWorldEnd();
    RiAttributeV("radiosity", 1, &t, &p);
    EXPECT_FLOAT_EQ(r->attributes->rad_patchsize, 3);
}

// The first row of a pair wins: a later row of the same pair, or a row after
// one that takes every token of its name, could never be reached.
TEST(KeywordRows, EveryRowIsReachableAndComplete)
{
    for (RowTable table : {option_rows(), attribute_rows()})
        for (const KeywordRow &row : table) {
            SCOPED_TRACE(std::string(row.name) + " " + (row.token ? row.token : "*"));
            EXPECT_EQ(table.find(row.name, row.token ? row.token : "any token"), &row);
            if (row.type == ROW_WORD) {
                EXPECT_NE(row.rule.words, nullptr);
            }
            if (row.type == ROW_PROC) {
                EXPECT_NE(row.rule.proc, nullptr);
            } else if (row.type != ROW_NONE) {
                EXPECT_NE(row.field.at, nullptr);
            }
        }
}

TEST(RuntimeStats, Block)
{
    CurrentRecorder r;
    char buf[256] = {};
    FILE *f = fmemopen(buf, sizeof buf, "w");
    r->print_stats(f);
    fclose(f);
    EXPECT_EQ(std::string(buf).rfind("Runtime stats:\n\tReal time:    00:0", 0), 0u) << buf;
    // The user CPU time, in the layout of the real time with hundredths.
    EXPECT_NE(std::string(buf).find("\tUser time:    00:0"), std::string::npos) << buf;
}

TEST(MatrixStore, LevelsAndLimits)
{
    MatrixStore store;
    float m[16];
    identity_matrix(m);
    m[3] = 7;
    float *a = store.new_matrix(m, LEVEL_GLOBAL);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a[3], 7);
    float *id = store.new_matrix(nullptr, LEVEL_WORLD);
    EXPECT_EQ(id[0], 1);
    EXPECT_EQ(id[3], 0);
    for (int i = 0; i < 1100; i++) ASSERT_NE(store.new_matrix(m, LEVEL_WORLD), nullptr);
    EXPECT_EQ(store.used(), 1102);
    store.free_matrices(LEVEL_WORLD);
    EXPECT_EQ(store.used(), 1);
    EXPECT_EQ(a[3], 7);   // global slot kept
    store.free_matrices(0);
    EXPECT_EQ(store.used(), 0);

    ErrorCapture errors;
    for (int i = 0; i < MatrixStore::BLOCKS * MatrixStore::SLOTS; i++)
        if (!store.new_matrix(m, LEVEL_WORLD)) FAIL() << "store full early at " << i;
    EXPECT_EQ(store.new_matrix(m, LEVEL_WORLD), nullptr);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_NOMEM);
    EXPECT_EQ(errors.reports[0].message, "out of memory for RtMatrix");
    store.free_matrices(LEVEL_WORLD);
    EXPECT_NE(store.new_matrix(m, LEVEL_WORLD), nullptr);
}

TEST(Counters, StatCounter)
{
    StatCounter c;
    c.add(5);
    c.subtract(3);
    c.add(1);
    EXPECT_EQ(c.requested, 6);
    EXPECT_EQ(c.peak, 5);
    EXPECT_EQ(c.current, 3);
    c.add(int64_t(3) << 33);   // 64-bit counts do not wrap
    EXPECT_GT(c.peak, int64_t(1) << 33);
}

} // namespace
