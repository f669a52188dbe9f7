// The compiled-shader argument library in the test process: the search
// path, the records it answers and their bounds.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/tools/peek_support.h"
#include "tools/murnargs.h"

namespace {

// No shader of the tests comes from the environment.
class MurnargsTest : public testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("VELKSHADERS");
        unsetenv("SHADERS");
        murnargs_set_path("");
    }
    void TearDown() override { murnargs_release(); }
};

} // namespace

TEST_F(MurnargsTest, PathsAppendWithAnAmpersand)
{
    murnargs_set_path("/a:/b");
    murnargs_set_path("&:/c");
    EXPECT_STREQ(murnargs_get_path(), "/a:/b:/c");
    murnargs_set_path(nullptr);
    murnargs_set_path("&/d");
    EXPECT_STREQ(murnargs_get_path(), "/d");
}

TEST_F(MurnargsTest, RecordsOfATextShader)
{
    velktest::TempDir dir;
    ASSERT_EQ(peektest::compile(dir, "glow",
                                "surface glow(float Kd = .5; output varying color Cg = 1; string s = \"\";)\n"
                                "{ Ci = Kd; }\n"),
              "");
    EXPECT_EQ(murnargs_open("glow"), -1);
    murnargs_set_path(dir.path().c_str());
    ASSERT_EQ(murnargs_open("glow"), 0);
    EXPECT_STREQ(murnargs_shader_name(), "glow");
    EXPECT_EQ(murnargs_shader_type(), MA_SURFACE);
    ASSERT_EQ(murnargs_param_count(), 3);
    EXPECT_EQ(murnargs_param_by_index(0), nullptr);
    EXPECT_EQ(murnargs_param_by_index(-1), nullptr);
    EXPECT_EQ(murnargs_param_by_index(4), nullptr);
    const MurnargsParam *kd = murnargs_param_by_index(1);
    ASSERT_NE(kd, nullptr);
    EXPECT_EQ(kd, murnargs_param_by_name("Kd"));
    EXPECT_EQ(kd->storage, MA_PARAMETER);
    EXPECT_EQ(kd->flags, MA_HAS_DEFAULT);
    EXPECT_EQ(kd->default_value(), kd->values);
    EXPECT_EQ(kd->values[0], 0.5f);
    const MurnargsParam *cg = murnargs_param_by_name("Cg");
    ASSERT_NE(cg, nullptr);
    EXPECT_EQ(cg->storage, MA_OUTPUTPARAMETER);
    EXPECT_EQ(cg->detail, MA_VARYING);
    EXPECT_EQ(cg->type, MA_COLOR);
    const MurnargsParam *s = murnargs_param_by_name("s");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(static_cast<const char *>(s->default_value()), "");
    EXPECT_EQ(murnargs_param_by_name("nothing"), nullptr);

    murnargs_release();
    EXPECT_EQ(murnargs_param_count(), 0);
    EXPECT_EQ(murnargs_shader_name(), nullptr);
    EXPECT_EQ(murnargs_param_by_index(1), nullptr);
}

TEST_F(MurnargsTest, OpeningAgainForgetsTheFormerShader)
{
    velktest::TempDir dir;
    dir.write("one.murn", "surface one\nparam\tfloat\ta\t1\nparam\tfloat\tb\t2\ncode\n\treturn\n");
    dir.write("two.murn", "light two\nparam\tfloat\tc\t3\ncode\n\treturn\n");
    murnargs_set_path(dir.path().c_str());
    ASSERT_EQ(murnargs_open("one"), 0);
    ASSERT_EQ(murnargs_open("two"), 0);
    EXPECT_EQ(murnargs_shader_type(), MA_LIGHT);
    EXPECT_EQ(murnargs_param_count(), 1);
    EXPECT_EQ(murnargs_param_by_name("a"), nullptr);
    EXPECT_EQ(murnargs_open("three"), -1);
    EXPECT_EQ(murnargs_param_count(), 0);
}
