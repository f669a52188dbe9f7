#include "platform/process.h"

#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Every test here starts processes: a stuck one ends the test program.
class Process : public testing::Test {
protected:
    void SetUp() override { alarm(60); }
    void TearDown() override { alarm(0); }
};

} // namespace

TEST_F(Process, PipesBothWays)
{
    velk::ChildProcess child;
    ASSERT_TRUE(child.start({"cat"}, velk::ChildProcess::PIPE_BOTH)) << child.error();
    EXPECT_TRUE(child.write_input("0.5 some args\n"));
    child.close_input();
    EXPECT_EQ(child.read_all_output(), "0.5 some args\n");
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(child.wait(), -1);   // nothing left to wait for
}

TEST_F(Process, ExitStatusAndSignals)
{
    velk::ChildProcess a;
    ASSERT_TRUE(a.start({"sh", "-c", "echo out; exit 3"}, velk::ChildProcess::PIPE_OUTPUT));
    EXPECT_EQ(a.read_all_output(), "out\n");
    EXPECT_EQ(a.wait(), 3);

    velk::ChildProcess b;
    ASSERT_TRUE(b.start({"sh", "-c", "kill -9 $$"}, velk::ChildProcess::NO_PIPES));
    EXPECT_EQ(b.wait(), 128 + 9);

    velk::ChildProcess c;
    EXPECT_FALSE(c.start({"/no/such/program"}, velk::ChildProcess::PIPE_BOTH));
    EXPECT_FALSE(c.error().empty());
    EXPECT_FALSE(c.start({}, velk::ChildProcess::NO_PIPES));
    EXPECT_EQ(c.wait(), -1);
}

TEST_F(Process, WritingToAFinishedChildFailsWithoutSignal)
{
    velk::ChildProcess child;
    ASSERT_TRUE(child.start({"true"}, velk::ChildProcess::PIPE_BOTH));
    EXPECT_EQ(child.read_all_output(), "");   // end of file: the child is gone
    std::string big(1 << 20, 'x');
    EXPECT_FALSE(child.write_input(big));     // we are still alive
    EXPECT_EQ(child.wait(), 0);
}

TEST_F(Process, CommandLinesRunThroughTheShell)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(velk::split_command_line("  a  b\tc "), V({"a", "b", "c"}));
    EXPECT_EQ(velk::split_command_line("cp 'my file' \"x \\\"y\\\"\" a\\ b"),
              V({"cp", "my file", "x \"y\"", "a b"}));
    EXPECT_EQ(velk::split_command_line("'' x"), V({"", "x"}));
    EXPECT_EQ(velk::split_command_line("a\\"), V({"a"}));   // a trailing backslash is dropped
    EXPECT_EQ(velk::split_command_line(""), V());

    velktest::TempDir dir;
    // A user's command line: redirection and ';' are the shell's.
    EXPECT_EQ(velk::run_command_line("cd '" + dir.path() + "' && echo one >> log; touch a; touch b"), 0);
    EXPECT_EQ(dir.read("log"), "one\n");
    EXPECT_TRUE(dir.exists("a"));
    EXPECT_TRUE(dir.exists("b"));
    EXPECT_FALSE(dir.exists("a;"));
    EXPECT_EQ(velk::run_command_line("false"), 1);
    EXPECT_EQ(velk::run_command_line("   "), -1);
    EXPECT_EQ(velk::run_command_line("/no/such/program"), 127);
}
