// The compiler's command line and main sequence: preprocess one source,
// parse, check, fold and write its compiled shader.
#pragma once
#include <cstdio>
#include <string>

namespace murn {

// The whole run of "murn" with its command line; returns the exit status
// (0, 1, or -1 for a missing input, an unreadable input or no preprocessor).
int compiler_main(int argc, char **argv);

// Clears every table and setting, then enters the predeclared variables and
// the built-in functions: the start of one compilation.
void begin_compilation();
// Parses preprocessed text from in, then checks, folds and writes the shader;
// returns the error flag. Settings (output path, encryption, -d) apply.
int compile_preprocessed(std::FILE *in);
// The steps after parsing: check, fold and write the parsed shader.
int compile_parsed();
// Deletes the output file when the error flag is set and this run created it.
void remove_failed_output();
// The file an interrupt deletes ("" for none): set while this run writes a
// file it created.
void set_interrupt_output(const std::string &path);
// Frees everything the compilation made.
void end_compilation();

} // namespace murn
