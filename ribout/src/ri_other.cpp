// Bases, error handlers, archives and the procedural functions that name
// their kind of procedural.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ri_common/rierror.h"
#include "request.h"

using ribout::Request;

namespace {

struct NamedBasis {
    const char *name;
    const RtBasis *basis;
};

// The standard bases by name (a basis equal to one of them is written by its name).
const NamedBasis BASES[] = {{"bezier", &RiBezierBasis}, {"b-spline", &RiBSplineBasis},
                            {"catmull-rom", &RiCatmullRomBasis}, {"hermite", &RiHermiteBasis},
                            {"power", &RiPowerBasis}};

void write_basis(Request &r, RtBasis basis)
{
    for (const NamedBasis &b : BASES) {
        if (std::memcmp(basis, *b.basis, sizeof(RtBasis)) == 0) {
            r.text("\"%s\"", b.name);
            return;
        }
    }
    r.floats(16, &basis[0][0]);
}

volatile int procedural_called = 0;

} // namespace

namespace ribout {

void report_error(int code, int severity, const char *message)
{
    if (ri_run_end_status()) return;
    RiLastError = code;
    if (RtErrorHandler handler = ri_current_error_handler()) handler(code, severity, message);
}

RtErrorHandler error_handler(RtErrorHandler handler, const char *name)
{
    if (!name) {
        std::fprintf(stderr, "libribout error: unknown error handler\n");
        return ri_current_error_handler();
    }
    Request().text("ErrorHandler \"%s\"\n", name);
    return ri_set_error_handler(handler);
}

// The writer reports only outputs that cannot be opened or written.
void error_ignore(RtInt, RtInt, const char *) {}

void error_print(RtInt code, RtInt, const char *message)
{
    std::fprintf(stderr, "RI error %d: %s\n", code, message ? message : "");
}

// Ends the run, not the program: the later calls do nothing, the code stays
// in RiLastError and the program's main decides how it ends.
void error_abort(RtInt code, RtInt severity, const char *message)
{
    error_print(code, severity, message);
    ri_end_run(1);
}

} // namespace ribout


RtVoid rib_writer::Basis(RtBasis ubasis, RtInt ustep, RtBasis vbasis, RtInt vstep)
{
    Request r;
    if (r.context()) {
        r.context()->ustep = ustep;
        r.context()->vstep = vstep;
    }
    r.text("Basis ");
    write_basis(r, ubasis);
    r.text(" %d ", ustep);
    write_basis(r, vbasis);
    r.text(" %d\n", vstep);
}

namespace ribout {

void archive_record(RtToken type, const char *text)
{
    std::string body = text;
    // Comments and structure comments take one "#" or "##" per line; a
    // verbatim record is written as it is.
    const char *lead = type && std::strcmp(type, "comment") == 0     ? "#"
                       : type && std::strcmp(type, "structure") == 0 ? "##"
                                                                     : nullptr;
    Request r;
    if (!lead) {
        r.text("%s", body.c_str());
        return;
    }
    size_t start = 0;
    do {
        size_t end = body.find('\n', start);
        std::string line = body.substr(start, end == std::string::npos ? std::string::npos : end - start);
        r.text("%s%s\n", lead, line.c_str());
        start = end == std::string::npos ? body.size() + 1 : end + 1;
    } while (start <= body.size() && !(start == body.size() && body.back() == '\n'));
}

} // namespace ribout

RtVoid rib_writer::ReadArchiveV(RtToken name, RtArchiveCallback, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("ReadArchive");
    r.params(name, 0, n, tokens, params);
}

// Procedurals are written, never expanded: these only tell the kinds apart
// (by address, so their bodies differ and cannot be folded into one).
RtVoid rib_writer::ProcDelayedReadArchive(RtPointer, RtFloat) { procedural_called = 1; }
RtVoid rib_writer::ProcRunProgram(RtPointer, RtFloat) { procedural_called = 2; }
RtVoid rib_writer::ProcDynamicLoad(RtPointer, RtFloat) { procedural_called = 3; }
RtVoid rib_writer::ProcFree(RtPointer data) { std::free(data); }

