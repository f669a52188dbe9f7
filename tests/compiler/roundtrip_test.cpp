// The corpus compiled by murn is loaded and run by raylume: every shader kind
// binds, and no operation the compiler wrote is refused or missing.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/run_program.h"

namespace {

struct CorpusShader {
    const char *file;  // source in the corpus
    const char *name;  // the shader it defines
};

const CorpusShader SHADERS[] = {
    {"builtins", "builtins"}, {"constructs", "constructs"}, {"lights", "lights"},
    {"kinds", "kinds"},       {"volume", "fog"},            {"imager", "background"},
    {"transformation", "twist"}};

// Compiles every corpus shader into dir (plain, or enciphered).
void compile_all(const velktest::TempDir &dir, bool crypt)
{
    for (const CorpusShader &s : SHADERS) {
        std::vector<std::string> argv = {velktest::program("murn"), "-q", "-o",
                                         std::string(s.name) + ".murn"};
        if (crypt)
            argv.push_back("-crypt");
        argv.push_back(std::string(VELK_TEST_CORPUS) + "/" + s.file + ".sl");
        velktest::RunOptions options;
        options.cwd = dir.path();
        velktest::RunResult r = velktest::run(argv, options);
        ASSERT_EQ(r.status, 0) << s.file << "\n" << r.err;
    }
}

std::string scene(const std::string &dir)
{
    return "Option \"searchpath\" \"shader\" [\"" + dir + ":&\"]\n"
           "Format 8 8 1\n"
           "Display \"x.tif\" \"file\" \"rgba\"\n"
           "Imager \"background\"\n"
           "WorldBegin\n"
           "LightSource \"lights\" 1\n"
           "Atmosphere \"fog\"\n"
           "Displacement \"kinds\"\n"
           "Surface \"builtins\"\n"
           "Translate 0 0 5\n"
           "Sphere 1 -1 1 360\n"
           "Surface \"constructs\"\n"
           "Translate 0.5 0 -1\n"
           "Sphere 0.5 -0.5 0.5 360\n"
           "WorldEnd\n";
}

void expect_clean_run(bool crypt)
{
    velktest::TempDir dir;
    compile_all(dir, crypt);
    if (::testing::Test::HasFatalFailure())
        return;
    velktest::RunResult r = velktest::raylume_rib(dir, scene(dir.path()));
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char *bad : {"Bad instruction", "Bad argument", "is not available",
                            "not found", "SEVERE"})
        EXPECT_EQ(r.err.find(bad), std::string::npos) << bad << "\n" << r.err;
    EXPECT_TRUE(dir.exists("x.tif"));
}

} // namespace

TEST(RoundTrip, CorpusLoadsAndRunsInTheRenderer) { expect_clean_run(false); }

TEST(RoundTrip, EncipheredCorpusLoadsAndRunsInTheRenderer) { expect_clean_run(true); }
