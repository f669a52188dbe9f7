// The command line of the renderer: options become RI calls and the session
// settings below, which the program hands to the ray tracer.
#pragma once

// What the command line asks of the whole session beyond the RI options.
struct SessionOptions {
    int display_override = 0;   // interlace step of the window display; 0 = off
    int progress_mode = 0;      // 1 "-progress", 2 "-Progress"
    int pixel_zoom = 1;         // window pixel zoom, at least 1
    int radiosity_output = 0;   // write the radiosity RIB dumps
    int bell = 0;               // ring the bell when finished
    int end_status = -1;        // 0 or more: the program ends here with this status
};

// Consumes the options from argv[1] on into RI calls and *session and returns
// the index of the first argument that is not an option (argc when all are).
// "-h" and "-arch" print and end the program with status 0; an unknown option
// or one whose operands are missing is reported and ends it with status 1
// (session.end_status, for main to return).
int parse_options(int argc, char **argv, SessionOptions &session);

// Prints the usage text on standard output.
void usage();
