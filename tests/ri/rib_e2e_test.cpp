// raylume end to end: start-up, command line, rc file and RIB reading, checked
// by exact standard output, standard error and exit status.
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <zlib.h>

#include "tests/support/run_program.h"

namespace {

using velktest::RunOptions;
using velktest::RunResult;
using velktest::TempDir;

// Runs raylume in dir with a HOME of its own (no rc file unless written there).
RunResult raylume(const TempDir &dir, std::vector<std::string> args, const std::string &input = "",
                  RunOptions opts = RunOptions()) {
    args.insert(args.begin(), velktest::program("raylume"));
    opts.input = input;
    opts.cwd = dir.path();
    opts.timeout_seconds = 60;
    if (!opts.env.count("HOME")) opts.env["HOME"] = dir.path();
    if (!opts.env.count("VELKHOME")) opts.env["VELKHOME"] = "";
    return velktest::run(args, opts);
}

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

std::string gzipped(const std::string &bytes) {
    TempDir dir;
    std::string path = dir.path() + "/z.gz";
    gzFile f = gzopen(path.c_str(), "wb");
    gzwrite(f, bytes.data(), static_cast<unsigned>(bytes.size()));
    gzclose(f);
    return dir.read("z.gz");
}

const char USAGE[] =
    "\n"
    "raylume - Ray tracing / radiosity renderer for RIB files\n"
    "Ostrane Rendering Tools 2.5.0.7 intelnt (Adheres to the RenderMan Standard)\n";
const char USAGE_OPTIONS[] =
    "Usage: raylume [options] file1 ... fileN\n"
    "  options:  -res x y          Specify image resolution (if not in RIB)\n"
    "\t    -samples x y      Specify pixel sampling rate (if not in RIB)\n"
    "\t    -var v min max    Specify pixel sampling variance\n"
    "\t    -frames f1 f2     Specify frame interval\n"
    "\t    -radio n          Perform radiosity calculation with n steps\n"
    "\t    -crop x1 x2 y1 y2 Set the crop window (screen space units)\n"
    "\t    -safe             Safety of existing files (no overwrite)\n"
    "\t    -d [interlace]    Display override - show in framebuffer\n"
    "\t    -pos x y          Specify image position (for framebuffer display)\n"
    "\t    -v                Verbose mode\n"
    "\t    -stats            Display rendering statistics\n"
    "\t    -silent           Display only error messages\n"
    "\t    -rayserver        Act as a ray server\n"
    "\t    -beep             Ring the terminal bell when finished\n"
    "\t    -arch             Print out the platform architecture code\n"
    "\n";

TEST(RaylumeCommandLine, ArchAndUsage) {
    TempDir dir;
    RunResult r = raylume(dir, {"-arch"});
    EXPECT_EQ(r.out, "intelnt\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    for (const char *h : {"-h", "-help", "-"}) {
        r = raylume(dir, {h, "never-read.rib"});
        EXPECT_EQ(r.status, 0) << h;
        EXPECT_EQ(r.err, "") << h;
        ASSERT_EQ(r.out.substr(0, std::strlen(USAGE)), USAGE) << h;
        ASSERT_GE(r.out.size(), std::strlen(USAGE_OPTIONS));
        EXPECT_EQ(r.out.substr(r.out.size() - std::strlen(USAGE_OPTIONS)), USAGE_OPTIONS) << h;
    }
}

TEST(RaylumeCommandLine, MissingFilesAndLateOptions) {
    TempDir dir;
    RunResult r = raylume(dir, {"nosuch.rib"});
    EXPECT_EQ(r.err, "ERROR: File not found\n    --> nosuch.rib\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);
    // An option after the first file name is a file name too; the files after
    // a missing one are still read, and the run fails.
    dir.write("e.rib", "");
    dir.write("s.rib", "Spheer\n");
    r = raylume(dir, {"e.rib", "-v", "s.rib"});
    EXPECT_EQ(r.err, "ERROR: File not found\n    --> -v\nERROR: s.rib (1): Syntax error\n"
                     "    --> \"Spheer\" is not a valid RenderMan 3.1 RIB request\n");
    EXPECT_EQ(r.status, 1);
    r = raylume(dir, {"e.rib"});
    EXPECT_EQ(r.status, 0);
    // A folder is not a file to read.
    r = raylume(dir, {"."});
    EXPECT_EQ(r.err, "ERROR: File not found\n    --> . is a folder\n");
    EXPECT_EQ(r.status, 1);
    // An unknown option before the files is refused, unless it names a file.
    r = raylume(dir, {"-bogus", "e.rib"});
    EXPECT_EQ(r.err, "ERROR: Invalid token\n    --> Unknown option -bogus (-h lists the options)\n");
    EXPECT_EQ(r.status, 1);
    dir.write("-e.rib", "");
    r = raylume(dir, {"-e.rib"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    // "-d" takes a following number only: a file name stays a file.
    r = raylume(dir, {"-d", "scene.rib"});
    EXPECT_EQ(r.err, "ERROR: File not found\n    --> scene.rib\n");
    r = raylume(dir, {"-d", "5", "e.rib"});
    EXPECT_EQ(r.err, "");
    // File names are never formats.
    r = raylume(dir, {"%s%n%d.rib"});
    EXPECT_EQ(r.err, "ERROR: File not found\n    --> %s%n%d.rib\n");
}

TEST(RaylumeCommandLine, VerbosityControlsReports) {
    TempDir dir;
    RunResult r = raylume(dir, {"-silent", "nosuch.rib"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 1);
    // At verbose level a file is announced and long files show their progress.
    std::string rib;
    for (int i = 0; i < 25000; i++) rib += "version 3.03\n";
    dir.write("long.rib", rib);
    r = raylume(dir, {"-v", "long.rib"});
    std::string expected = "[long.rib]\n";
    for (int n : {2000, 4000, 6000, 8000, 10000, 20000}) expected += "\rRead line [" + std::to_string(n) + "] ";
    EXPECT_EQ(r.err, expected);
    EXPECT_EQ(r.status, 0);
    // The rc file's settings hold before the command line: silence there, then
    // a missing file on the command line is not reported.
    dir.write(".raylumerc", "Option \"runtime\" \"verbosity\" \"silent\"\n");
    r = raylume(dir, {"nosuch.rib"});
    EXPECT_EQ(r.err, "");
}

TEST(RaylumeCommandLine, MissingOperandsAreReported) {
    TempDir dir;
    RunResult r = raylume(dir, {"-res", "64"});
    EXPECT_EQ(r.err, "ERROR: Required parameters not provided\n    --> Option -res takes 2 operands\n");
    EXPECT_EQ(r.status, 1);
    r = raylume(dir, {"-samples", "2", "2", "-of"});
    EXPECT_EQ(r.err, "ERROR: Required parameters not provided\n    --> Option -of takes 1 operand\n");
    EXPECT_EQ(r.status, 1);
    r = raylume(dir, {"-crop", "0", "1", "0"});
    EXPECT_EQ(r.status, 1);
}

TEST(RaylumeRcFile, ReadFromHomeUnlessVelkhomeIsSet) {
    TempDir home, velkhome, work;
    home.write(".raylumerc", "Spheer\n");
    RunOptions opts;
    opts.env["HOME"] = home.path();
    RunResult r = raylume(work, {}, "", opts);
    EXPECT_EQ(r.err, "ERROR: " + home.path() + "/.raylumerc (1): Syntax error\n"
                     "    --> \"Spheer\" is not a valid RenderMan 3.1 RIB request\n");
    EXPECT_EQ(r.status, 0);
    // VELKHOME without an rc file: HOME is not read, and the missing file is silent.
    opts.env["VELKHOME"] = velkhome.path();
    r = raylume(work, {}, "", opts);
    EXPECT_EQ(r.err, "");
    velkhome.write(".raylumerc", "\n\nBadRequest\n");
    r = raylume(work, {}, "", opts);
    EXPECT_EQ(r.err, "ERROR: " + velkhome.path() + "/.raylumerc (3): Syntax error\n"
                     "    --> \"BadRequest\" is not a valid RenderMan 3.1 RIB request\n");
}

TEST(RaylumeRib, RequestErrorsFromStandardInput) {
    TempDir dir;
    RunResult r = raylume(dir, {}, "Spheer 1 -1 1 360\nSphere 1 -1 1 \"P\" [0 0 0]\nCone 1 1\n"
                                   "WorldBegin Cone 1 1 1 WorldEnd\n");
    EXPECT_EQ(r.err,
              "ERROR: stdin (1): Syntax error\n    --> \"Spheer\" is not a valid RenderMan 3.1 RIB request\n"
              "ERROR: stdin (2): Syntax error\n    --> Number expected\n"
              "ERROR: stdin (2): Required parameters not provided\n    --> Bad arguments to Sphere\n"
              "ERROR: stdin (2): Syntax error\n    --> RIB token unknown: \"P\"\n"
              "ERROR: stdin (4): Syntax error\n    --> Number expected\n"
              "ERROR: stdin (3): Required parameters not provided\n    --> Bad arguments to Cone\n");
    // The world is rendered all the same.
    EXPECT_NE(r.out.find("Done computing image."), std::string::npos);
    EXPECT_EQ(r.status, 0);
    // A structure comment between a request and its arguments is a comment;
    // between requests it is still read as one.
    r = raylume(dir, {"-silent"},
                "Format 1 1 1\nDisplay \"d\" \"floatdump\" \"rgb\"\nQuantize \"rgba\" 0 0 0 0\n"
                "PixelFilter \"box\" 1 1\nWorldBegin\nColor\n##Shaders constant\n[1 0 0]\nSurface\n"
                "##Include \"x.rib\"\n\"constant\"\nSphere\n##CameraOrientation 1 2 3\n5 -5 5\n##BoundingBox\n360\n"
                "WorldEnd\n##Include 5\n");
    EXPECT_EQ(r.err, "ERROR: stdin (18): Syntax error\n    --> Quoted string expected\n");
    EXPECT_EQ(r.out, "1 1 rgb\n1 0 0 \n");
}

TEST(RaylumeRib, UnterminatedItemsAndRealFFBytes) {
    TempDir dir;
    RunResult r = raylume(dir, {}, "Surface \"nosuchshader");
    EXPECT_EQ(r.err, "ERROR: stdin (1): Syntax error\n    --> String not terminated before the end of the input\n"
                     "ERROR: stdin (1): Required parameters not provided\n    --> Badly structured Surface\n");
    // Strings span lines; errors name the line where their request starts.
    r = raylume(dir, {}, "Surface \"no\nsuch\" \"Kd\"\n[0.5]\nSphere 1 -1 1 360\n\nSphere 1 -1 1 360 \"Cs\"\n[1 0 0 1 0 0 1 0 0 1 0 0]\n");
    EXPECT_EQ(r.err, "ERROR: stdin (1): Cannot load requested shader\n    --> no\nsuch\n"
                     "WARNING: stdin (4): Invalid state for declaring primitives\n"
                     "WARNING: stdin (6): Invalid state for declaring primitives\n");
    EXPECT_EQ(r.status, 0);
    r = raylume(dir, {}, "# only a comment");
    EXPECT_EQ(r.err, "");
    r = raylume(dir, {}, "Color " + B({0xc8, 0x03, 0x3f, 0x80}));
    EXPECT_EQ(r.err, "ERROR: stdin (1): Syntax error\n    --> Binary RIB protocol botch: input ends inside a value\n"
                     "ERROR: stdin (1): Required parameters not provided\n    --> Badly structured Color\n");
    r = raylume(dir, {}, "\xff\nSpheer\n");
    EXPECT_EQ(r.err, "ERROR: stdin (1): Syntax error\n    --> RIB token, character 255 (octal 377), not understood\n"
                     "ERROR: stdin (2): Syntax error\n    --> \"Spheer\" is not a valid RenderMan 3.1 RIB request\n");
}

TEST(RaylumeRib, BinaryEncodingAndGzip) {
    TempDir dir;
    // 0xcc defines request 1 as "Bad", used through 0xa6; 0xa6 2 is undefined:
    // its arguments (an array, a string, a number and a string id never
    // defined, told as well) are skipped.
    std::string bin = B({0xcc, 0x01, 0x93}) + "Bad" + "\n" + B({0xa6, 0x01}) + "\n" + B({0xa6, 0x02}) +
                      B({0xc8, 0x01, 0, 0, 0, 0, 0x93}) + "abc" + B({0x81, 0x01, 0x00, 0xcf, 0x09}) + "\n" +
                      B({0xcd, 0x07, 0x92}) + "Sx" + "\n" + "Surface " + B({0xcf, 0x07}) + "\n" +
                      "Color " + B({0xc8, 0x02, 0, 0, 0, 0, 0, 0, 0, 0}) + "\n";
    std::string expected =
        "ERROR: t.rib (2): Syntax error\n    --> \"Bad\" is not a valid RenderMan 3.1 RIB request\n"
        "ERROR: t.rib (3): Syntax error\n"
        "    --> Binary RIB protocol botch: request code 2 was never defined; its arguments are skipped\n"
        "ERROR: t.rib (3): Bad handle\n    --> Binary RIB protocol botch: string id 9 was never defined\n"
        "ERROR: t.rib (5): Cannot load requested shader\n    --> Sx\n"
        "ERROR: t.rib (6): Syntax error\n    --> Number expected\n"
        "ERROR: t.rib (6): Required parameters not provided\n    --> Badly structured Color\n";
    dir.write("t.rib", bin);
    RunResult plain = raylume(dir, {"t.rib"});
    EXPECT_EQ(plain.err, expected);
    dir.write("t.rib", gzipped(bin));
    RunResult packed = raylume(dir, {"t.rib"});
    EXPECT_EQ(packed.err, expected);
    EXPECT_EQ(packed.status, plain.status);
    RunResult piped = raylume(dir, {}, gzipped(bin));
    std::string from_stdin = expected;
    for (size_t p; (p = from_stdin.find("t.rib")) != std::string::npos;) from_stdin.replace(p, 5, "stdin");
    EXPECT_EQ(piped.err, from_stdin);
}

TEST(RaylumeRib, FrameFilter) {
    TempDir dir;
    dir.write("f.rib",
              "Before\nFrameBegin 0\nZero\nFrameEnd\nFrameBegin 1\nOne\nFrameEnd\n"
              "FrameBegin 2\nTwo\nFrameEnd\nAfter\n");
    RunResult r = raylume(dir, {"-frames", "1", "1", "f.rib"});
    EXPECT_EQ(r.err, "ERROR: f.rib (1): Syntax error\n    --> \"Before\" is not a valid RenderMan 3.1 RIB request\n"
                     "ERROR: f.rib (6): Syntax error\n    --> \"One\" is not a valid RenderMan 3.1 RIB request\n");
    // Each file numbers its frames from 0; the filter holds for all of them.
    dir.write("g.rib", "FrameBegin 5\nG0\nFrameEnd\nFrameBegin 6\nG1\nFrameEnd\n");
    dir.write("h.rib", "\nFrameBegin 5\nH0\nFrameEnd\nFrameBegin 6\nH1\nFrameEnd\n");
    r = raylume(dir, {"-frames", "1", "1", "g.rib", "h.rib"});
    EXPECT_EQ(r.err, "ERROR: g.rib (5): Syntax error\n    --> \"G1\" is not a valid RenderMan 3.1 RIB request\n"
                     "ERROR: h.rib (6): Syntax error\n    --> \"H1\" is not a valid RenderMan 3.1 RIB request\n");
    r = raylume(dir, {"-frames", "0", "-2", "f.rib"});
    EXPECT_EQ(r.err, "");
    // The frame passed is rendered whatever number the file gives it.
    dir.write("n.rib", "Format 2 2 1\nDisplay \"n.tif\" \"file\" \"rgb\"\n"
                       "FrameBegin 1\nWorldBegin\nWorldEnd\nFrameEnd\n"
                       "FrameBegin 2\nWorldBegin\nWorldEnd\nFrameEnd\n");
    r = raylume(dir, {"-frames", "1", "1", "n.rib"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(dir.exists("n.tif"));
}

TEST(RaylumeRib, ErrorHandlersAndRepeats) {
    TempDir dir;
    RunResult r = raylume(dir, {}, "ErrorHandler \"ignore\"\nSpheer\nErrorHandler \"print\"\nA B\nC\n"
                                   "ErrorHandler \"loud\"\n");
    EXPECT_EQ(r.err, "ERROR: stdin (4): Syntax error\n    --> \"A\" is not a valid RenderMan 3.1 RIB request\n"
                     "ERROR: stdin (5): Syntax error\n    --> \"C\" is not a valid RenderMan 3.1 RIB request\n"
                     "WARNING: stdin (6): Invalid token\n    --> Invalid error handler name\n");
    r = raylume(dir, {}, "ErrorHandler \"abort\"\nSpheer\nSphere\n");
    EXPECT_EQ(r.err, "ERROR: stdin (2): Syntax error\n    --> \"Spheer\" is not a valid RenderMan 3.1 RIB request\n");
    EXPECT_EQ(r.status, 255);
}

TEST(RaylumeRib, ErrorsNameTheObjectBeingDefined) {
    TempDir dir;
    RunResult r = raylume(dir, {}, "Spheer\nWorldBegin\nAttribute \"identifier\" \"name\" \"lamp\"\nSpheer\n"
                                   "AttributeBegin\nAttribute \"identifier\" \"name\" \"bulb\"\nCone 1\nAttributeEnd\n"
                                   "WorldEnd\n");
    EXPECT_EQ(r.err, "ERROR: stdin (1): Syntax error\n    --> \"Spheer\" is not a valid RenderMan 3.1 RIB request\n"
                     "ERROR: stdin (4): Syntax error\n    --> \"Spheer\" is not a valid RenderMan 3.1 RIB request\n"
                     "\t(error encountered in object \"lamp\")\n"
                     "ERROR: stdin (8): Syntax error\n    --> Number expected\n"
                     "\t(error encountered in object \"bulb\")\n"
                     "ERROR: stdin (7): Required parameters not provided\n    --> Bad arguments to Cone\n"
                     "\t(error encountered in object \"bulb\")\n");
    EXPECT_EQ(r.status, 0);
}

TEST(RaylumeRib, ArchivesAreFoundAndTheirNestingCapped) {
    TempDir dir;
    dir.write("inner.rib", "Inner\n");
    dir.write("outer.rib", "ReadArchive \"inner.rib\"\nOuter\nReadArchive \"gone.rib\"\n");
    RunResult r = raylume(dir, {"outer.rib"});
    EXPECT_EQ(r.err, "ERROR: ./inner.rib (1): Syntax error\n    --> \"Inner\" is not a valid RenderMan 3.1 RIB request\n"
                     "ERROR: outer.rib (2): Syntax error\n    --> \"Outer\" is not a valid RenderMan 3.1 RIB request\n"
                     "WARNING: outer.rib (3): File not found\n    --> gone.rib\n");
    dir.write("self.rib", "ReadArchive \"self.rib\"\n");
    r = raylume(dir, {"self.rib"});
    EXPECT_EQ(r.err, "ERROR: ./self.rib (1): Program limit\n    --> ReadArchive nested more than 32 deep: self.rib\n");
    EXPECT_EQ(r.status, 0);
}

TEST(RaylumeRib, PrimitiveCountsAreChecked) {
    TempDir dir;
    RunResult r = raylume(dir, {},
                          "GeneralPolygon [4] \"P\" [0 0 0 1 0 0 1 1 0]\n"
                          "PointsPolygons [3 -1] [0 1 2] \"P\" [0 0 0 1 0 0 1 1 0]\n"
                          "PointsPolygons [3] [0 1 -2] \"P\" [0 0 0 1 0 0 1 1 0]\n"
                          "PatchMesh \"bilinear\" 100000 \"nonperiodic\" 100000 \"nonperiodic\" \"P\" [0 0 0]\n"
                          "Basis \"bezier\" 0 \"bezier\" 3\n"
                          "NuPatch 2 3 [0 0 0 1 1] 0 1 2 2 [0 0 1 1] 0 1 \"P\" [0 0 0]\n"
                          "TrimCurve [1] [2] [0 0 1] [0] [1] [2] [0 1] [0 1] [1 1]\n"
                          "Curves \"cubic\" [3] \"nonperiodic\" \"P\" [0 0 0 1 1 1 2 2 2]\n"
                          "PatchMesh \"bicubic\" 4 \"periodic\" 4 \"nonperiodic\" \"P\" [0 0 0]\n");
    // Errors found after the list has ended carry the line of the request.
    EXPECT_EQ(r.err,
              "ERROR: stdin (1): Syntax error\n    --> vertex length mismatch: P (found 9, expected 12)\n"
              "ERROR: stdin (2): Required parameters not provided\n    --> Bad arguments to PointsPolygons\n"
              "ERROR: stdin (2): Syntax error\n    --> RIB token unknown: \"[\"\n"
              "ERROR: stdin (3): Required parameters not provided\n    --> Bad arguments to PointsPolygons\n"
              "ERROR: stdin (3): Syntax error\n    --> RIB token unknown: \"P\"\n"
              "ERROR: stdin (4): Required parameters not provided\n    --> Bad arguments to PatchMesh\n"
              "ERROR: stdin (4): Syntax error\n    --> RIB token unknown: \"P\"\n"
              "ERROR: stdin (5): Required parameters not provided\n    --> Bad arguments to Basis\n"
              "ERROR: stdin (6): Required parameters not provided\n    --> Bad arguments to NuPatch\n"
              "ERROR: stdin (6): Syntax error\n    --> RIB token unknown: \"[\"\n"
              "ERROR: stdin (7): Required parameters not provided\n    --> Bad arguments to TrimCurve\n"
              "ERROR: stdin (8): Required parameters not provided\n    --> Bad arguments to Curves\n"
              "ERROR: stdin (8): Syntax error\n    --> RIB token unknown: \"P\"\n"
              "ERROR: stdin (9): Syntax error\n    --> vertex length mismatch: P (found 3, expected 48)\n");
}

} // namespace
