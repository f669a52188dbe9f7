// The scanner's state and the preprocessor line markers it follows, so that
// nodes and messages carry the source file and line as written.
#pragma once
#include <cstdio>
#include <vector>

namespace murn {

// The line being scanned (1 at the start).
extern int current_line;
// The source file named by the last line marker (interned), null before one.
extern const char *current_file;
// Every file a line marker named since the scan started (interned, once each):
// the source and what it includes.
extern std::vector<const char *> marked_files;

// Starts scanning in from its beginning with line 1 and no file.
void scanner_start(std::FILE *in);
// Frees the scanner's buffers.
void scanner_finish();
// Follows one line-marker line (the text matched at a line start, '#' and the rest).
void read_line_marker(const char *text);

// What the scanner could not do.
struct ScannerFailure {
    const char *message;
};

} // namespace murn

// The next token code (0 at the end of the input); sets the token value.
// Throws ScannerFailure when the input cannot be read or held.
int yylex();
