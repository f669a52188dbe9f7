// Runs a program of the build with given arguments, environment and input,
// and captures what it writes and how it ends: the tool of the end-to-end tests.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace velktest {

struct RunResult {
    std::string out;      // everything written on standard output
    std::string err;      // everything written on standard error
    int status = -1;      // exit status (0..255), or -1 when killed by a signal
    int signal = 0;       // the signal that ended it, 0 when it exited
    bool timed_out = false;
};

struct RunOptions {
    std::string input;                        // bytes fed to standard input
    std::map<std::string, std::string> env;   // variables set (an empty value unsets)
    bool clear_env = false;                   // start from an empty environment (PATH kept)
    std::string cwd;                          // working directory, empty = current
    int timeout_seconds = 120;                // killed after this long
};

// Path of a program of the build: $VELK_BIN/name.
std::string program(const std::string &name);
// Path of a file of the source tree: $VELK_SOURCE/rel.
std::string source_path(const std::string &rel);
// Path of a file of the build tree: $VELK_BUILD/rel.
std::string build_path(const std::string &rel);

// Runs argv[0] (a path) with argv.
RunResult run(const std::vector<std::string> &argv, const RunOptions &opts = RunOptions());

class TempDir;
// Writes rib as t.rib in dir and runs raylume on it there, with a HOME of its
// own (no rc file) and the given options before the file name.
RunResult raylume_rib(const TempDir &dir, const std::string &rib, std::vector<std::string> args = {});
// Writes source as NAME.sl in dir and compiles it there with murn (NAME.murn),
// the options before the file name.
RunResult murn_compile(const TempDir &dir, const std::string &name, const std::string &source,
                       const std::vector<std::string> &options = {});

// A fresh empty directory under the system temporary directory, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    // Writes a file in the directory and returns its path.
    std::string write(const std::string &name, const std::string &bytes) const;
    // Reads a file (relative names are taken in the directory); empty when absent.
    std::string read(const std::string &name) const;
    bool exists(const std::string &name) const;
private:
    std::string path_;
};

} // namespace velktest
