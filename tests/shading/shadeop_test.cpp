#include <gtest/gtest.h>

#include "platform/dynlib.h"
#include "ri/tokens.h"
#include "shading/shadeop.h"
#include "shading/slstack.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/recording_renderer.h"
#include "tests/shading/sl_support.h"

using sltest::param_float;
using sltest::param_string;
using sltest::param_triple;

namespace {

// A renderer whose shader path holds the test library "testops.so".
struct ShadeopScene {
    velktest::RecordingRenderer r;
    Renderer *saved = current_renderer;
    ShadeopScene()
    {
        current_renderer = &r;
        r.options.shader_path = NewToken(VELK_SHADEOP_DIR);
    }
    ~ShadeopScene() { current_renderer = saved; }
};

int *library_counter(const char *name)
{
    velk::DynLib *lib = velk::dynlib_open(VELK_SHADEOP_DIR "/testops.so");
    return lib ? static_cast<int *>(velk::dynlib_symbol(lib, name)) : nullptr;
}

} // namespace

TEST(Shadeops, CallsEveryResultKindAndInitsOnce)
{
    ShadeopScene scene;
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "useops",
        "surface useops(float x = 3; output float y = 0, y2 = 0; output color c = 0;\n"
        "               output string g = \"\"; output point q = point(1, 2, 3))\n"
        "{\n"
        "    y = sq(x);\n"
        "    y2 = sq(2);\n"
        "    c = blend(color(0, 0, 0), color(1, 1, 1), 0.25);\n"
        "    g = greet(\"you\", 7);\n"
        "    nudge(q);\n"
        "}\n",
        {"-I" VELK_SHADEOP_DIR});
    ASSERT_NE(s, nullptr);
    int *init_calls = library_counter("shadeop_init_calls");
    int *argc = library_counter("shadeop_last_argc");
    ASSERT_NE(init_calls, nullptr);
    velktest::ErrorCapture errors;
    Intersection sv;
    int depth = slstack.depth(), sdepth = slstack.string_depth();
    for (int run = 0; run < 2; ++run) {
        auto block = shadertest::run(s, sv);
        EXPECT_EQ(param_float(s, block, "y"), 10);    // 3 x 3 + the init data's 1
        EXPECT_EQ(param_float(s, block, "y2"), 5);
        EXPECT_EQ(param_triple(s, block, "c"), Color(0.25f, 0.25f, 0.25f));
        EXPECT_EQ(param_string(s, block, "g"), "hello you 7");
        EXPECT_EQ(param_triple(s, block, "q"), Point(2, 2, 3));   // arguments go by address
    }
    EXPECT_EQ(*init_calls, 1);
    EXPECT_EQ(*argc, 2);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(slstack.string_depth(), sdepth);
    EXPECT_EQ(errors.count(), 0u);
    ShadeopBinding *b = find_shadeop("sq", "testops.so", "sq", "float sq(float)");
    EXPECT_NE(b->method, nullptr);
    EXPECT_NE(b->cleanup, nullptr);
}

TEST(Shadeops, FailedLookupsAreReportedOnce)
{
    ShadeopScene scene;
    velktest::TempDir dir;
    // A declaration the library lacks, a library that is not there, and an
    // instruction with fewer operands than its type letters.
    auto dsoop = [](const char *codes, const char *decl, const char *lib, const char *args) {
        return std::string("\tpushs\t") + codes + " \n\tpushs\t" + decl + " \n\tpushs\tm \n\tpushs\t" + lib +
               " \n\tpushs\tfn \n\tdsoop\t" + args + "\n";
    };
    Shader *s = shadertest::load_text(dir, "badops",
        "surface badops\n"
        "param\tfloat\tx\t\t3\n"
        "local\tstring\tff\t\"ff\"\n"
        "local\tstring\tfff\t\"fff\"\n"
        "local\tstring\tm\t\"sq\"\n"
        "local\tstring\tfn\t\"sq\"\n"
        "local\tstring\tgood\t\"float sq(float)\"\n"
        "local\tstring\twrong\t\"float sq(point)\"\n"
        "local\tstring\tlib\t\"testops.so\"\n"
        "local\tstring\tnolib\t\"nosuchlib.so\"\n"
        "local\tstring\tother\t\"float sq2(float)\"\n"
        "code\n" +
        dsoop("ff", "wrong", "lib", "1\tx") + "\tpopf\tu \n" +
        dsoop("ff", "other", "nolib", "1\tx") + "\tpopf\tv \n" +
        dsoop("fff", "good", "lib", "0\t") + "\tpopf\ts \n"
        "\treturn\n");
    ASSERT_NE(s, nullptr);
    velktest::ErrorCapture errors;
    Intersection sv;
    int depth = slstack.depth();
    for (int run = 0; run < 3; ++run) {
        sv.u = sv.v = sv.s = -1;
        shadertest::run(s, sv);
        EXPECT_EQ(sv.u, 0);   // the result slot's initial content
        EXPECT_EQ(sv.v, 0);
        EXPECT_EQ(sv.s, 1);   // 0 x 0 + 1: the missing arguments are spare zeros
    }
    EXPECT_EQ(slstack.depth(), depth);
    ASSERT_EQ(errors.count(), 2u);
    EXPECT_EQ(errors.reports[0].code, RIE_SYSTEM);
    EXPECT_EQ(errors.reports[0].severity, RIE_ERROR);
    EXPECT_EQ(errors.reports[0].message,
              "Could not find a valid DSO implementation of \"sq\"\n"
              "    --> No matching function declaration found in DSO\n");
    EXPECT_EQ(errors.reports[1].message,
              "Could not find a valid DSO implementation of \"sq\"\n"
              "    --> DSO file not found in shader path\n");
}

TEST(ShadeopsDeathTest, CleanupRunsAtExit)
{
    EXPECT_EXIT(
        {
            ShadeopScene scene;
            find_shadeop("sq", "testops.so", "sq", "float sq(float)");
            std::exit(0);
        },
        testing::ExitedWithCode(0), "shadeop cleanup 1000");
}
