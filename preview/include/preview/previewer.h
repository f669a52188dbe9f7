// pevrin's start-up and command line: the GL back end becomes the current
// renderer, the rc file and the command line set it up, and the RIB files
// named (or standard input) are drawn.
#pragma once

// Set by "-v".
extern int previewer_verbose;

// The whole program: returns its exit status.
int previewer_main(int argc, char **argv);

// Applies the options from argv[1] on and returns the index of the first
// argument that is not an option (a file name, or an unknown option). "-h"
// prints the usage text and ends the program with status 0; an unknown option
// or one whose values are missing is reported and ends it with status 1: the
// status goes to *end_status (else -1), for main to return.
int previewer_parse_options(int argc, char **argv, int *end_status = nullptr);

// Prints the usage text on standard output.
void previewer_usage();
