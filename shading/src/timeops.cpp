// Dtime: the change of a value over the shutter time. Shading points carry no
// neighbour in time (their dPdtime is zero too), so every value is taken as
// constant over the shutter and its time derivative is zero.
#include "shading/opmodules.h"
#include "opstack.h"

using opstack::replace;

namespace {

void op_Dtimef(ExecFrame *, ShaderVars *)
{
    replace(1, 0.0f);
}

void op_Dtimev(ExecFrame *, ShaderVars *)
{
    replace(3, Point(0, 0, 0));
}

constexpr OpBinding ROWS[] = {
    {"Dtimef", op_Dtimef},
    {"Dtimev", op_Dtimev},
};

} // namespace

constexpr OpBindings TIME_OPS = op_bindings(shading::OpModule::Time, ROWS);
