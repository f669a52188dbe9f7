#include "ri_common/rierror.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

RtInt RiLastError = 0;
const char *rib_current_file = nullptr;
int rib_current_line = 0;

namespace {

RtErrorHandler installed_handler = ri_print_error;
RiObjectNameSource object_name_source = nullptr;
// The object name in effect for the error being reported.
const char *current_object_name = nullptr;
// RIB line of the last printed error, for the repeat filter.
int last_printed_line = -1;
// Non-zero once an error ended the run: the status the program ends with.
int run_end_status = 0;

const char *const SEVERITY_WORDS[] = {"INFO", "WARNING", "ERROR", "SEVERE ERROR"};

struct ErrorText {
    int code;
    const char *text;
};

const ErrorText RI_ERROR_TEXTS[] = {
    {1, "Memory allocation error"},
    {2, "System error"},
    {3, "File not found"},
    {4, "Bad file"},
    {11, "Optional RI feature not implemented"},
    {12, "Unimplemented feature"},
    {13, "Program limit"},
    {14, "Probable bug in renderer"},
    {23, "RiBegin not called"},
    {24, "Nesting error"},
    {25, "Invalid state for declaring options"},
    {26, "Invalid state for declaring attributes"},
    {27, "Invalid state for declaring primitives"},
    {28, "Invalid state"},
    {29, "Bad Motion block"},
    {30, "Bad Solid block"},
    {41, "Invalid token"},
    {42, "Parameter out of range"},
    {43, "Parameters inconsistent"},
    {44, "Bad handle"},
    {45, "Cannot load requested shader"},
    {46, "Required parameters not provided"},
    {47, "Syntax error"},
    {61, "Math error"},
};

} // namespace

const char *ri_error_text(int code) {
    for (const ErrorText &e : RI_ERROR_TEXTS)
        if (e.code == code) return e.text;
    return nullptr;
}

void ri_set_object_name_source(RiObjectNameSource source) { object_name_source = source; }

void ri_end_run(int status) {
    if (!run_end_status) run_end_status = status;
}

int ri_run_end_status() { return run_end_status; }

void ri_error(int code, int severity, const char *format, ...) {
    if (run_end_status) return;   // the run is over: nothing more is told
    char message[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(message, sizeof message, format, ap);  // cut at the buffer size
    va_end(ap);
    current_object_name = object_name_source ? object_name_source() : nullptr;
    installed_handler(code, severity, message);
}

void ri_error_once(int code, int severity, const char *format, ...) {
    static std::set<std::pair<int, std::string>> told;
    char message[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(message, sizeof message, format, ap);
    va_end(ap);
    if (told.emplace(code, message).second) ri_error(code, severity, "%s", message);
}

RtErrorHandler ri_current_error_handler() { return installed_handler; }

void ri_ignore_error(RtInt code, RtInt, const char *) { RiLastError = code; }

RtErrorHandler ri_set_error_handler(RtErrorHandler handler) {
    RtErrorHandler was = installed_handler;
    installed_handler = handler;
    return was;
}

void ri_print_error(RtInt code, RtInt severity, const char *message) {
    // An error repeated on one RIB line is shown once; "Invalid token" errors
    // with their own message are always shown, and so are severe errors, which
    // end the run.
    if (rib_current_line == last_printed_line && code == RiLastError && code != 0 &&
        !(code == RIE_BADTOKEN && message) && severity < RIE_SEVERE)
        return;
    int word = severity < 0 ? 0 : severity > 3 ? 3 : severity;
    std::fprintf(stderr, "%s: ", SEVERITY_WORDS[word]);
    if (rib_current_line > 0)
        std::fprintf(stderr, "%s (%ld): ", rib_current_file ? rib_current_file : "",
                     static_cast<long>(rib_current_line));
    if (const char *text = ri_error_text(code))
        std::fputs(text, stderr);
    else if (code != 0)
        std::fprintf(stderr, "code %d", code);
    if (message) std::fprintf(stderr, "\n    --> %s", message);
    std::fputc('\n', stderr);
    if (current_object_name)
        std::fprintf(stderr, "\t(error encountered in object \"%s\")\n", current_object_name);
    std::fflush(stderr);
    if (severity >= RIE_SEVERE) {
        ri_end_run(255);
        return;
    }
    last_printed_line = rib_current_line;
    RiLastError = code;
}

void ri_abort_error(RtInt code, RtInt severity, const char *message) {
    ri_print_error(code, severity, message);
    if (severity >= RIE_ERROR) ri_end_run(255);
}

void ri_assert_report(const char *module, int line) {
    ri_error(RIE_BUG, RIE_SEVERE, "Assertion failed in %s, line %d", module, line);
    ri_end_run(255);  // the installed handler may have gone on
}

void ri_assert_failed(const char *module, int line) {
    ri_assert_report(module, line);
    std::exit(ri_run_end_status());
}
