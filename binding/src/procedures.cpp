// The fixed forms of the RI procedures: each goes to the program's back end.
#include "binding/backend.h"
#include "writer_backend.h"
#include "ri_common/rierror.h"

namespace {

const RiBackend *installed = nullptr;

const char *standard_handler_name(RtErrorHandler handler)
{
    return handler == RiErrorIgnore  ? "ignore"
           : handler == RiErrorPrint ? "print"
           : handler == RiErrorAbort ? "abort"
                                     : nullptr;
}

// The error reporting starts with the renderers' print handler; the binding
// puts the standard one in its place, which prints as the back end does.
void default_handler()
{
    if (ri_current_error_handler() == ri_print_error) ri_set_error_handler(RiErrorPrint);
}

} // namespace

void ri_install_backend(const RiBackend *backend)
{
    installed = backend;
    default_handler();
}

const RiBackend &ri_backend()
{
    return installed ? *installed : rib_writer_backend();
}

extern "C" {

// Once an error has ended the run, the calls up to the program's return do nothing.
#define VELK_RI_FORWARD(R, N, P, A)               \
    R Ri##N P                                     \
    {                                             \
        using Result = R;                         \
        if (ri_run_end_status()) return Result(); \
        return ri_backend().N A;                  \
    }
VELK_RI_FORWARDED(VELK_RI_FORWARD)
#undef VELK_RI_FORWARD

RtVoid RiBegin(RtToken name)
{
    default_handler();
    if (ri_run_end_status()) return;
    ri_backend().Begin(name);
}

RtVoid RiEnd(void)
{
    // A run that an error ended keeps its renderer: nothing more is drawn or written.
    if (ri_run_end_status()) return;
    ri_backend().End();
}

RtVoid RiProcedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivfunc, RtProcFreeFunc freefunc)
{
    if (ri_run_end_status()) return;
    // The standard procedurals are the back end's own.
    const RiBackend &b = ri_backend();
    RtProcSubdivFunc subdivide = subdivfunc == RiProcDelayedReadArchive ? b.ProcDelayedReadArchive
                                 : subdivfunc == RiProcRunProgram       ? b.ProcRunProgram
                                 : subdivfunc == RiProcDynamicLoad      ? b.ProcDynamicLoad
                                                                        : subdivfunc;
    b.Procedural(data, bound, subdivide, freefunc == RiProcFree ? b.ProcFree : freefunc);
}

RtErrorHandler RiErrorHandler(RtErrorHandler handler)
{
    default_handler();
    return ri_backend().ErrorHandler(handler, standard_handler_name(handler));
}

RtVoid RiErrorIgnore(RtInt code, RtInt severity, const char *message)
{
    ri_backend().ErrorIgnore(code, severity, message);
}

RtVoid RiErrorPrint(RtInt code, RtInt severity, const char *message)
{
    ri_backend().ErrorPrint(code, severity, message);
}

RtVoid RiErrorAbort(RtInt code, RtInt severity, const char *message)
{
    ri_backend().ErrorAbort(code, severity, message);
}

} // extern "C"
