// The values a text shader's parameters really start with. Defaults written
// as expressions ("point p = (4,5,6)", "float twice = k * 2") are computed by
// the shader's initialisation code, and the declarations in the file hold
// placeholders. The code is run by the renderer's own loader and
// interpreter, so the inspector computes exactly what a render starts with.
// It is run on a few shading points made up of different values: a default
// that comes out differently (it reads a global, or calls random()) is only
// known per shading point.
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ri_common/rierror.h"
#include "ri/shader.h"
#include "ri/stdtokens.h"
#include "shading/interp.h"
#include "shading/loader.h"
#include "shading_shaderfile/shaderfile.h"
#include "shading_shaderfile/shaderfile_words.h"
#include "shading/shadingpoint.h"
#include "shading/stringids.h"
#include "murnargs_readers.h"

namespace {

// The parameters (by index in the file) that an initialisation section computes.
std::set<size_t> computed_params(const char *path)
{
    std::set<size_t> computed;
    ShaderFileReader in;
    if (!in.open(path)) return computed;
    std::string line;
    while (in.peek() != -1) {
        line.clear();
        while (in.peek() != -1 && in.peek() != '\n') line += static_cast<char>(in.get_char());
        if (line == shaderfile::ENCRYPTED_WORD) in.start_deciphering();
        in.get_char();
        std::istringstream words(line);
        std::string word;
        if (line.empty() || line[0] == '\t' || !(words >> word)) continue;
        if (word == shaderfile::CODE_WORD) break;
        long index;
        if (word == shaderfile::INITCODE_WORD && words >> index && index >= 0) computed.insert(size_t(index));
    }
    return computed;
}

bool run_failed = false;

void note_failure(RtInt, RtInt severity, const char *)
{
    if (severity >= RIE_ERROR) run_failed = true;
}

// A made-up shading point: every global holds values of its own for run k.
void fill_point(ShadingPoint &sv, Shader *s, int k)
{
    const ShadingGlobal *g = shading_globals();
    for (int i = 0; i < SHADING_GLOBAL_COUNT; i++) {
        int n = g[i].type == PtFLOAT ? 1 : g[i].type == PtMATRIX ? 16 : 3;
        if (g[i].type == PtSTRING) continue;
        float *f = global_field(g[i], &sv);
        for (int j = 0; j < n; j++) f[j] = 0.25f + 0.125f * float(k) + 0.03125f * float(j) + 0.0078125f * float(i);
    }
    sv.weight = 1;
    sv.ncomps = 3;
    sv.thisshader = s;
    sv.vars_used = static_cast<uint32_t>(s->flags);
}

// Runs the initialisation code on point k: the parameter block it leaves,
// or an empty one when the run failed.
std::vector<uint32_t> run_init(Shader *s, int k)
{
    ShaderInstance instance(s);
    ShadingPoint sv;
    fill_point(sv, s, k);
    DerivScratch scratch(&sv);
    run_failed = false;
    RtErrorHandler was = ri_set_error_handler(note_failure);
    // Bounded: code that loops without end fails instead of keeping the
    // inspector from ending. Each point is a run of its own.
    s->stack_failed = false;
    if (!run_shader_code_bounded(s, s->init_code.data(), s->init_code.size(), &sv, instance.params(), 10000000))
        run_failed = true;
    ri_set_error_handler(was);
    if (run_failed) return {};
    return instance.block;
}

// Number of floats of a parameter's value (strings: none).
int floats_of(const PARAM_INFO &p)
{
    switch (p.type) {
    case PtFLOAT: return 1;
    case PtPOINT: case PtVECTOR: case PtNORMAL: case PtCOLOR: return 3;
    case PtMATRIX: return 16;
    default: return 0;
    }
}

} // namespace

void murnargs_evaluate_init(const char *path, MurnargsShader &shader)
{
    std::set<size_t> computed = computed_params(path);
    if (computed.empty()) return;
    // Until the code has run, a computed default is not known.
    for (size_t i : computed)
        if (i < shader.params.size()) shader.params[i].known = MurnargsParam::NOT_KNOWN;
    RtErrorHandler was = ri_set_error_handler(note_failure);
    run_failed = false;
    // Without a renderer the named spaces are the written ones: a point
    // default stays in the space the file names.
    predeclare_tokens();
    build_op_table();
    Shader *s = read_text_shader(shader.name.c_str(), path);
    ri_set_error_handler(was);
    if (!s || run_failed || s->init_code.empty()) return;
    const int RUNS = 3;
    std::vector<uint32_t> blocks[RUNS];
    for (int k = 0; k < RUNS; k++) {
        blocks[k] = run_init(s, k);
        if (blocks[k].empty() && s->param_size > 0) return;
    }
    for (size_t i : computed) {
        if (i >= shader.params.size() || !s->params || !s->params[i].name) continue;
        const PARAM_INFO &info = s->params[i];
        MurnargsParam &p = shader.params[i];
        int count = info.howmany > 0 ? info.howmany : 1;
        if (info.type == PtSTRING && count == 1 && size_t(info.offset) + 4 <= size_t(s->param_size)) {
            // Strings are held by their ids; a string is the same on every point.
            uint32_t id[RUNS];
            for (int k = 0; k < RUNS; k++)
                std::memcpy(&id[k], reinterpret_cast<const char *>(blocks[k].data()) + info.offset, 4);
            const char *text = string_from_id(id[0]);
            if (id[1] != id[0] || id[2] != id[0] || !text) {
                p.known = id[1] != id[0] || id[2] != id[0] ? MurnargsParam::PER_POINT : MurnargsParam::NOT_KNOWN;
                continue;
            }
            p.known = MurnargsParam::KNOWN;
            p.defaulted = true;
            p.flags |= MA_HAS_DEFAULT;
            p.text = text;
            continue;
        }
        int n = floats_of(info);
        if (n == 0 || info.offset < 0 || size_t(info.offset) + size_t(n * count) * 4 > size_t(s->param_size)) continue;
        std::vector<float> v[RUNS];
        for (int k = 0; k < RUNS; k++) {
            const char *at = reinterpret_cast<const char *>(blocks[k].data()) + info.offset;
            v[k].resize(size_t(n * count));
            std::memcpy(v[k].data(), at, v[k].size() * 4);
        }
        bool same = true;
        for (int k = 1; k < RUNS; k++)
            same = same && std::memcmp(v[k].data(), v[0].data(), v[0].size() * 4) == 0;
        if (!same) {
            p.known = MurnargsParam::PER_POINT;
            continue;
        }
        p.known = MurnargsParam::KNOWN;
        p.defaulted = true;
        p.flags |= MA_HAS_DEFAULT;
        p.array_values.clear();
        if (p.array_length > 0) p.array_values = v[0];
        else for (int j = 0; j < n && j < 16; j++) p.values[j] = v[0][size_t(j)];
    }
}
