// Array elements and widening: element access by a popped index, setting a
// triple or matrix variable from a float, and widening the top float.
#include <cmath>
#include <set>
#include <string>
#include <utility>

#include "ri_common/rierror.h"
#include "ri/shader.h"
#include "shading/opmodules.h"
#include "opstack.h"
#include "shading/stringids.h"

namespace {

// The element floor(index) of an array of count elements, kept inside the
// array: below 0 (and NaN) is element 0, past the end the last element.
int element_index(float index, int count)
{
    float i = std::floor(index);
    if (!(i > 0)) return 0;
    if (i >= static_cast<float>(count - 1)) return count > 0 ? count - 1 : 0;
    return static_cast<int>(i);
}

// An index outside its array is the shader's fault: told once per shader and
// array, with the element used instead.
void report_outside(const Shader *shader, uint32_t array, float index, int count, int used)
{
    static std::set<std::pair<std::string, uint32_t>> told;
    std::string name = shader && shader->name ? shader->name : "";
    if (!told.emplace(name, array).second) return;
    ri_error(RIE_RANGE, RIE_WARNING,
             "Shader \"%s\": array index %g is outside an array of %d elements; element %d is used",
             name.c_str(), static_cast<double>(index), count, used);
}

// The address of the element selected by the popped index; the operand is
// the array symbol.
char *element(ExecFrame *f, int element_bytes)
{
    uint32_t word = next_word(f);
    int count = f->shader ? f->shader->array_length(word) : 1;
    float index = slstack.pop_float();
    int i = element_index(index, count);
    float whole = std::floor(index);
    if (!(whole >= 0 && whole < static_cast<float>(count))) report_outside(f->shader, word, index, count, i);
    return operand_address(word, f) + static_cast<size_t>(i) * element_bytes;
}

template <int WORDS>
void op_apush(ExecFrame *f, ShaderVars *)
{
    const char *from = element(f, 4 * WORDS);
    std::memcpy(slstack.push_space(WORDS), from, 4 * WORDS);
}

// The index is on top, the value beneath it.
template <int WORDS>
void op_apop(ExecFrame *f, ShaderVars *)
{
    char *to = element(f, 4 * WORDS);
    std::memcpy(to, slstack.top_ptr(WORDS), 4 * WORDS);
    slstack.drop(WORDS);
}

// String elements hold ids; the stack holds the texts.
void op_apushs(ExecFrame *f, ShaderVars *)
{
    uint32_t id;
    std::memcpy(&id, element(f, 4), 4);
    const char *s = string_from_id(id);
    slstack.push_string(s ? s : "");
}

void op_apops(ExecFrame *f, ShaderVars *)
{
    char *to = element(f, 4);
    uint32_t id = string_id(slstack.pop_string());
    std::memcpy(to, &id, 4);
}

// The triple variable becomes (f, f, f).
void op_cset(ExecFrame *f, ShaderVars *)
{
    float *to = next_float_operand(f);
    float v = slstack.pop_float();
    to[0] = to[1] = to[2] = v;
}

// The matrix variable becomes f on the diagonal.
void op_mset(ExecFrame *f, ShaderVars *)
{
    float *to = next_float_operand(f);
    Matrix4 m(slstack.pop_float());
    std::memcpy(to, m.m, sizeof m.m);
}

void op_ftoc(ExecFrame *, ShaderVars *)
{
    float v = *slstack.top_ptr(1);
    opstack::replace(1, Point(v));
}

void op_ftom(ExecFrame *, ShaderVars *)
{
    float v = *slstack.top_ptr(1);
    opstack::replace(1, Matrix4(v));
}

constexpr OpBinding ROWS[] = {
    {"apushf", op_apush<1>},
    {"apopf", op_apop<1>},
    {"apushv", op_apush<3>},  // also apushc
    {"apopv", op_apop<3>},    // also apopc
    {"apushm", op_apush<16>},
    {"apopm", op_apop<16>},
    {"apushs", op_apushs},
    {"apops", op_apops},
    {"vset", op_cset},        // also cset
    {"mset", op_mset},
    {"ftov", op_ftoc},        // also ftoc, ftop
    {"ftom", op_ftom},
};

} // namespace

constexpr OpBindings VAR_OPS = op_bindings(shading::OpModule::Var, ROWS);
