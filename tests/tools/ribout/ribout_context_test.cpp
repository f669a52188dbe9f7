// Outputs and contexts, handles, declarations and the faults the writer reports.
#include <gtest/gtest.h>

#include <cstdlib>

#include <csignal>
#include <sys/resource.h>

#include "ri_common/ri.h"
#include "ri_common/rierror.h"
#include "tests/support/run_program.h"
#include "tests/tools/ribout/ribout_support.h"
#include "ribout/ribout.h"

using ribtest::written;
using ribtest::written_whole;

namespace {

bool starts_with(const std::string &s, const std::string &head)
{
    return s.compare(0, head.size(), head) == 0;
}

} // namespace

TEST(RiboutContext, HeaderStandardDeclarationsAndEnd)
{
    std::string all = written_whole([] {});
    EXPECT_TRUE(starts_with(all, "##RenderMan RIB-Structure 1.0\nversion 3.03\nDeclare \"intensity\" \"float\"\n"));
    EXPECT_NE(all.find("\nDeclare \"P\" \"vertex point\"\n"), std::string::npos);
    EXPECT_NE(all.find("\nDeclare \"windowlocation\" \"int[2]\"\n"), std::string::npos);
    // Interned-only names are not declared.
    EXPECT_EQ(all.find("\"gaussian\""), std::string::npos);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all.substr(all.size() - 2), "\n\n");

    testing::internal::CaptureStdout();
    RiBegin(RI_NULL);
    RiWorldBegin();
    RiEnd();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(starts_with(out, "##RenderMan RIB-Structure 1.0\nversion 3.03\n"));
    EXPECT_EQ(out.substr(out.size() - 12), "WorldBegin\n\n");
}

TEST(RiboutContext, LightAndObjectNumbersCountPerOutput)
{
    RtLightHandle a = nullptr, b = nullptr, c = nullptr;
    RtObjectHandle o = nullptr;
    std::string out = written([&] {
        a = RiLightSource("pointlight", RI_NULL);
        b = RiLightSource("spotlight", RI_NULL);
        c = RiAreaLightSource("arealight", RI_NULL);
        RiIlluminate(b, 0);
        o = RiObjectBegin();
        RiObjectEnd();
        RiObjectInstance(o);
    });
    EXPECT_EQ(out, "LightSource \"pointlight\" 1\nLightSource \"spotlight\" 2\nAreaLightSource \"arealight\" 3\n"
                   "Illuminate 2 0\nObjectBegin 1\nObjectEnd\nObjectInstance 1\n");
    EXPECT_EQ(a, reinterpret_cast<RtLightHandle>(1));
    EXPECT_EQ(c, reinterpret_cast<RtLightHandle>(3));
    EXPECT_EQ(o, reinterpret_cast<RtObjectHandle>(1));
    EXPECT_EQ(written([&] { a = RiLightSource("pointlight", RI_NULL); }), "LightSource \"pointlight\" 1\n");
}

TEST(RiboutContext, ContextsSwitchByName)
{
    velktest::TempDir dir;
    std::string a = dir.path() + "/a.rib", b = dir.path() + "/b.rib";
    RiBegin(a.c_str());
    RiBegin(b.c_str());
    RiSphere(2, -2, 2, 360, RI_NULL);
    EXPECT_STREQ(ribout_context(a.c_str()), b.c_str());
    RiSphere(1, -1, 1, 360, RI_NULL);
    EXPECT_EQ(ribout_context("nowhere"), nullptr);
    RiEnd();
    // Nothing is current after the end: requests go nowhere and answer no handles.
    RiSphere(3, -3, 3, 360, RI_NULL);
    EXPECT_EQ(RiLightSource("pointlight", RI_NULL), nullptr);
    EXPECT_EQ(ribout_context(a.c_str()), nullptr);
    RiContext(const_cast<char *>(b.c_str()));
    EXPECT_STREQ(static_cast<const char *>(RiGetContext()), b.c_str());
    RiEnd();
    std::string ta = dir.read(a), tb = dir.read(b);
    EXPECT_NE(ta.find("\nSphere 1 -1 1 360\n\n"), std::string::npos);
    EXPECT_EQ(ta.find("Sphere 2"), std::string::npos);
    EXPECT_NE(tb.find("\nSphere 2 -2 2 360\n\n"), std::string::npos);
    EXPECT_EQ(tb.find("Sphere 3"), std::string::npos);
}

TEST(RiboutContext, DeclarationsDecideTheValues)
{
    RtFloat v[6] = {1, 2, 3, 4, 5, 6};
    testing::internal::CaptureStderr();
    std::string out = written([&] {
        RiSurface("s", "nosuch", v, "Ks", v, RI_NULL);
        RiDeclare("q", "varying flaot");
        RiSurface("s", "q", v, RI_NULL);
        RiDeclare("q", "float[2]");
        RiDeclare("q", "color");
        RiSurface("s", "q", v, "uniform float[2] w", v, "vertex", v, RI_NULL);
    });
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "Surface \"s\" \"Ks\" [1]\n"
                   "Declare \"q\" \"varying flaot\"\n"
                   "Surface \"s\"\n"
                   "Declare \"q\" \"float[2]\"\nDeclare \"q\" \"color\"\n"
                   "Surface \"s\" \"q\" [1 2 3] \"uniform float[2] w\" [1 2]\n");
    EXPECT_EQ(err, "libribout error: undeclared parameter \"nosuch\"\n"
                   "libribout error: unknown type \"flaot\" for token \"q\"\n"
                   "libribout error: undeclared parameter \"q\"\n"
                   "libribout error: undeclared parameter \"vertex\"\n");
    EXPECT_EQ(RiDeclare("plain", nullptr), RiDeclare("plain", ""));
}

TEST(RiboutContext, RequestsThatCannotBeWrittenAreLeftOut)
{
    RtFloat p[48] = {};
    RtBound b = {0, 1, 0, 1, 0, 1};
    auto own_filter = [](RtFloat, RtFloat, RtFloat, RtFloat) -> RtFloat { return 1; };
    auto own_proc = [](RtPointer, RtFloat) {};
    testing::internal::CaptureStderr();
    std::string out = written([&] {
        RiPatchMesh("trilinear", 4, "nonperiodic", 4, "nonperiodic", "P", p, RI_NULL);
        RiPixelFilter(own_filter, 1, 1);
        RiProcedural(p, b, own_proc, nullptr);
        // Zero basis steps count as 1 rather than divide by zero.
        RiBasis(RiBezierBasis, 0, RiBezierBasis, 0);
        RiPatchMesh("bicubic", 4, "periodic", 4, "periodic", RI_NULL);
    });
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "Basis \"bezier\" 0 \"bezier\" 0\nPatchMesh \"bicubic\" 4 \"periodic\" 4 \"periodic\"\n");
    EXPECT_EQ(err, "ribout: unknown patch type trilinear\n"
                   "libribout error: unknown filter function for PixelFilter\n"
                   "libribout error: procedural type\n");
}

TEST(RiboutContext, PipesAndFailuresToOpen)
{
    velktest::TempDir dir;
    std::string path = dir.path() + "/piped.rib";
    std::string command = "|cat > '" + path + "'";
    RiBegin(command.c_str());
    RiWorldBegin();
    RiEnd();
    std::string text = dir.read(path);
    EXPECT_TRUE(starts_with(text, "##RenderMan RIB-Structure 1.0\n"));
    EXPECT_EQ(text.substr(text.size() - 12), "WorldBegin\n\n");

    // A file takes its place at RiEnd: a program that ends before leaves the old one as it was.
    const std::string kept = dir.write("kept.rib", "old");
    EXPECT_EXIT((RiBegin(kept.c_str()), RiWorldBegin(), std::exit(3)), testing::ExitedWithCode(3), "");
    EXPECT_EQ(dir.read(kept), "old");
    EXPECT_EQ(velktest::run({"/bin/ls", "-A", dir.path()}).out, "kept.rib\npiped.rib\n");
    RiBegin(kept.c_str());
    RiWorldBegin();
    EXPECT_EQ(dir.read(kept), "old");
    RiEnd();
    EXPECT_EQ(dir.read(kept), text);

    // Failures are the program's to handle: reported through the error
    // handler and RiLastError, and the calls return.
    testing::internal::CaptureStderr();
    RiLastError = 0;
    RiBegin("/no/such/directory/x.rib");
    EXPECT_EQ(RiLastError, RIE_NOFILE);
    RiSphere(1, -1, 1, 360, RI_NULL);
    RiEnd();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "RI error 3: Error making RIB file \"/no/such/directory/x.rib\": No such file or directory\n");
    // Nor does the RIB take the place of a file being read.
    std::FILE *reading = std::fopen(kept.c_str(), "r");
    ASSERT_NE(reading, nullptr);
    const std::string same = dir.path() + "/./kept.rib";
    testing::internal::CaptureStderr();
    RiLastError = 0;
    RiBegin(same.c_str());
    EXPECT_EQ(RiLastError, RIE_CONSISTENCY);
    RiWorldBegin();
    RiEnd();
    std::fclose(reading);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "RI error 43: Error making RIB file \"" + same + "\": it is a file being read\n");
    EXPECT_EQ(dir.read(kept), text);
    // A file that cannot be written in full (files limited to 200 bytes) is
    // reported at RiEnd, and the old one stays.
    auto write_beyond_the_limit = [&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {200, 200};
        setrlimit(RLIMIT_FSIZE, &limit);
        RiLastError = 0;
        RiBegin(kept.c_str());
        for (int i = 0; i < 100; ++i) RiSphere(1, -1, 1, 360, RI_NULL);
        RiEnd();
        std::exit(RiLastError);
    };
    EXPECT_EXIT(write_beyond_the_limit(),
        testing::ExitedWithCode(RIE_SYSTEM), "Error writing RIB file .*kept.rib");
    EXPECT_EQ(dir.read(kept), text);
    // A pipe command that cannot start or that fails is reported at the end.
    const struct {
        const char *name, *message;
    } pipes[] = {
        {"|/no/such/program -x", "RI error 2: Error opening pipe to /no/such/program -x\n"},
        {"|cat > /no/such/directory/x.rib",
         "RI error 2: Error writing RIB to pipe cat > /no/such/directory/x.rib: the command ended with status 2\n"},
    };
    for (const auto &p : pipes) {
        RiLastError = 0;
        testing::internal::CaptureStderr();
        RiBegin(p.name);
        RiWorldBegin();
        RiEnd();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(RiLastError, RIE_SYSTEM) << p.name;
        EXPECT_NE(err.find(p.message), std::string::npos) << err;
    }
    // The handler the program chose is the one called.
    RiErrorHandler(RiErrorIgnore);
    testing::internal::CaptureStderr();
    RiLastError = 0;
    RiBegin("/no/such/directory/x.rib");
    RiEnd();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(RiLastError, RIE_NOFILE);
    RiErrorHandler(RiErrorPrint);
    // The abort handler ends the run, not the program: the later calls do
    // nothing, and the program returns with the code in RiLastError.
    auto abort_on_failure = [&] {
        RiErrorHandler(RiErrorAbort);
        RiBegin("/no/such/directory/x.rib");
        RiBegin(kept.c_str());
        RiWorldBegin();
        RiEnd();
        std::exit(ri_run_end_status() == 1 && RiLastError == RIE_NOFILE ? 5 : 6);
    };
    EXPECT_EXIT(abort_on_failure(), testing::ExitedWithCode(5), "RI error 3: Error making RIB file");
    EXPECT_EQ(dir.read(kept), text);
}
