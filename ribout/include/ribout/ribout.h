// The RIB writer: a RenderMan Interface implementation that writes every RI
// call as a RIB request (ASCII, or with binary floats) to a file, standard
// output or a pipe into a renderer. Programs call the RI procedures of
// ri_common/ri.h; these are the library's own entry points behind them.
#pragma once
#include "ri_common/ri.h"
#include "ri_common/ri_procedures.h"

// The writer's RI procedures.
namespace rib_writer {
#define VELK_RIB_WRITER_DECLARE(R, N, P, A) R N P;
VELK_RI_PROCEDURES(VELK_RIB_WRITER_DECLARE)
#undef VELK_RIB_WRITER_DECLARE
} // namespace rib_writer

// What the binding's standard error handlers, RiErrorHandler and
// RiArchiveRecord do with the writer.
namespace ribout {
// Writes an "ErrorHandler" request for a standard handler (name) and
// installs it; another handler is refused (and told on standard error).
// Answers the handler that was installed before.
RtErrorHandler error_handler(RtErrorHandler handler, const char *name);
// The writer reports only outputs that cannot be opened or written: ignore
// does nothing, print writes "RI error <code>: <message>", abort prints and
// ends the run with status 1 (the later calls do nothing; the program's main
// returns).
void error_ignore(RtInt code, RtInt severity, const char *message);
void error_print(RtInt code, RtInt severity, const char *message);
void error_abort(RtInt code, RtInt severity, const char *message);
// A comment ("#" per line), structure comment ("##") or verbatim record.
void archive_record(RtToken type, const char *text);
} // namespace ribout

// Opens a new output and makes it current: standard output for a null name;
// a pipe into "raylume", "raylumev", "pevrin" or "prman" for those names, or
// into the command after a leading '|'; else a file. Writes the header and the
// standard declarations. A failure to open is reported through the error
// handler, and the output writes nowhere.
void ribout_begin(const char *name);
// Ends the request stream of the current output, closes it and forgets it.
void ribout_end();
// Makes the output opened under name current; the name of the output that
// was current, or null when no output has that name.
const char *ribout_context(const char *name);
// The name of the current output (null for standard output or none).
const char *ribout_current_name();
// Writes a "Declare" request (when an output is open), enters the
// declaration and returns the interned name.
RtToken ribout_declare(const char *name, const char *declaration);
