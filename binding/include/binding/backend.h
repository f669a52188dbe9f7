// A back end of the RI binding: the RI procedures of one implementation (the
// renderers' front end or the RIB writer) as a table of functions. The
// binding owns the C names and forwards each call to the program's back end.
#pragma once
#include "ri_common/ri_procedures.h"
#include "ri_common/ri.h"

struct RiBackend {
#define VELK_RI_ENTRY(R, N, P, A) R (*N) P;
    VELK_RI_PROCEDURES(VELK_RI_ENTRY)
#undef VELK_RI_ENTRY
    // RiArchiveRecord with its text formatted; null: records are dropped.
    RtVoid (*ArchiveRecordText)(RtToken type, const char *text);
    // What the standard handlers do with this back end.
    RtVoid (*ErrorIgnore)(RtInt code, RtInt severity, const char *message);
    RtVoid (*ErrorPrint)(RtInt code, RtInt severity, const char *message);
    RtVoid (*ErrorAbort)(RtInt code, RtInt severity, const char *message);
    // RiErrorHandler: name is "ignore", "print" or "abort" for the standard
    // handlers, else null. Installs the handler (or refuses it) and answers
    // what RiErrorHandler returns.
    RtErrorHandler (*ErrorHandler)(RtErrorHandler handler, const char *name);
    // (token, value) pairs a varargs form takes; 0: every pair.
    int max_pairs;
};

// Makes backend the one the RI procedures call, in place of the RIB writer.
void ri_install_backend(const RiBackend *backend);

// The back end the RI procedures call.
const RiBackend &ri_backend();
