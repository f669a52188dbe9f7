#include "ri/raylume_options.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ri/ribfile.h"

namespace {

SessionOptions session;

// Parses a command line (program name first) into a fresh session record and
// returns the first file index.
int parse(std::vector<std::string> args) {
    args.insert(args.begin(), "raylume");
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    session = SessionOptions();
    return parse_options(static_cast<int>(args.size()), argv.data(), session);
}

TEST(RaylumeOptions, DisplayOverrideIsAPowerOfTwoUpTo32) {
    EXPECT_EQ(parse({"-d", "5", "scene.rib"}), 3);
    EXPECT_EQ(session.display_override, 4);
    EXPECT_EQ(parse({"-d", "100"}), 3);
    EXPECT_EQ(session.display_override, 32);
    EXPECT_EQ(parse({"-d", "scene.rib"}), 2);
    EXPECT_EQ(session.display_override, 1);
    EXPECT_EQ(parse({"-d"}), 2);
    EXPECT_EQ(session.display_override, 1);
    EXPECT_EQ(parse({"-d", "1"}), 3);
    EXPECT_EQ(session.display_override, 1);
}

// Options that end the program leave that to main: the status comes back.
TEST(RaylumeOptions, HelpArchAndBadOptionsHandMainTheStatus) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(parse({"-arch", "-beep", "a.rib"}), 2);
    EXPECT_EQ(session.end_status, 0);
    EXPECT_EQ(parse({"-h", "a.rib"}), 2);
    EXPECT_EQ(session.end_status, 0);
    EXPECT_EQ(parse({"-nosuch", "a.rib"}), 1);
    EXPECT_EQ(session.end_status, 1);
    EXPECT_EQ(parse({"-beep", "-res", "64"}), 2);
    EXPECT_EQ(session.end_status, 1);
    EXPECT_EQ(parse({"-beep", "a.rib"}), 2);
    EXPECT_EQ(session.end_status, -1);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("Usage: raylume"), std::string::npos) << out;
    EXPECT_NE(err.find("Option -res takes 2 operands"), std::string::npos) << err;
}

TEST(RaylumeOptions, OperandsAndTheFirstFile) {
    EXPECT_EQ(parse({}), 1);
    EXPECT_EQ(parse({"e.rib", "-v"}), 1);
    EXPECT_EQ(parse({"-zoom", "0", "f.rib"}), 3);
    EXPECT_EQ(session.pixel_zoom, 1);
    EXPECT_EQ(parse({"-zoom", "3", "-sync", "9", "-maxload", "2", "-radout", "-beep", "x"}), 9);
    EXPECT_EQ(session.pixel_zoom, 3);
    EXPECT_EQ(session.radiosity_output, 1);
    EXPECT_EQ(session.bell, 1);
    EXPECT_EQ(parse({"-frames", "2", "3", "f.rib"}), 4);
    EXPECT_EQ(rib_frame_filter.first, 2);
    EXPECT_EQ(rib_frame_filter.last, 3);
    rib_frame_filter = RibFrameFilter();
}

} // namespace
