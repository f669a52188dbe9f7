// The shading interpreter: compiled text shaders run as threaded code on one
// shading point with the one value stack (SLStack).
//
// Code: an array of 32-bit words. An instruction is its opcode (1..286)
// followed by its operand words; dispatch goes through op_handlers[opcode].
// Operand words:
//   - a symbol: segment in the high 8 bits, byte offset in the low 24
//     (segment 0 the shading point's fields, 1 the parameter block, 2 the
//     local block); operand_address gives its address;
//   - a label (ifz, ifnz, jump, illuminate, solar, illuminance, ambience): a
//     byte offset from the code start (4 x the word index);
//   - pushif: one float word; pushiv: three float words;
//   - dsoop: a count word N, then N symbol words.
// Every code array ends in a return.
//
// Handler convention: void handler(ExecFrame *f, ShaderVars *sv). On entry
// f->pc points at the opcode word; a handler consumes its operands with
// next_operand / next_word (each advances f->pc by one word) and leaves f->pc
// on its last operand word: the run loop then steps to the next instruction.
// Handlers take their inputs from slstack and push their results (the top
// word is the left operand of a binary op), working in place through
// slstack.top_ptr(n) and dropping words where they can. Jumps use jump_to.
// A handler ends the run by setting f->done. Never read or write outside the
// stack through raw indices: the checked calls of SLStack report overflow and
// underflow and stop the run.
//
// Adding operations: give each name a row in oprows.h naming its module, and
// bind the handler in that module's table (opmodules.h); a new module also
// gets an OpModule, a table declared in opmodules.h and a place in
// build_op_table (optable.cpp). Every name sharing an opcode shares its handler.
#pragma once
#include <cstdint>
#include <cstdio>

#include "shading/native_shader.h"
#include "shading_shaderfile/opnames.h"
#include "shading_shaderfile/slstack.h"

class Shader;

// Segments of symbol operands.
enum { SEG_GLOBAL = 0, SEG_PARAM = 1, SEG_LOCAL = 2 };
inline uint32_t segment_address(int segment, uint32_t offset)
{
    return (static_cast<uint32_t>(segment) << 24) | (offset & 0xffffffu);
}

// One shader run.
struct ExecFrame {
    const uint32_t *pc;          // the current instruction word
    char *params;                // parameter block
    char *locals;                // local block (on the value stack)
    const uint32_t *code_start;
    const uint32_t *code_end;
    int done;
    char *base[3];               // segment bases: shading point, parameters, locals
    Shader *shader;              // the shader whose code runs
};

typedef void (*OpHandler)(ExecFrame *f, ShaderVars *sv);

// Handlers by opcode.
extern OpHandler op_handlers[shading::MAX_OPCODE + 1];

// The address of a symbol operand.
inline char *operand_address(uint32_t word, const ExecFrame *f)
{
    return f->base[word >> 24] + (word & 0xffffffu);
}
// Steps to the next operand word and answers its address (a symbol).
inline char *next_operand(ExecFrame *f)
{
    return operand_address(*++f->pc, f);
}
inline float *next_float_operand(ExecFrame *f)
{
    return reinterpret_cast<float *>(next_operand(f));
}
// Steps to the next operand word and answers it as it stands.
inline uint32_t next_word(ExecFrame *f)
{
    return *++f->pc;
}
// Continues at a label (a byte offset from the code start).
inline void jump_to(ExecFrame *f, uint32_t label)
{
    f->pc = f->code_start + (label >> 2) - 1;   // the loop's step lands on the label
}

// Op table record: the row of opnames.h.
using OpInfo = shading::OpName;
// Builds the op table and the handlers once; the number of names (358).
int build_op_table();
// The op of a name, or null.
const OpInfo *find_op(const char *name);
// True when the opcode has a handler (every opcode with a name has one).
bool op_available(int opcode);

// Global-variable table record (also used for one shader's parameters and
// locals while it loads).
struct GlobalVarInfo {
    int kind;        // 0 global, 1 parameter, 2 local
    int type;        // SHADER_PARAMTYPES
    uint32_t address;   // segment-tagged
    int flags;       // vars_used bits of a global
};
enum { GV_GLOBAL = 0, GV_PARAM = 1, GV_LOCAL = 2 };
// Fills the table with the shading globals once; the number of globals (37).
int register_global_variables();
class NameTable;
NameTable &global_variable_table();

// Runs code words on a point with a parameter block, the locals of shader.
void run_shader_code(Shader *shader, const uint32_t *code, size_t words, ShaderVars *sv,
                     char *params);
// As run_shader_code, stopping after max_steps operations (code that loops
// without end); false when it stopped or the stack failed.
bool run_shader_code_bounded(Shader *shader, const uint32_t *code, size_t words, ShaderVars *sv,
                             char *params, long max_steps);
// The run function of every text shader: the main code of sv's shader; 1.
int run_compiled_shader(ShaderVars *sv, char *params);

// Profile times by opcode (seconds and millionths).
struct OpTime {
    int64_t seconds = 0;
    int64_t micros = 0;
};
OpTime *op_times();
// "Shader profile times:" ... "Individual op times:".
void print_shader_profile(FILE *out);
