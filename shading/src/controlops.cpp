// Control operations: return, return_area, jumps, truth-value logic and the
// plain copies between symbols.
#include <cstring>

#include "shading/interp.h"
#include "shading/opmodules.h"
#include "shading/shadingpoint.h"

namespace {

void op_return(ExecFrame *f, ShaderVars *)
{
    f->done = 1;
}

// Ends the neighbour runs of the derivative protocol; the main run goes on.
void op_return_area(ExecFrame *f, ShaderVars *sv)
{
    if (sv->whichdisp > 0) f->done = 1;
}

void op_jump(ExecFrame *f, ShaderVars *)
{
    jump_to(f, next_word(f));
}

void op_ifz(ExecFrame *f, ShaderVars *)
{
    uint32_t label = next_word(f);
    if (!slstack.pop_truth()) jump_to(f, label);
}

void op_ifnz(ExecFrame *f, ShaderVars *)
{
    uint32_t label = next_word(f);
    if (slstack.pop_truth()) jump_to(f, label);
}

// The second word from the top becomes the result; the top is dropped.
void op_and(ExecFrame *, ShaderVars *)
{
    float *w = slstack.top_ptr(2);
    uint32_t a, b;
    std::memcpy(&a, w, 4);
    std::memcpy(&b, w + 1, 4);
    uint32_t r = (a != 0 && b != 0) ? 1u : 0u;
    std::memcpy(w + 1, &r, 4);
    slstack.drop(1);
}

void op_or(ExecFrame *, ShaderVars *)
{
    float *w = slstack.top_ptr(2);
    uint32_t a, b;
    std::memcpy(&a, w, 4);
    std::memcpy(&b, w + 1, 4);
    uint32_t r = (a != 0 || b != 0) ? 1u : 0u;
    std::memcpy(w + 1, &r, 4);
    slstack.drop(1);
}

void op_not(ExecFrame *, ShaderVars *)
{
    float *w = slstack.top_ptr(1);
    uint32_t a;
    std::memcpy(&a, w, 4);
    a = a == 0 ? 1u : 0u;
    std::memcpy(w, &a, 4);
}

template <int WORDS>
void op_copy(ExecFrame *f, ShaderVars *)
{
    char *from = next_operand(f);
    char *to = next_operand(f);
    std::memmove(to, from, 4 * WORDS);
}

constexpr OpBinding ROWS[] = {
    {"return", op_return},
    {"return_area", op_return_area},
    {"jump", op_jump},
    {"ifz", op_ifz},
    {"ifnz", op_ifnz},
    {"and", op_and},
    {"or", op_or},
    {"not", op_not},
    {"cpFF", op_copy<1>},
    {"cpSS", op_copy<1>},  // string ids
    {"cpVV", op_copy<3>},  // also cpCC
};

} // namespace

constexpr OpBindings CONTROL_OPS = op_bindings(shading::OpModule::Control, ROWS);
