// TEMPORARY: do-nothing definitions of the RI procedures that the request
// table and the start-up call while their real bodies are being written
// elsewhere, so that raylume links. Delete each one as its real definition
// lands; never add one for a procedure defined in another file.
#include <cstdlib>

#include "ri/ri.h"

extern "C" {

RtVoid RiProcDelayedReadArchive(RtPointer, RtFloat) {}
RtVoid RiProcRunProgram(RtPointer, RtFloat) {}
RtVoid RiProcDynamicLoad(RtPointer, RtFloat) {}
RtVoid RiProcFree(RtPointer data) { std::free(data); }

} // extern "C"
