// The murn program end to end: command line, preprocessor, messages, exit
// status and the files it leaves.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "compiler/preprocess.h"
#include "tests/compiler/compile_support.h"
#include "tests/support/run_program.h"

using velktest::RunOptions;
using velktest::RunResult;
using velktest::TempDir;

namespace {

const char USAGE[] =
    "murn - Shading Language Compiler\n"
    "Ostrane Rendering Tools 2.5.0.7 intelnt (Adheres to the RenderMan Standard)\n"
    "\n"
    "Usage: murn [options] file.sl\n"
    "   options:\n"
    "         -Ipath       Specify a path for #include files\n"
    "         -Dsym[=val]  Specify preprocessor symbol definition\n"
    "         -o name      Specify alternative output filename\n"
    "         -q           Quiet mode (minimal terminal output)\n"
    "         -v           Verbose mode (more than usual terminal output\n"
    "         -x           Encrypt the .murn file (doesn't work with -dso)\n"
    "         -arch        Print out the platform architecture code\n"
    "\n";

const char PLASTIC[] = "surface plastic(float Ks = .5) { }\n";
const char PLASTIC_MURN[] =
    "version VELK 2.5.0g\nsurface plastic\nparam\tfloat\tKs\t\t0.5\ncode\n\treturn_area\n\treturn\n";

RunResult run_murn(const TempDir &dir, std::vector<std::string> args)
{
    args.insert(args.begin(), velktest::program("murn"));
    RunOptions options;
    options.cwd = dir.path();
    options.timeout_seconds = 60;
    return velktest::run(args, options);
}

} // namespace

TEST(Murn, CommandLineWithoutACompilation)
{
    TempDir dir;
    RunResult r = run_murn(dir, {"-arch"});
    EXPECT_EQ(r.out, "intelnt\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    r = run_murn(dir, {});
    EXPECT_EQ(r.err, USAGE);
    EXPECT_EQ(r.status, 255);
    r = run_murn(dir, {"-q", "-help"});
    EXPECT_EQ(r.err, USAGE);
    EXPECT_EQ(r.status, 0);
    r = run_murn(dir, {"nope.sl"});
    EXPECT_EQ(r.err, "murn error: File \"nope.sl\" not found.\n");
    EXPECT_EQ(r.status, 255);
}

TEST(Murn, CompilesWithProgressMessages)
{
    TempDir dir;
    dir.write("plastic.sl", PLASTIC);
    RunResult r = run_murn(dir, {"plastic.sl"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Compiling plastic\n...compiled plastic.murn\n");
    EXPECT_EQ(dir.read("plastic.murn"), PLASTIC_MURN);

    r = run_murn(dir, {"-q", "-g", "-O2", "-o", "other.murn", "plastic.sl"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("other.murn"), PLASTIC_MURN);

    // The compiled shader goes to the current folder, not beside the source.
    mkdir((dir.path() + "/src").c_str(), 0755);
    dir.write("src/lamp.sl", "light lamp() { }\n");
    r = run_murn(dir, {"-q", "src/lamp.sl"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(dir.exists("lamp.murn"));
    EXPECT_FALSE(dir.exists("src/lamp.murn"));

    r = run_murn(dir, {"-v", "-dso", "plastic.sl"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "murn: the -dso flag is not supported on intelnt\n"
                     "Compiling plastic\n...compiled plastic.murn\n");
    EXPECT_EQ(dir.read("plastic.murn"), PLASTIC_MURN);
}

TEST(Murn, EncryptionSwitches)
{
    TempDir dir;
    dir.write("plastic.sl", PLASTIC);
    RunResult r = run_murn(dir, {"-q", "-crypt", "plastic.sl"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string file = dir.read("plastic.murn");
    const std::string head = "version VELK 2.5.0g\nencrypted\n";
    ASSERT_EQ(file.compare(0, head.size(), head), 0);
    const unsigned char expected[16] = {0x47, 0x2e, 0x31, 0x9c, 0x09, 0xed, 0x13, 0xd3,
                                        0x81, 0x33, 0x44, 0x15, 0x7a, 0xa2, 0x37, 0xa1};
    EXPECT_EQ(file.substr(head.size(), 16), std::string(expected, expected + 16));
    murntest::FormatCheck check = murntest::check_format(file);
    EXPECT_TRUE(check.problems.empty());
    EXPECT_EQ(check.name, "plastic");
    // "-x" goes to the preprocessor in the usage's name only; the file stays plain.
    r = run_murn(dir, {"-q", "-x", "plastic.sl"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("plastic.murn"), PLASTIC_MURN);
}

TEST(Murn, PreprocessorOptionsIncludesAndLineNumbers)
{
    TempDir dir;
    ASSERT_EQ(std::system(("mkdir -p " + dir.path() + "/inc").c_str()), 0);
    dir.write("inc/colors.h", "#define RED color(1, 0, 0)\n\nfloat bad = ;\n");
    dir.write("ok.sl", "#ifdef FOO\n#include \"colors.h\"\n#endif\n#pragma nothing\n"
                       "surface s(float k = PI) {\n#ifdef VELK\n Ci = k;\n#endif\n"
                       "#ifdef linux\n syntax error here\n#endif\n}\n");
    RunResult r = run_murn(dir, {"-q", "-Iinc", "ok.sl"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(dir.read("s.murn").find("param\tfloat\tk\t\t3.1415927\n"), std::string::npos);
    // An error in an included file names that file; one after it the source line.
    r = run_murn(dir, {"-q", "-Iinc", "-DFOO", "ok.sl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "murn Error: \"inc/colors.h\", line 3: parse error\n");
    dir.write("late.sl", "#include \"colors.h\"\n#pragma nothing\n\nsurface s() {\n  Ci = RED;\n"
                         "  Ci = undefined;\n}\n");
    dir.write("inc/colors.h", "#define RED color(1, 0, 0)\n");
    r = run_murn(dir, {"-q", "-Iinc", "late.sl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "murn Error: \"late.sl\", line 6: unknown identifier undefined\n");
    // #error stops the compilation.
    dir.write("err.sl", "#error stop here\nsurface s() { }\n");
    r = run_murn(dir, {"-q", "-o", "err.murn", "err.sl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("stop here"), std::string::npos);
    EXPECT_FALSE(dir.exists("err.murn"));
}

TEST(Murn, FailuresLeaveNoFile)
{
    TempDir dir;
    dir.write("funcs.sl", "float f(float x) { return x; }\n");
    RunResult r = run_murn(dir, {"-q", "-o", "f.murn", "funcs.sl"});
    EXPECT_EQ(r.err, "No code generated\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(dir.exists("f.murn"));

    // A file murn did not write is never removed nor touched.
    dir.write("old.murn", "stale");
    dir.write("bad.sl", "surface s() { float x = \"a\"; }\n");
    r = run_murn(dir, {"-q", "-o", "old.murn", "bad.sl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("old.murn"), "stale");
    // Nor is the source, by any name.
    dir.write("plastic.sl", PLASTIC);
    ASSERT_EQ(link((dir.path() + "/plastic.sl").c_str(), (dir.path() + "/other.sl").c_str()), 0);
    for (const char *out : {"other.sl", "./plastic.sl"}) {
        r = run_murn(dir, {"-q", "-o", out, "plastic.sl"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, std::string("murn error: The output \"") + out +
                             "\" is the source file \"plastic.sl\".\nNo code generated\n");
        EXPECT_EQ(dir.read("plastic.sl"), PLASTIC);
    }
    // Nor a file the source includes.
    mkdir((dir.path() + "/inc").c_str(), 0755);
    dir.write("inc/shade.h", "#define SHADE 1\n");
    dir.write("uses.sl", "#include \"shade.h\"\nsurface u() { Ci = SHADE; }\n");
    r = run_murn(dir, {"-q", "-Iinc", "-o", "inc/./shade.h", "uses.sl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "murn error: The output \"inc/./shade.h\" is the source file \"inc/shade.h\".\nNo code generated\n");
    EXPECT_EQ(dir.read("inc/shade.h"), "#define SHADE 1\n");
    std::string fifo = dir.path() + "/pipe.murn";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    r = run_murn(dir, {"-q", "-o", "pipe.murn", "bad.sl"});
    EXPECT_EQ(r.status, 1);
    struct stat st;
    EXPECT_TRUE(stat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));

    dir.write("break.sl", "surface s() { break; }\n");
    r = run_murn(dir, {"-q", "break.sl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "murn Error: \"break.sl\", line 1: bad break/continue statement \n");
    EXPECT_FALSE(dir.exists("s.murn"));

    dir.write("two.sl", "surface a() { }\nsurface b() { }\n");
    r = run_murn(dir, {"two.sl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Compiling a\nmurn: Only one shader may be defined per file\n");

    // A syntax error early in a long source: the preprocessor still writing
    // is not waited for with the pipe full.
    std::string big = "surface s() { float x = ; }\n";
    for (int i = 0; i < 20000; i++)
        big += "float v" + std::to_string(i) + "(float a) { return a * 2 + 1; }\n";
    dir.write("big.sl", big);
    r = run_murn(dir, {"-q", "big.sl"});
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1);
    // (The preprocessor may complain of the pipe closed behind it.)
    EXPECT_EQ(r.err.rfind("murn Error: \"big.sl\", line 1: parse error\n", 0), 0u) << r.err;
}

TEST(Murn, HugeExpressionsAndExpansionsAreRefusedWithTheirLine)
{
    TempDir dir;
    std::string flat = "surface flat() {\n float y = 1;\n float x = y";
    for (int i = 1; i < 160000; i++)
        flat += " + y";
    dir.write("flat.sl", flat + ";\n Ci = x;\n}\n");
    RunResult r = run_murn(dir, {"-q", "flat.sl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.signal, 0);
    EXPECT_NE(r.err.find("\"flat.sl\", line 3: Expression or statement nested too deeply"), std::string::npos)
        << r.err;
    EXPECT_FALSE(dir.exists("flat.murn"));

    // Each function calls the one before twice: 2^22 inline copies.
    std::string expo = "float f0(float x) { return x + 1; }\n";
    for (int i = 1; i <= 22; i++)
        expo += "float f" + std::to_string(i) + "(float x) { return f" + std::to_string(i - 1) + "(x) + f" +
                std::to_string(i - 1) + "(x * 2); }\n";
    dir.write("expo.sl", expo + "surface expo() {\n Ci = f22(s);\n}\n");
    r = run_murn(dir, {"-q", "expo.sl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("shader too large after inlining function calls"), std::string::npos) << r.err;
    EXPECT_FALSE(dir.exists("expo.murn"));
}

TEST(Murn, LongSourcesAndLiteralsCompileInLinearTime)
{
    // Before, each statement walked the list so far and the scanner rescanned a
    // long literal after every read: minutes for these.
    TempDir dir;
    std::string many = "surface many() {\n float x = 0;\n";
    for (int i = 0; i < 400000; i++)
        many += " x = x + 1;\n";
    dir.write("many.sl", many + " Ci = x;\n}\n");
    RunResult r = run_murn(dir, {"-q", "many.sl"});
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
    std::string code = dir.read("many.murn");
    size_t adds = 0;
    for (size_t at = 0; (at = code.find("\taddF\t", at)) != std::string::npos; at++)
        adds++;
    EXPECT_EQ(adds, 400000u);

    std::string text(16 << 20, 'a');
    dir.write("lit.sl", "surface lit() {\n printf(\"%s\\n\", \"" + text + "\");\n}\n");
    r = run_murn(dir, {"-q", "lit.sl"});
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(dir.read("lit.murn").find("\"" + text + "\"\n"), std::string::npos);
}

TEST(Murn, TheLanguagesRulesAreRefusedWithFileLineAndRule)
{
    TempDir dir;
    const struct {
        const char *name, *source, *message;
    } cases[] = {
        {"lit", "surface lit() {\n illuminate(P) { Ci = 1; }\n}\n",
         "\"lit.sl\", line 2: illuminate is allowed only in light shaders, not in a surface shader "},
        {"sol", "float f() { solar() { } return 1; }\nvolume sol() {\n float x = f();\n}\n",
         "\"sol.sl\", line 1: solar is allowed only in light shaders, not in a volume shader "},
        {"bumps", "displacement bumps() {\n color c = 0;\n illuminance(P) { c += Cl; }\n}\n",
         "\"bumps.sl\", line 3: illuminance is allowed only in surface, volume and light shaders, "
         "not in a displacement shader "},
        {"lamp", "light lamp() {\n Cl = 1;\n Ci = 1;\n}\n",
         "\"lamp.sl\", line 3: Ci cannot be assigned in a light shader: a light sets Cl and Ol "},
        {"us", "surface us() {\n uniform float us = s * 2;\n Ci = us;\n}\n",
         "\"us.sl\", line 2: a variable declared uniform cannot take a varying value: us"},
        {"tab", "surface tab() {\n float t[4] = {1, 2, 3, 4}, x = t[3];\n x = t[2 * 2 - 5];\n}\n",
         "\"tab.sl\", line 3: array index -1 is outside the 4 elements (0 to 3) of t"},
        {"tab2", "surface tab2() {\n float t[4];\n t[9] = 1;\n}\n",
         "\"tab2.sl\", line 3: array index 9 is outside the 4 elements (0 to 3) of t"},
        {"sx", "surface sx() {\n float f = 1;\n setxcomp(f, 1);\n}\n",
         "\"sx.sl\", line 3: argument 1 to setxcomp must be a point, vector or normal, not a float "},
        {"sy", "surface sy() {\n setycomp(P, \"a\");\n}\n",
         "\"sy.sl\", line 2: argument 2 to setycomp must be a float, not a string "},
        {"via", "surface via(float k = 1) {\n float a = k, b = Du(a);\n uniform float c = 1;\n"
                " c += a;\n c = b;\n}\n",
         "\"via.sl\", line 5: a variable declared uniform cannot take a varying value: c"},
    };
    for (const auto &c : cases) {
        dir.write(std::string(c.name) + ".sl", c.source);
        RunResult r = run_murn(dir, {"-q", std::string(c.name) + ".sl"});
        EXPECT_EQ(r.status, 1) << c.name;
        // (A message without a name ends in a blank.)
        EXPECT_EQ(r.err, std::string("murn Error: ") + c.message + "\n");
        EXPECT_FALSE(dir.exists(std::string(c.name) + ".murn"));
    }
    // Uniform from uniform values stays legal, in a light as anywhere.
    dir.write("ok.sl", "light ok(float intensity = 1; point from = 0, to = (0, 0, 1)) {\n"
                       " uniform vector axis = normalize(to - from);\n"
                       " uniform float k = intensity * 2 + time, n = ncomps;\n"
                       " k += length(axis);\n"
                       " illuminate(from, axis, 1) { Cl = k * n; }\n}\n");
    RunResult r = run_murn(dir, {"-q", "ok.sl"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

TEST(Murn, DebugLinesQuoteTheSource)
{
    TempDir dir;
    dir.write("d.sl", "surface s() {\n  float x = 1;\n\n  x += 2;\n}\n");
    RunResult r = run_murn(dir, {"-q", "-d", "d.sl"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string file = dir.read("s.murn");
    EXPECT_NE(file.find("code\n# \"d.sl\", line 5\n#}\n\treturn_area\n"
                        "# \"d.sl\", line 2\n#  float x = 1;\n\tpushif\t1 \n\tpopf\tx \n"
                        "# \"d.sl\", line 4\n#  x += 2;\n\tpushif\t2 \n\taddF\tx \n\tpopf\tx \n"
                        "# \"d.sl\", line 5\n#}\n\treturn\n"),
              std::string::npos)
        << file;
    EXPECT_TRUE(murntest::check_format(file).problems.empty());
}

TEST(Murn, ShadeopsAreSearchedInTheIncludeDirectories)
{
    TempDir dir;
    ASSERT_EQ(std::system(("mkdir -p " + dir.path() + "/a " + dir.path() + "/b").c_str()), 0);
    dir.write("b/ops.so", dir.read(VELK_TEST_SHADEOP));
    dir.write("b/notalib.so", "not a library");
    dir.write("x.sl", "surface s() { float y = sqr(u); }\n");
    RunResult r = run_murn(dir, {"-q", "-Ia", "-Ib", "-DFOO", "x.sl"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string file = dir.read("s.murn");
    EXPECT_NE(file.find("\tdsoop\t1\tu \n"), std::string::npos) << file;
    EXPECT_NE(file.find("\"ops.so\""), std::string::npos);
    r = run_murn(dir, {"-q", "-Ia", "x.sl"});
    EXPECT_EQ(r.err, "murn Error: \"x.sl\", line 1: unknown function sqr\n");
}

TEST(Murn, AnInterruptRemovesTheOutputAndExits1)
{
    TempDir dir;
    std::string fifo = dir.path() + "/slow.h";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    dir.write("x.sl", "#include \"slow.h\"\nsurface s() { }\n");
    dir.write("out.murn", "old");
    std::string murn_path = velktest::program("murn");
    std::string err_path = dir.path() + "/err.txt";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (chdir(dir.path().c_str()) != 0)
            _exit(99);
        int fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        execl(murn_path.c_str(), "murn", "-q", "-o", "out.murn", "x.sl", (char *)nullptr);
        _exit(98);
    }
    // The preprocessor opening the include means murn is reading its pipe.
    int fd = -1;
    for (time_t end = time(nullptr) + 60; fd < 0 && time(nullptr) < end;) {
        fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd < 0)
            usleep(10000);
    }
    ASSERT_GE(fd, 0);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fd);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(dir.read("err.txt"), "*** Compilation interrupted.  Aborting.\n");
    EXPECT_EQ(dir.read("out.murn"), "old");   // not written by this run: kept
}

TEST(Murn, PreprocessorCommand)
{
    EXPECT_EQ(murn::preprocessor_argv("/lib/cpp", {"-Ia", "-Ib", "-x", "-DFOO"}, "x.sl"),
              (std::vector<std::string>{"/lib/cpp", "-undef", "-I.", "-DPI=3.14159265", "-DVELK",
                                        "-Ia", "-Ib", "-DFOO", "x.sl"}));
    EXPECT_EQ(murn::preprocessor_argv("cpp", {}, "a b.sl"),
              (std::vector<std::string>{"cpp", "-undef", "-I.", "-DPI=3.14159265", "-DVELK",
                                        "a b.sl"}));
}

TEST(Murn, AnOutputThatCannotBeOpenedIsAFailure)
{
    TempDir dir;
    dir.write("plastic.sl", PLASTIC);
    RunResult r = run_murn(dir, {"-o", "nodir/p.murn", "plastic.sl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Compiling plastic\nmurn error: Could not open file \"nodir/p.murn\".\n"
                     "No code generated\n");
}
