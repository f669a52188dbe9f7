// The command line of the renderer: options become RI calls and the settings
// below, which the ray tracer's output reads.
#pragma once

extern int display_override;   // interlace step of the window display; 0 = off
extern int progress_mode;      // 1 "-progress", 2 "-Progress"
extern int pixel_zoom;         // window pixel zoom, at least 1
extern int radiosity_output;   // write the radiosity RIB dumps
extern int bell_flag;          // ring the bell when finished

// Consumes the options from argv[1] on and returns the index of the first
// argument that is not an option (argc when all are). An option whose operands
// are missing is reported and ends the program with status 1.
int parse_options(int argc, char **argv);

// Prints the usage text on standard output and exits with status 0.
[[noreturn]] void usage();
