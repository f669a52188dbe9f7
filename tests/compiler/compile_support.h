// Helpers of the compiler tests: compiling a source in the test process, and
// a checker that reads a compiled shader the way the renderer's loader does.
#pragma once
#include <set>
#include <string>
#include <vector>

namespace murntest {

struct Compiled {
    std::string file;     // the compiled shader ("" when none was left)
    std::string err;      // everything written on standard error
    int status = 0;       // the compiler's error flag
    bool written = false;
};

struct CompileOptions {
    bool crypt = false;
    bool debug = false;
    int verbosity = 0;
    std::string shadeop_path = ".";
};

// Compiles preprocessed source text (a line marker naming "t.sl" is put in
// front) without running the preprocessor.
Compiled compile_text(const std::string &source, const CompileOptions &options = CompileOptions());

// The instruction lines of the main code, without their leading tab.
std::vector<std::string> code_lines(const std::string &file);
// The lines of the file before the main code.
std::vector<std::string> head_lines(const std::string &file);
// True when the lines hold want as a contiguous run.
bool contains_run(const std::vector<std::string> &lines, const std::vector<std::string> &want);

// What reading a compiled shader found: format problems and the op names used.
struct FormatCheck {
    std::vector<std::string> problems;
    std::set<std::string> ops;
    std::string kind, name;
    bool encrypted = false;
};
// Reads a compiled shader (deciphering it when it says "encrypted").
FormatCheck check_format(const std::string &bytes);

} // namespace murntest
