// Pushes and pops between symbols (or constants in the code) and the value
// stack. Strings live in blocks as ids and on the stack as texts.
#include <cstring>

#include "shading/interp.h"
#include "shading/opmodules.h"
#include "shading/stringids.h"

namespace {

// pushif: one float word in the code.
void op_pushif(ExecFrame *f, ShaderVars *)
{
    uint32_t w = next_word(f);
    slstack.push_word(w);
}

// pushiv: three float words in the code.
void op_pushiv(ExecFrame *f, ShaderVars *)
{
    float *v = slstack.push_space(3);
    for (int i = 0; i < 3; ++i) {
        uint32_t w = next_word(f);
        std::memcpy(v + i, &w, 4);
    }
}

template <int WORDS>
void op_push(ExecFrame *f, ShaderVars *)
{
    const char *from = next_operand(f);
    std::memcpy(slstack.push_space(WORDS), from, 4 * WORDS);
}

template <int WORDS>
void op_pop(ExecFrame *f, ShaderVars *)
{
    char *to = next_operand(f);
    std::memcpy(to, slstack.pop_span(WORDS), 4 * WORDS);
}

void op_pushs(ExecFrame *f, ShaderVars *)
{
    uint32_t id;
    std::memcpy(&id, next_operand(f), 4);
    const char *s = string_from_id(id);
    slstack.push_string(s ? s : "");
}

void op_pops(ExecFrame *f, ShaderVars *)
{
    char *to = next_operand(f);
    uint32_t id = string_id(slstack.pop_string());
    std::memcpy(to, &id, 4);
}

constexpr OpBinding ROWS[] = {
    {"pushif", op_pushif},
    {"pushiv", op_pushiv},
    {"pushf", op_push<1>},
    {"popf", op_pop<1>},
    {"pushv", op_push<3>},  // also pushc
    {"popv", op_pop<3>},    // also popc
    {"pushm", op_push<16>},
    {"popm", op_pop<16>},
    {"pushs", op_pushs},
    {"pops", op_pops},
};

} // namespace

constexpr OpBindings STACK_OPS = op_bindings(shading::OpModule::Stack, ROWS);
