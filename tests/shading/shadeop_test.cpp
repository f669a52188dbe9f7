#include <gtest/gtest.h>

#include "platform/dynlib.h"
#include "ri/tokens.h"
#include "shading/shadeop.h"
#include "shading_shaderfile/slstack.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/recording_renderer.h"
#include "tests/shading/sl_support.h"

using sltest::param_float;

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

} // namespace

TEST(Shadeops, CallsEveryResultKindAndInitsOnce)
{
    ShadeopScene scene;
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "useops",
        "surface useops(float x = 3; output float y = 0, y2 = 0; output color c = 0, yc = 0;\n"
        " output string g = \"\")\n"
        "{ y = sq(x); y2 = sq(2); yc = sq(x); c = blend(color(0, 0, 0), color(1, 1, 1), 0.25); g = greet(\"you\"); }\n",
        {"-I" VELK_SHADEOP_DIR});
    ASSERT_NE(s, nullptr);
    velk::DynLib *lib = velk::dynlib_open(VELK_SHADEOP_DIR "/testops.so");
    int *init_calls = static_cast<int *>(velk::dynlib_symbol(lib, "shadeop_init_calls"));
    ASSERT_NE(init_calls, nullptr);
    velktest::ErrorCapture errors;
    ShadingPoint sv;
    int depth = slstack.depth(), sdepth = slstack.string_depth();
    for (int run = 0; run < 2; ++run) {
        auto block = shadertest::run(s, sv);
        EXPECT_EQ(param_float(s, block, "y"), 10);   // 3 x 3 + the init data's 1
        EXPECT_EQ(param_float(s, block, "y2"), 5);
        EXPECT_EQ(sltest::param_triple(s, block, "yc"), Color(10, 10, 10));   // only a float sq: promoted
        EXPECT_EQ(sltest::param_triple(s, block, "c"), Color(0.25f, 0.25f, 0.25f));
        EXPECT_EQ(sltest::param_string(s, block, "g"), "hello you");
    }
    EXPECT_EQ(*init_calls, 1);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(slstack.string_depth(), sdepth);
    EXPECT_EQ(errors.count(), 0u);
}

TEST(Shadeops, FailedLookupsAreReportedOnce)
{
    ShadeopScene scene;
    velktest::TempDir dir;
    auto dsoop = [](const char *codes, const char *decl, const char *lib, const char *args) {
        return std::string("\tpushs\t") + codes + " \n\tpushs\t" + decl + " \n\tpushs\tm \n\tpushs\t" + lib +
               " \n\tpushs\tfn \n\tdsoop\t" + args + "\n";
    };
    // A declaration the library lacks, a library that is not there, and an
    // instruction with fewer operands than its type letters.
    Shader *s = shadertest::load_text(dir, "badops",
        "surface badops\nparam\tfloat\tx\t\t3\n"
        "local\tstring\tff\t\"ff\"\nlocal\tstring\tfff\t\"fff\"\n"
        "local\tstring\tm\t\"sq\"\nlocal\tstring\tfn\t\"sq\"\n"
        "local\tstring\tgood\t\"float sq(float)\"\nlocal\tstring\twrong\t\"float sq(point)\"\n"
        "local\tstring\tother\t\"float sq2(float)\"\n"
        "local\tstring\tlib\t\"testops.so\"\nlocal\tstring\tnolib\t\"nosuchlib.so\"\n"
        "code\n" +
        dsoop("ff", "wrong", "lib", "1\tx") + "\tpopf\tu \n" + dsoop("ff", "other", "nolib", "1\tx") +
        "\tpopf\tv \n" + dsoop("fff", "good", "lib", "0\t") + "\tpopf\ts \n\treturn\n");
    ASSERT_NE(s, nullptr);
    velktest::ErrorCapture errors;
    ShadingPoint sv;
    for (int run = 0; run < 2; ++run) {
        sv.u = sv.v = sv.s = -1;
        shadertest::run(s, sv);
        EXPECT_EQ(sv.u, 0);   // the result slot's initial content
        EXPECT_EQ(sv.v, 0);
        EXPECT_EQ(sv.s, 1);   // 0 x 0 + 1: missing arguments read spare zeros
    }
    ASSERT_EQ(errors.count(), 2u);
    EXPECT_EQ(errors.reports[0].code, RIE_SYSTEM);
    EXPECT_EQ(errors.reports[0].message, "Could not find a valid DSO implementation of \"sq\"\n"
                                         "    --> No matching function declaration found in DSO\n");
    EXPECT_EQ(errors.reports[1].message, "Could not find a valid DSO implementation of \"sq\"\n"
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
