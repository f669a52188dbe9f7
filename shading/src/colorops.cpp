// Colour-space operations: the fixed conversions into rgb of casts, and
// ctransform with named spaces from the string stack.
#include "shading/colorspace.h"
#include "shading/opmodules.h"
#include "opstack.h"

using opstack::triple;

namespace {

typedef Color (*Conversion)(const Color &);

template <Conversion F>
void op_convert(ExecFrame *, ShaderVars *)
{
    opstack::replace(3, F(triple(slstack.top_ptr(3))));
}

// ctransforms (space, C): C from rgb into the space.
void op_ctransforms(ExecFrame *, ShaderVars *)
{
    const char *space = slstack.pop_string();
    Color c = triple(slstack.top_ptr(3));
    color_from_rgb(space, c);
    opstack::replace(3, c);
}

// ctransformss (from, to, C): through rgb from the first space to the second.
void op_ctransformss(ExecFrame *, ShaderVars *)
{
    const char *from = slstack.pop_string();
    const char *to = slstack.pop_string();
    Color c = triple(slstack.top_ptr(3));
    ctransform(from, to, c);
    opstack::replace(3, c);
}

constexpr OpBinding ROWS[] = {
    {"xyz_to_rgb", op_convert<xyz_to_rgb>},
    {"hsv_to_rgb", op_convert<hsv_to_rgb>},
    {"yiq_to_rgb", op_convert<yiq_to_rgb>},
    {"ctransforms", op_ctransforms},
    {"ctransformss", op_ctransformss},  // also ctransform2s
};

} // namespace

constexpr OpBindings COLOR_OPS = op_bindings(shading::OpModule::Color, ROWS);
