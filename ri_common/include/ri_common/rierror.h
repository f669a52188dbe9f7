// RI error reporting: one path for every error of the front end and the
// renderer (an RI error code, a severity and a message to the installed handler).
#pragma once
#include "ri_common/ri.h"

// The error codes and severities are those of ri.h.

// Formats the message (printf rules, cut at 1024 characters), sets the current
// object name and calls the installed handler.
void ri_error(int code, int severity, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// As ri_error, the first time this run meets the message (with this code);
// later repeats are dropped.
void ri_error_once(int code, int severity, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// The installed handler (ri_print_error at start; the binding puts RiErrorPrint
// in its place).
RtErrorHandler ri_current_error_handler();
// Installs a handler without the RI call; answers the one it replaces.
RtErrorHandler ri_set_error_handler(RtErrorHandler handler);

// The renderers' standard handlers: ignore notes the code in RiLastError;
// print writes the severity, the RIB file and line, the code's text and the
// message, dropping an error repeated on one line, and ends the run on a
// severe error; abort prints and ends the run from severity "error" up.
void ri_ignore_error(RtInt code, RtInt severity, const char *message);
void ri_print_error(RtInt code, RtInt severity, const char *message);
void ri_abort_error(RtInt code, RtInt severity, const char *message);

// Ends the run with a status (the first one given stands): the RI procedures
// do nothing more, the RIB reader stops, no more errors are reported, and the
// program's main returns the status. Libraries never end the process.
void ri_end_run(int status);
// The status the run was ended with, 0 while it goes on.
int ri_run_end_status();

// Internal consistency check the caller recovers from: reports "Assertion
// failed in %s, line %d" (RI error 14) with the module's base name and ends
// the run with status 255 like a severe error, whatever the handler; the
// caller returns without going on.
void ri_assert_report(const char *module, int line);
// The same where the caller cannot return soundly (an invariant broken in the
// middle of an operation): reports, then ends the program with status 255.
[[noreturn]] void ri_assert_failed(const char *module, int line);
#define RI_ASSERT(cond, module) do { if (!(cond)) ri_assert_failed(module, __LINE__); } while (0)

// The RIB file and line being read, published by the RIB reader; null and 0
// outside reading. Printed in front of every error.
extern const char *rib_current_file;
extern int rib_current_line;

// Where ri_error finds the name of the object being defined (attribute
// "identifier" "name" while the world is open). The renderer installs it; the
// function returns null when there is no such name. Null source = no names.
typedef const char *(*RiObjectNameSource)(void);
void ri_set_object_name_source(RiObjectNameSource source);

// The text of an RI error code ("Nesting error"...), null for unknown codes.
const char *ri_error_text(int code);
