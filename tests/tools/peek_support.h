// Compiling shaders with the real compiler for the inspector tests.
#pragma once
#include <string>

#include "tests/support/run_program.h"

namespace peektest {

// Compiles name.sl holding source in dir with murn (extra options before the
// file); the compiler's standard error when it fails, "" when it succeeds.
std::string compile(const velktest::TempDir &dir, const std::string &name, const std::string &source,
                    const std::string &option = "");

// Runs murnpeek with args in dir, searching the shader path given.
velktest::RunResult peek(const velktest::TempDir &dir, const std::vector<std::string> &args,
                         const std::string &shader_path = "");

} // namespace peektest
