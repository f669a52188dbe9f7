// The run loop and the shader profile report.
#include "shading/interp.h"

#include "ri/shader.h"

namespace {

// The innermost run to see the stack fail is the one that failed (the runs
// around it stop too, through no fault of their own).
bool blamed = false;

// The run loop; a bounded one counts its steps (the renderer's does not).
template <bool BOUNDED>
bool run_code(Shader *shader, const uint32_t *code, size_t words, ShaderVars *sv, char *params, long steps)
{
    if (!code || words == 0 || shader->stack_failed) return !shader->stack_failed;
    SLStack &st = slstack;
    SLStack::Marks marks = st.save_marks();
    bool failed_before = st.failed();
    st.runs++;
    const uint32_t *init = shader->local_init.empty() ? nullptr : shader->local_init.data();
    char *locals = st.reserve(shader->local_size, init);
    if (locals) {
        ExecFrame f;
        f.pc = code;
        f.params = params;
        f.locals = locals;
        f.code_start = code;
        f.code_end = code + words;
        f.done = 0;
        f.base[SEG_GLOBAL] = reinterpret_cast<char *>(sv);
        f.base[SEG_PARAM] = f.params;
        f.base[SEG_LOCAL] = locals;
        f.shader = shader;
        const uint32_t *end = f.code_end;
        for (;;) {
            if (BOUNDED && --steps < 0) break;
            op_handlers[*f.pc](&f, sv);
            // One test for both ways a run stops after an operation.
            if (__builtin_expect(f.done | st.failed(), 0) || ++f.pc >= end) break;
        }
    }
    const bool ran = locals && steps >= 0 && !st.failed();
    if (st.failed() && !failed_before && !blamed) {
        shader->stack_failed = true;
        blamed = true;
    }
    st.runs--;
    if (st.runs == 0) blamed = false;
    st.restore_marks(marks);
    return ran;
}

} // namespace

void run_shader_code(Shader *shader, const uint32_t *code, size_t words, ShaderVars *sv,
                     char *params)
{
    run_code<false>(shader, code, words, sv, params, 0);
}

bool run_shader_code_bounded(Shader *shader, const uint32_t *code, size_t words, ShaderVars *sv,
                             char *params, long max_steps)
{
    return run_code<true>(shader, code, words, sv, params, max_steps);
}

OpTime *op_times()
{
    static OpTime times[shading::MAX_OPCODE + 1];
    return times;
}

namespace {

// Whole seconds plus millionths, the millionths carried into seconds.
void normalise(int64_t &seconds, int64_t &micros)
{
    seconds += micros / 1000000;
    micros %= 1000000;
}

void print_time_line(FILE *out, int64_t seconds, int64_t micros, const char *name)
{
    normalise(seconds, micros);
    std::fprintf(out, "\t%02d:%02d:%02d.%02d\t%s\n", static_cast<int>(seconds / 3600),
                 static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60),
                 static_cast<int>(micros / 10000), name);
}

} // namespace

void print_shader_profile(FILE *out)
{
    std::fprintf(out, "Shader profile times:\n");
    int64_t total_s = 0, total_us = 0;
    for (Shader *s = first_shader(); s; s = s->next) {
        if (s->prof_seconds <= 0 && s->prof_micros <= 0) continue;
        print_time_line(out, s->prof_seconds, s->prof_micros, s->name);
        total_s += s->prof_seconds;
        total_us += s->prof_micros;
    }
    normalise(total_s, total_us);
    std::fprintf(out, "\t-----------\n");
    print_time_line(out, total_s, total_us, "total shading time");
    std::fprintf(out, "\nIndividual op times:\n");
    OpTime *times = op_times();
    for (int op = 0; op <= shading::MAX_OPCODE; ++op) {
        if (times[op].seconds <= 0 && times[op].micros <= 0) continue;
        const shading::OpName *n = shading::first_op_name(op);
        print_time_line(out, times[op].seconds, times[op].micros, n ? n->name : "?");
    }
}
