#include "ri_common/searchpath.h"

#include "platform/dynlib.h"
#include "tests/ri/stderr_capture.h"
#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> elements(const char *path)
{
    std::vector<std::string> out;
    std::string e;
    for (const char *rest = next_path_element(path, e); rest; rest = next_path_element(rest, e))
        out.push_back(e);
    return out;
}

// Runs a test body inside a directory and goes back afterwards.
class InDirectory {
public:
    explicit InDirectory(const std::string &dir)
    {
        char buf[4096];
        old_ = getcwd(buf, sizeof buf) ? buf : ".";
        EXPECT_EQ(chdir(dir.c_str()), 0);
    }
    ~InDirectory() { EXPECT_EQ(chdir(old_.c_str()), 0); }
private:
    std::string old_;
};

} // namespace

TEST(SearchPath, SplitsElements)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(elements(nullptr), V());
    EXPECT_EQ(elements(""), V());
    EXPECT_EQ(elements("."), V({"./"}));
    EXPECT_EQ(elements("/usr/lib:/opt/x/;rel"), V({"/usr/lib/", "/opt/x/", "rel/"}));
    EXPECT_EQ(elements("C:/a;D:\\b\\"), V({"C:/a/", "D:\\b\\"}));
    EXPECT_EQ(elements("a:/x:/y"), V({"a:/x/", "/y/"}));     // a letter and ':' is a drive
    EXPECT_EQ(elements(":/lead"), V({"/lead/"}));            // one leading separator skipped
    EXPECT_EQ(elements("::/x"), V({"./", "/x/"}));           // an empty element is the current directory
    EXPECT_EQ(elements("/a:"), V({"/a/"}));
}

TEST(SearchPath, ExplicitNames)
{
    EXPECT_TRUE(is_explicit_path("./x"));
    EXPECT_TRUE(is_explicit_path("../x"));
    EXPECT_TRUE(is_explicit_path("/x"));
    EXPECT_TRUE(is_explicit_path("\\x"));
    EXPECT_TRUE(is_explicit_path("c:x"));
    EXPECT_FALSE(is_explicit_path("x/y"));
    EXPECT_FALSE(is_explicit_path(""));
    EXPECT_FALSE(is_explicit_path(nullptr));
}

TEST(SearchPath, FindsCurrentDirectoryFirstThenElementsInOrder)
{
    velktest::TempDir dir;
    ASSERT_EQ(mkdir((dir.path() + "/one").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((dir.path() + "/two").c_str(), 0755), 0);
    dir.write("one/a.sl", "1");
    dir.write("two/a.sl", "2");
    dir.write("two/b.sl", "2");
    dir.write("here.sl", "0");
    dir.write("one/here.sl", "1");
    std::string path = dir.path() + "/one:" + dir.path() + "/two";
    std::string out;

    InDirectory in(dir.path());
    EXPECT_EQ(find_in_path("here.sl", path.c_str(), out), 1);
    EXPECT_EQ(out, "./here.sl");
    EXPECT_EQ(find_in_path("a.sl", path.c_str(), out), 1);
    EXPECT_EQ(out, dir.path() + "/one/a.sl");
    EXPECT_EQ(find_in_path("b.sl", path.c_str(), out), 1);
    EXPECT_EQ(out, dir.path() + "/two/b.sl");
    EXPECT_EQ(find_in_path("none.sl", path.c_str(), out), 0);
    EXPECT_EQ(find_in_path("none.sl", nullptr, out), 0);
    std::string absolute = dir.path() + "/two/b.sl";
    EXPECT_EQ(find_in_path(absolute.c_str(), nullptr, out), 1);
    EXPECT_EQ(out, absolute);   // used as given, no "./"

    // Per element, the first name before the second.
    EXPECT_EQ(find_either_in_path("b.sl", "a.sl", path.c_str(), out), 2);
    EXPECT_EQ(out, dir.path() + "/one/a.sl");
    EXPECT_EQ(find_either_in_path("a.sl", "here.sl", path.c_str(), out), 2);
    EXPECT_EQ(out, "./here.sl");   // both names as given come before the path
    EXPECT_EQ(find_either_in_path("x", "y", path.c_str(), out), 0);
}

TEST(SearchPath, FindDsoResults)
{
    velktest::TempDir dir;
    dir.write("libbad.so", "not a library");
    velk::DynLib *lib = reinterpret_cast<velk::DynLib *>(&dir);
    EXPECT_EQ(find_dso("libnothere.so", dir.path().c_str(), &lib), DSO_NOT_FOUND);
    EXPECT_EQ(lib, nullptr);

    StderrCapture capture;
    EXPECT_EQ(find_dso("libbad.so", dir.path().c_str(), &lib), DSO_LOAD_FAILED);
    std::string err = capture.finish();
    EXPECT_EQ(lib, nullptr);
    EXPECT_EQ(err.rfind("find_dso error: ", 0), 0u) << err;
    EXPECT_GT(err.size(), std::string("find_dso error: \n").size()) << "the reason is given";

    std::string plugin = VELK_TEST_PLUGIN;
    std::string plugin_dir = plugin.substr(0, plugin.rfind('/'));
    std::string plugin_name = plugin.substr(plugin.rfind('/') + 1);
    ASSERT_EQ(find_dso(plugin_name.c_str(), plugin_dir.c_str(), &lib), DSO_LOADED);
    ASSERT_NE(lib, nullptr);
    auto answer = velk::dynlib_function<int (*)()>(lib, "velk_test_answer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(velk::dynlib_symbol(lib, "no_such_entry"), nullptr);
    EXPECT_STRNE(velk::dynlib_last_error(), "");
    velk::dynlib_close(lib);
}

TEST(SearchPath, ArchitectureWordAndOldPath)
{
    EXPECT_EQ(expand_arch_words("/lib/$ARCH:%ARCH/x:ARCH:$ARC"), "/lib/intelnt:intelnt/x:ARCH:$ARC");
    EXPECT_EQ(substitute_old_path("&:/more", "/a:/b"), "/a:/b:/more");
    EXPECT_EQ(substitute_old_path("x&y", nullptr), "xy");
}
