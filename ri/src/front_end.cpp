#include "ri/front_end.h"

#include "ri/paramlist.h"
#include "ri_common/rierror.h"

namespace {

void (*make_renderer)(RtToken name) = nullptr;

RtErrorHandler install_handler(RtErrorHandler handler, const char *)
{
    ri_set_error_handler(handler ? handler : RiErrorPrint);
    return ri_current_error_handler();
}

RiBackend front_end()
{
    RiBackend b{};
#define VELK_RI_FRONT_ENTRY(R, N, P, A) b.N = ri_front::N;
    VELK_RI_PROCEDURES(VELK_RI_FRONT_ENTRY)
#undef VELK_RI_FRONT_ENTRY
    b.ArchiveRecordText = nullptr;   // comments and verbatim records are for RIB output
    b.ErrorIgnore = ri_ignore_error;
    b.ErrorPrint = ri_print_error;
    b.ErrorAbort = ri_abort_error;
    b.ErrorHandler = install_handler;
    b.max_pairs = PARAM_TABLE_SIZE - 1;
    return b;
}

const RiBackend FRONT_END = front_end();

int install()
{
    ri_install_backend(&FRONT_END);
    return 1;
}

} // namespace

extern "C" const int velk_ri_front_end = install();

void ri_front_set_begin(void (*begin)(RtToken name)) { make_renderer = begin; }

RtVoid ri_front::Begin(RtToken name)
{
    if (make_renderer) make_renderer(name);
}
