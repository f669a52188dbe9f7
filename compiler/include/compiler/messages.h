// The compiler's error reporters and the flag they set, which decides the exit
// status. Every report goes to standard error, which is flushed at once.
#pragma once

namespace murn {

// Set by every error report; 0 or 1.
extern int error_flag;
// 1 by default, 2 after -v, 0 after -q; progress lines print when above 0.
extern int verbosity;

// "murn Error: \"%s\", line %d: %s %s\n" (null file and name print as "").
void report_error_at(const char *message, const char *file, int line, const char *name);

} // namespace murn
