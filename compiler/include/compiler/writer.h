// The compiled-shader writer: the instruction array with its initialisation
// sections and labels, string constants, temporaries, and the output file,
// enciphered after the "encrypted" line when asked.
#pragma once
#include <string>

#include "shading_shaderfile/slstack.h"

namespace murn {

class ParseNode;
struct Symbol;

// Settings of the writer, from the command line.
extern std::string output_path;  // empty: the shader's name + ".murn"
extern std::string source_path;  // the file compiled, never overwritten
extern int scramble_level;       // 1: encipher; 2 once "encrypted" is written
extern bool debug_lines;         // -d: source lines as comments

// Starts the output for path; it is kept in memory until close_output.
bool open_output(const std::string &path);
// Ends the output: writes the file when the compilation had no error (an
// error on opening or writing sets the error flag).
void close_output();
// The file was written by this run and did not exist before.
bool output_created();
// The path of the file being written, "" before one is opened.
const std::string &opened_output_path();

// Writes formatted text to the output, enciphered at scramble level 2.
void write_output(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Writes out a partial enciphered block.
void flush_output();

// Appends an instruction to the current section and returns its 1-based
// index. An op the renderer lacks is reported at the node.
int emit_instruction(ParseNode *node, const char *opcode, const char *a1 = nullptr,
                     const char *a2 = nullptr, const char *a3 = nullptr);
int emit_instruction_int(ParseNode *node, const char *opcode, int immediate);
// Instructions emitted so far.
int instruction_count();
// Following instructions go to initialisation section n, or back to the main code.
void begin_initcode_section(int n);
void end_initcode_section();
// A fresh label number; label n stands before the next instruction.
int new_label();
void define_label(int n);

// The number of the string constant with this text, registered if new and
// declared at once when declare is set.
int string_constant_name(const char *text, bool declare);
// Declares every registered string constant not yet declared.
void declare_string_constants();
// "pushs" of a string constant (declared when not yet). Texts are kept as
// the source wrote them between quotes, escapes included: in a compiled
// file a backslash always pairs with the character after it, so "\"" is a
// quote inside a string and never its end.
void emit_push_string(ParseNode *node, const char *text);
// A text from outside the source (a library's declaration, a file name) in
// that written form: backslashes and quotes escaped.
const char *escape_string_text(const char *raw);
// A temporary of the type not in use (declared when new), marked in use.
const char *new_temporary(int type);
// A temporary becomes free again.
void release_temporary(const char *name);
// Declares a local variable once: its line, plus a "code" line when code_line is set.
void declare_local(Symbol *symbol, bool code_line);
// The interpreter reserves every local of a shader on its value stack at once.
inline constexpr long LOCAL_WORDS_LIMIT = SLStack::WORDS;
// Once the locals declared so far need more words than that: reported at node
// (with name), once per compilation.
void check_local_words(const ParseNode *node, const char *name);

// Writes every instruction: initialisation sections, then "code" and the main code.
void write_instructions();

// Formats a float so that it reads back as the same float.
std::string format_float(float value);

// Clears the writer for a new compilation.
void reset_writer();

} // namespace murn
