#include "ri_common/rierror.h"
#include "tests/ri/stderr_capture.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// Runs one report at a given RIB position and returns what was printed.
std::string report_at(const char *file, int line, int code, int severity, const char *msg) {
    rib_current_file = file;
    rib_current_line = line;
    StderrCapture cap;
    if (msg)
        ri_error(code, severity, "%s", msg);
    else
        ri_current_error_handler()(code, severity, nullptr);
    rib_current_file = nullptr;
    rib_current_line = 0;
    return cap.finish();
}

const char *lamp_name() { return "lamp"; }

TEST(RiError, PrintedFormWithFileLineAndMessage) {
    EXPECT_EQ(report_at("scene.rib", 12, RIE_NESTING, RIE_ERROR, "RiEnd called at inappropriate level"),
              "ERROR: scene.rib (12): Nesting error\n    --> RiEnd called at inappropriate level\n");
    EXPECT_EQ(report_at(nullptr, 0, RIE_NOFILE, RIE_ERROR, "nosuch.rib"),
              "ERROR: File not found\n    --> nosuch.rib\n");
    EXPECT_EQ(report_at("a.rib", 3, 0, RIE_INFO, "just words"), "INFO: a.rib (3): \n    --> just words\n");
    EXPECT_EQ(report_at("a.rib", 4, 99, RIE_WARNING, nullptr), "WARNING: a.rib (4): code 99\n");
}

TEST(RiError, RepeatFilterDropsSameCodeOnSameLine) {
    EXPECT_NE(report_at("r.rib", 100, RIE_RANGE, RIE_ERROR, "one"), "");
    EXPECT_EQ(report_at("r.rib", 100, RIE_RANGE, RIE_ERROR, "two"), "");
    EXPECT_NE(report_at("r.rib", 101, RIE_RANGE, RIE_ERROR, "three"), "");
    // Invalid-token errors with a message are always shown; without one they repeat-filter.
    EXPECT_NE(report_at("r.rib", 102, RIE_BADTOKEN, RIE_WARNING, "a"), "");
    EXPECT_NE(report_at("r.rib", 102, RIE_BADTOKEN, RIE_WARNING, "a"), "");
    EXPECT_EQ(report_at("r.rib", 102, RIE_BADTOKEN, RIE_WARNING, nullptr), "");
    // A different code on the same line prints.
    EXPECT_NE(report_at("r.rib", 102, RIE_SYNTAX, RIE_ERROR, "x"), "");
}

TEST(RiError, MessagesAreCutAt1024Characters) {
    std::string longmsg(5000, 'x');
    std::string out = report_at("m.rib", 200, RIE_SYNTAX, RIE_ERROR, longmsg.c_str());
    std::string head = "ERROR: m.rib (200): Syntax error\n    --> ";
    ASSERT_EQ(out.substr(0, head.size()), head);
    EXPECT_EQ(out.size(), head.size() + 1023 + 1);
}

TEST(RiError, ObjectNameLineComesFromTheInstalledSource) {
    ri_set_object_name_source(lamp_name);
    std::string out = report_at("o.rib", 300, RIE_RANGE, RIE_WARNING, "bad");
    ri_set_object_name_source(nullptr);
    EXPECT_EQ(out, "WARNING: o.rib (300): Parameter out of range\n    --> bad\n"
                   "\t(error encountered in object \"lamp\")\n");
}

TEST(RiError, SevereErrorsAreNeverFilteredAsRepeats) {
    EXPECT_NE(report_at("s.rib", 500, RIE_NESTING, RIE_ERROR, "underflow"), "");
    EXPECT_EXIT({
        rib_current_file = "s.rib";
        rib_current_line = 500;
        ri_error(RIE_NESTING, RIE_SEVERE, "again");
        std::exit(ri_run_end_status());
    }, testing::ExitedWithCode(255),
                "SEVERE ERROR: s.rib \\(500\\): Nesting error\n    --> again");
}

TEST(RiError, IgnoreStoresLastErrorAndPrintsNothing) {
    RtErrorHandler old = ri_current_error_handler();
    EXPECT_EQ(RiErrorHandler(RiErrorIgnore), &RiErrorIgnore);
    std::string out = report_at("i.rib", 400, RIE_BADHANDLE, RIE_SEVERE, "gone");
    RiErrorHandler(old);
    EXPECT_EQ(out, "");
    EXPECT_EQ(RiLastError, RIE_BADHANDLE);
}

// Library code only ends the run: the caller goes on (and exits 7 here), the
// RI procedures and later errors do nothing, and main returns the status.
TEST(RiErrorDeath, SevereEndsTheRunWithStatus255) {
    EXPECT_EXIT({
        ri_error(RIE_NESTING, RIE_SEVERE, "RiEnd called at inappropriate level");
        ri_error(RIE_SYNTAX, RIE_ERROR, "not told");
        RiWorldEnd();
        std::exit(ri_run_end_status() == 255 ? 7 : 0);
    }, testing::ExitedWithCode(7), "SEVERE ERROR: Nesting error\n    --> RiEnd called at inappropriate level\n$");
}

TEST(RiErrorDeath, AbortEndsAtSeverityTwoButNotOne) {
    EXPECT_EXIT({
        RiErrorHandler(RiErrorAbort);
        rib_current_line = 900;
        ri_error(RIE_RANGE, RIE_WARNING, "w");
        if (ri_run_end_status()) std::exit(1);
        ri_error(RIE_SYNTAX, RIE_ERROR, "e");
        ri_error(RIE_SYNTAX, RIE_ERROR, "not told");
        std::exit(ri_run_end_status() == 255 ? 7 : 0);
    }, testing::ExitedWithCode(7), "WARNING: .*\n    --> w\nERROR: .*Syntax error\n    --> e\n$");
}

TEST(RiErrorDeath, AssertionReportsModuleAndLine) {
    EXPECT_EXIT(ri_assert_failed("renderer", 42), testing::ExitedWithCode(255),
                "SEVERE ERROR: Probable bug in renderer\n    --> Assertion failed in renderer, line 42");
    // One the caller recovers from ends the run, even under a handler that goes on.
    EXPECT_EXIT((RiErrorHandler(RiErrorIgnore), ri_assert_report("symtab", 7),
                 std::exit(ri_run_end_status() == 255 && RiLastError == RIE_BUG ? 7 : 1)),
                testing::ExitedWithCode(7), "");
}

} // namespace
