#include "platform/files.h"

#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

void write_to(const std::string &path, const std::string &bytes)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// The names in dir, one a line.
std::string listing(const velktest::TempDir &dir)
{
    return velktest::run({"/bin/ls", "-A", dir.path()}).out;
}

} // namespace

TEST(OutputFile, TheTargetChangesOnlyWhenTheFileIsCommitted)
{
    velktest::TempDir dir;
    const std::string target = dir.write("out.tif", "old bytes");
    chmod(target.c_str(), 0640);
    {
        velk::OutputFile file;
        ASSERT_TRUE(file.open(target));
        EXPECT_NE(file.path(), target);
        write_to(file.path(), "half");
        EXPECT_EQ(dir.read("out.tif"), "old bytes");
    }   // dropped unfinished
    EXPECT_EQ(dir.read("out.tif"), "old bytes");
    EXPECT_EQ(listing(dir), "out.tif\n");

    velk::OutputFile file;
    ASSERT_TRUE(file.open(target));
    write_to(file.path(), "new bytes");
    EXPECT_TRUE(file.commit());
    EXPECT_EQ(dir.read("out.tif"), "new bytes");
    EXPECT_EQ(listing(dir), "out.tif\n");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);   // a replaced file keeps its mode

    // A symbolic link still names the file, now replaced.
    ASSERT_EQ(symlink("out.tif", (dir.path() + "/link.tif").c_str()), 0);
    ASSERT_TRUE(file.open(dir.path() + "/link.tif"));
    write_to(file.path(), "through the link");
    EXPECT_TRUE(file.commit());
    EXPECT_EQ(dir.read("out.tif"), "through the link");
    struct stat lst;
    ASSERT_EQ(lstat((dir.path() + "/link.tif").c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));

    // A device is written directly, never replaced.
    ASSERT_TRUE(file.open("/dev/null"));
    EXPECT_EQ(file.path(), "/dev/null");
    EXPECT_TRUE(file.commit());
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    EXPECT_FALSE(file.open(dir.path() + "/no/such/dir/out.tif"));

    // The longest name a file can have still gets a temporary file beside it.
    const std::string longest(NAME_MAX, 'n');
    ASSERT_TRUE(file.open(dir.path() + "/" + longest));
    write_to(file.path(), "long");
    EXPECT_TRUE(file.commit());
    EXPECT_EQ(dir.read(longest), "long");
}

TEST(OutputFile, AnExitLeavesNoTemporaryFile)
{
    // A severe error's exit, a kill, a write past the file size limit.
    enum Ending { EXIT, TERM, FULL };
    for (Ending ending : {EXIT, TERM, FULL}) {
        velktest::TempDir dir;
        const std::string target = dir.write("keep.tif", "kept");
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            velk::OutputFile *file = new velk::OutputFile;   // never destroyed: the exit must clean up
            if (!file->open(target)) _exit(2);
            if (ending == FULL) {
                struct rlimit small = {4, 4};
                setrlimit(RLIMIT_FSIZE, &small);
            }
            write_to(file->path(), "unfinished");
            if (ending == TERM) raise(SIGTERM);
            std::exit(1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (ending == TERM)
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        else
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << ending << " " << status;
        EXPECT_EQ(dir.read("keep.tif"), "kept");
        EXPECT_EQ(listing(dir), "keep.tif\n") << ending;
    }
}

TEST(OutputFile, SameFileGoesByDeviceAndInode)
{
    velktest::TempDir dir;
    const std::string a = dir.write("a.sl", "x"), b = dir.write("b.sl", "x");
    ASSERT_EQ(link(a.c_str(), (dir.path() + "/hard.sl").c_str()), 0);
    ASSERT_EQ(symlink("a.sl", (dir.path() + "/soft.sl").c_str()), 0);
    EXPECT_TRUE(velk::same_file(a.c_str(), (dir.path() + "/hard.sl").c_str()));
    EXPECT_TRUE(velk::same_file(a.c_str(), (dir.path() + "/./soft.sl").c_str()));
    EXPECT_FALSE(velk::same_file(a.c_str(), b.c_str()));   // equal bytes, other file
    EXPECT_FALSE(velk::same_file(a.c_str(), (dir.path() + "/missing.sl").c_str()));

    // Open here for reading, by whatever name; a file only written to is no input.
    EXPECT_FALSE(velk::open_for_reading_here(a.c_str()));
    std::FILE *in = std::fopen((dir.path() + "/hard.sl").c_str(), "r");
    std::FILE *out = std::fopen(b.c_str(), "w");
    ASSERT_TRUE(in && out);
    EXPECT_TRUE(velk::open_for_reading_here(a.c_str()));
    EXPECT_FALSE(velk::open_for_reading_here(b.c_str()));
    std::fclose(in);
    std::fclose(out);
    EXPECT_FALSE(velk::open_for_reading_here(a.c_str()));
}

TEST(OutputFile, TheMemoryLimitIsTheMachinesOrTheProcesss)
{
    EXPECT_GT(velk::memory_limit(), 0u);
    EXPECT_LE(velk::memory_limit(), velk::physical_memory());
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        struct rlimit limit = {rlim_t(300) << 20, rlim_t(300) << 20};
        _exit(setrlimit(RLIMIT_AS, &limit) == 0 && velk::memory_limit() == uint64_t(300) << 20 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
