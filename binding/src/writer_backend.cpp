#include "writer_backend.h"

#include "ribout/ribout.h"

namespace {

RiBackend writer()
{
    RiBackend b{};
#define VELK_RI_WRITER_ENTRY(R, N, P, A) b.N = rib_writer::N;
    VELK_RI_PROCEDURES(VELK_RI_WRITER_ENTRY)
#undef VELK_RI_WRITER_ENTRY
    b.ArchiveRecordText = ribout::archive_record;
    b.ErrorIgnore = ribout::error_ignore;
    b.ErrorPrint = ribout::error_print;
    b.ErrorAbort = ribout::error_abort;
    b.ErrorHandler = ribout::error_handler;
    b.max_pairs = 0;
    return b;
}

} // namespace

const RiBackend &rib_writer_backend()
{
    static const RiBackend table = writer();
    return table;
}
