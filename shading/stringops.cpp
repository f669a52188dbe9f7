// String operations: the running shader's name, string comparison, concat,
// format and printf. Strings on the stack are interned texts.
#include <cmath>
#include <cstring>
#include <string>

#include "ri/shader.h"
#include "ri/tokens.h"
#include "shading/formatting.h"
#include "shading/interp.h"
#include "shading/opmodules.h"
#include "shading/shadingpoint.h"

namespace {

bool same_string(const char *a, const char *b)
{
    return a == b || (a && b && std::strcmp(a, b) == 0);
}

void op_shadername(ExecFrame *, ShaderVars *sv)
{
    const char *name = sv->thisshader ? sv->thisshader->name : nullptr;
    slstack.push_string(NewToken(name ? name : ""));
}

void op_seq(ExecFrame *, ShaderVars *)
{
    const char *a = slstack.pop_string();
    const char *b = slstack.pop_string();
    slstack.push_truth(same_string(a, b));
}

void op_sne(ExecFrame *, ShaderVars *)
{
    const char *a = slstack.pop_string();
    const char *b = slstack.pop_string();
    slstack.push_truth(!same_string(a, b));
}

// No pattern matching is done: the answer is always false.
void op_match(ExecFrame *, ShaderVars *)
{
    slstack.drop_strings(2);
    slstack.push_word(0);
}

void op_concat(ExecFrame *, ShaderVars *)
{
    float count = std::floor(slstack.pop_float());
    int n = count > 0 ? (count < SLStack::STRINGS ? static_cast<int>(count) : SLStack::STRINGS) : 0;
    std::string joined;
    for (int i = 0; i < n && !slstack.failed(); ++i) joined += slstack.pop_string();
    slstack.push_string(NewToken(joined.c_str()));
}

void op_format(ExecFrame *, ShaderVars *)
{
    slstack.push_string(format_from_stack());
}

// The values are always consumed; a neighbour run prints nothing.
void op_printf(ExecFrame *, ShaderVars *sv)
{
    std::string text = format_stack_text();
    if (sv->whichdisp == 0 && !slstack.failed()) print_shader_text(text.c_str());
}

} // namespace

void install_string_ops()
{
    set_op_handler(276, op_shadername);
    set_op_handler(41, op_seq);
    set_op_handler(42, op_sne);
    set_op_handler(258, op_match);
    set_op_handler(257, op_concat);
    set_op_handler(256, op_format);
    set_op_handler(255, op_printf);
}
