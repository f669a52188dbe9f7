#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/dynlib.h"
#include "ri/shader.h"
#include "ri/tokens.h"
#include "ri_common/rierror.h"
#include "tests/ri/error_capture.h"
#include "tests/shading/shader_support.h"

TEST(Registry, FindsLoadedShadersByNameAndCountsRequests)
{
    velktest::TempDir dir;
    dir.write("twice.murn", "surface twice\ncode\n\treturn\n");
    setenv("VELKSHADERS", dir.path().c_str(), 1);
    set_shader_loader(load_compiled_shader);
    ShaderCounters &c = shader_counters();
    int64_t requested = c.requested, loaded = c.loaded;
    Shader *a = find_shader("twice");
    Shader *b = find_shader("twice");
    unsetenv("VELKSHADERS");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(first_shader(), a);
    EXPECT_EQ(c.requested, requested + 2);
    EXPECT_EQ(c.loaded, loaded + 1);
    EXPECT_EQ(find_shader("nosuchshaderanywhere"), nullptr);
    set_shader_loader(nullptr);
}

TEST(Registry, ParameterLookupAndStatistics)
{
    static PARAM_INFO rows[] = {
        {NewToken("a"), PtFLOAT, 2, 0, 0, 1, 4, 0, nullptr, nullptr},
        {NewToken("b"), PtCOLOR, 2, 1, 0, 2, 24, 4, nullptr, nullptr},
        {NewToken("c"), PtMATRIX, 2, 0, 0, 1, 64, 28, nullptr, nullptr},
        {nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr},
    };
    Shader *s = register_shader("rows", nullptr, nullptr, rows, nullptr, SH_SURFACE);
    EXPECT_EQ(s->param_size, 92);
    int offset = -1, type = -1;
    EXPECT_EQ(s->find_param(NewToken("c"), &offset, &type), 1);
    EXPECT_EQ(offset, 28);
    EXPECT_EQ(type, PtMATRIX);
    EXPECT_EQ(s->find_param(NewToken("zz"), &offset, &type), 0);
    EXPECT_EQ(offset, 92);

    std::string text = shadertest::printed(print_shader_stats);
    EXPECT_EQ(text.rfind("Shaders:  ", 0), 0u);
    EXPECT_NE(text.find(" separate shaders loaded, "), std::string::npos);
    EXPECT_NE(text.find("   prototype memory: "), std::string::npos);
    EXPECT_NE(text.find("   instance memory: "), std::string::npos);
}

TEST(RegistryDeathTest, InconsistentParameterTablesEndTheRun)
{
    static PARAM_INFO wrong_size[] = {
        {"c", PtCOLOR, 2, 1, 0, 2, 12, 0, nullptr, nullptr},
        {nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr},
    };
    static PARAM_INFO wrong_offset[] = {
        {"f", PtFLOAT, 2, 0, 0, 1, 4, 4, nullptr, nullptr},
        {nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr},
    };
    // The shader keeps the rows before the broken one; the program returns.
    auto registered = [](PARAM_INFO *rows) {
        Shader *s = register_shader("bad", nullptr, nullptr, rows, nullptr, 0);
        std::exit(ri_run_end_status() == 255 && s->param_count() == 0 && s->param_size == 0 ? 7 : 1);
    };
    EXPECT_EXIT(registered(wrong_size), testing::ExitedWithCode(7), "Assertion failed in shader, line 173");
    EXPECT_EXIT(registered(wrong_offset), testing::ExitedWithCode(7), "Assertion failed in shader, line 180");
}

TEST(NativeShader, LoadsAndRuns)
{
    velktest::TempDir dir;
    std::string lib = std::string(VELK_NATIVE_SHADER_DIR) + "/";
    setenv("VELKSHADERS", lib.c_str(), 1);
    Shader *s = load_compiled_shader("nativered");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->kind, SH_SURFACE);
    EXPECT_EQ(s->flags, 0x10);
    EXPECT_EQ(s->param_size, 16);
    EXPECT_EQ(s->params[0].name, NewToken("Kd"));
    EXPECT_EQ(s->params[1].space, NewToken("rgb"));
    ASSERT_NE(s->init, nullptr);
    std::vector<uint32_t> block(4, 0);
    ShadingPoint sv;
    s->init(&sv, reinterpret_cast<char *>(block.data()));
    s->run(&sv, reinterpret_cast<char *>(block.data()));
    EXPECT_EQ(sv.Ci, Color(0.5f, 0, 0));

    velktest::ErrorCapture errors;
    EXPECT_EQ(load_compiled_shader("badsize"), nullptr);
    unsetenv("VELKSHADERS");
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_BADFILE);
    EXPECT_EQ(errors.reports[0].message,
              "Compiled shader " + lib + "badsize.intelnt.murn reports a different size of the\n"
              "\tShaderVars structure.  Recompile!");

    // A file of the native name that is no library is refused, not read as text.
    dir.write("junk.intelnt.murn", "not a library");
    dir.write("junk.murn", "surface junk\ncode\n\treturn\n");
    setenv("VELKSHADERS", dir.path().c_str(), 1);
    errors.clear();
    testing::internal::CaptureStderr();
    EXPECT_EQ(load_compiled_shader("junk"), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    unsetenv("VELKSHADERS");
    EXPECT_NE(err.find("find_dso error: "), std::string::npos);
    EXPECT_TRUE(errors.has_message("Found DSO " + dir.path() + "/junk.intelnt.murn, but couldn't dlopen: "));
}
