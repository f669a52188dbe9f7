// Reading RIB files, standard input and open descriptors: the request loop with
// its frame filter, structure comments and the ReadArchive request.
#pragma once
#include "ri_common/ri.h"

class RibReader;

// The frame filter of the request loop: frames numbered from 0 by FrameBegin
// are executed only within [first, last].
struct RibFrameFilter {
    int first = 0;
    int last = 1000000;
    int active = 1;   // cleared inside a frame that is skipped
};
extern RibFrameFilter rib_frame_filter;

// The render debug level (1 at start); at 2 or more a missing file is always reported.
extern int render_debug_level;

// ReadArchive files nested deeper than this are refused.
constexpr int MAX_ARCHIVE_DEPTH = 32;

// Reads a RIB file (standard input when name is null) with the given reader
// verbosity. A file that cannot be opened is reported when report_missing is
// set and verbosity is not 0, or at a render debug level of 2 or more; then -1.
int read_rib_file(const char *name, const char *archive_path, int verbosity, int report_missing);
// How many ReadArchive files are being read, one inside the other.
int rib_archive_depth();

// For the programs' command lines: true (after reporting it) when arg looks
// like an option, none of the program's, and names no file.
bool is_unknown_option(const char *arg);

// Reads the rc file, $VELKHOME/.raylumerc (else $HOME/.raylumerc), as RIB
// with the current archive path and verbosity; a missing file is silent, and
// nothing is read when neither variable is set.
void read_rc_file();

// Reads RIB from an open descriptor (which stays open) under the name that
// messages give it; -1 when no stream can be made.
int read_rib_fd(int fd, const char *name = "");

// The request loop over one reader.
void parse_rib(RibReader &reader);
