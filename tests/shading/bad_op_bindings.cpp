// A module's handler table with one fault, named by a macro; the build checks
// that the table does not compile and that the message names the fault. With
// no fault the table compiles.
#include "shading/opmodules.h"

namespace {

void handler(ExecFrame *, ShaderVars *) {}

constexpr OpBinding ROWS[] = {
    {"Dtimef", handler},
#if defined(NO_SUCH_SHADING_OPERATION)
    {"Dtimevv", handler},
#elif defined(SHADING_OPERATION_WITHOUT_HANDLER)
#elif defined(SHADING_OPERATION_BOUND_TWICE)
    {"Dtimev", handler},
    {"Dtimef", handler},
#elif defined(SHADING_OPERATION_OF_ANOTHER_MODULE)
    {"Dtimev", handler},
    {"addff", handler},
#else
    {"Dtimev", handler},
#endif
};

} // namespace

constexpr OpBindings TIME_OPS = op_bindings(shading::OpModule::Time, ROWS);
