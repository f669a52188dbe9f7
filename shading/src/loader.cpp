// The compiled-shader text loader: version check, optional enciphered body,
// kind, name, parameter and local declarations with their defaults, and the
// code and initialisation-code sections.
#include "shading/loader.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/arch.h"
#include "platform/dynlib.h"
#include "platform/files.h"
#include "ri/declarations.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri_common/searchpath.h"
#include "ri/shader.h"
#include "ri/tokens.h"
#include "shading/interp.h"
#include "shading/nametable.h"
#include "shading_shaderfile/shaderfile.h"
#include "shading_shaderfile/shaderfile_words.h"
#include "shading/stringids.h"
#include "shading_shaderfile/varsused.h"

namespace {

const uint32_t MAX_SEGMENT_BYTES = 0x1000000;   // offsets have 24 bits

int current_verbosity()
{
    return current_renderer ? current_renderer->options.verbosity : 0;
}

// In a light shader these globals name the light's own copies.
const char *light_view_name(const std::string &name)
{
    static const char *const pairs[][2] = {{"P", "Pl"}, {"Ps", "P"}, {"N", "Nl"}, {"Ng", "Ngl"},
                                           {"u", "ul"}, {"v", "vl"}, {"s", "sl"}, {"t", "tl"}};
    for (const auto &p : pairs)
        if (name == p[0]) return p[1];
    return nullptr;
}

// Lookups that take the neighbours only to size their filter from one
// point: given corners (this many positional floats) need none.
struct CornerCall {
    const char *op;
    int corners;
};
const CornerCall CORNER_CALLS[] = {
    {"ftexture", 8}, {"ctexture", 8}, {"fenvironment", 4}, {"cenvironment", 4}, {"shadow", 4},
};

// The bits a lookup adds, given its positional count when that is a constant
// (negative when not): texture() over the point's own s and t sizes its
// filter from du and dv, and given corners need nothing of the neighbours.
uint32_t lookup_flags(const std::string &op, uint32_t flags, float positional)
{
    for (const CornerCall &c : CORNER_CALLS)
        if (op == c.op) {
            bool own_st = c.corners == 8 && positional == 0;
            if (own_st || positional == float(c.corners)) return flags & ~uint32_t(VU_NEIGHBOURS);
        }
    return flags;
}

uint32_t float_word(float f)
{
    uint32_t w;
    std::memcpy(&w, &f, 4);
    return w;
}

// One code array with its labels and the label operands to fix up.
struct CodeArray {
    std::vector<uint32_t> words;
    std::map<long, size_t> labels;       // label number -> word index
    std::vector<std::pair<size_t, long>> fixups;   // word index, label number
};

class TextShaderLoader {
public:
    TextShaderLoader(const char *name, const char *path, FILE *stream);
    Shader *load();

private:
    // Reports through shader_read_error.
    void error(const char *format, const std::string &what);
    bool read_header();
    bool read_declarations(bool is_param, bool is_output);
    bool read_default(int type, bool is_param, std::vector<uint32_t> &words, const char **space);
    void read_code(CodeArray &code);
    void read_operand(CodeArray &code);
    bool read_number(float &value);
    bool finish_labels(CodeArray &code);
    Shader *make_shader();

    ShaderFileReader rd_;
    const char *name_;
    std::string path_;
    FILE *stream_;
    int kind_ = -1;
    int flags_ = 0;
    bool refused_ = false;           // bad operands or labels: reported, the load fails
    bool has_code_ = false;
    bool has_output_ = false;
    std::vector<PARAM_INFO> params_;
    std::vector<uint32_t> param_words_;
    std::vector<uint32_t> local_words_;
    std::vector<Shader::ArraySymbol> arrays_;
    std::deque<GlobalVarInfo> symbols_;
    CodeArray code_, init_;
};

TextShaderLoader::TextShaderLoader(const char *name, const char *path, FILE *stream)
    : name_(name), path_(path ? path : ""), stream_(stream)
{
}

void TextShaderLoader::error(const char *format, const std::string &what)
{
    std::string message(format);
    size_t at = message.find("%s");
    if (at != std::string::npos) message.replace(at, 2, what);
    shader_read_error(rd_.file_name().c_str(), rd_.line(), message.c_str());
}

bool TextShaderLoader::read_number(float &value)
{
    std::string t;
    int k = rd_.next_token(t);
    if (k != TOK_NUMBER) {
        rd_.push_back(k, t);
        return false;
    }
    value = std::strtof(t.c_str(), nullptr);
    return true;
}

// Optional version line, then an optional "encrypted" (only here), then the
// kind and the name.
bool TextShaderLoader::read_header()
{
    std::string t;
    int k = rd_.next_token(t);
    if (k == TOK_IDENT && t == shaderfile::VERSION_WORD) {
        std::string tag;
        rd_.next_token(tag);
        if (tag != shaderfile::VERSION_TAG) {
            ri_error(RIE_BADFILE, RIE_ERROR, "Unrecognized compiled shader version \"%s\"",
                     tag.c_str());
        } else {
            std::string a, b;
            int ka = rd_.next_token(a);
            int kb = 0;
            if (ka == TOK_NUMBER) {
                kb = rd_.next_token(b);
                if (kb != TOK_NUMBER) rd_.push_back(kb, b);
            } else {
                rd_.push_back(ka, a);
            }
            int v[3] = {0, 0, 0};
            if (ka == TOK_NUMBER) std::sscanf(a.c_str(), "%d.%d", &v[0], &v[1]);
            if (kb == TOK_NUMBER) std::sscanf(b.c_str(), ".%d", &v[2]);
            // A suffix follows the numbers without a blank.
            if (kb == TOK_NUMBER && is_identifier_start(rd_.peek())) rd_.read_identifier();
            if (version_is_newer(v)) {
                report_newer_shader(path_.c_str(), v);
                return false;
            }
        }
        k = rd_.next_token(t);
    }
    if (k == TOK_IDENT && t == shaderfile::ENCRYPTED_WORD) {
        rd_.start_deciphering();
        k = rd_.next_token(t);
    }
    kind_ = k == TOK_IDENT ? shaderfile::kind_of_word(t.c_str()) : -1;
    if (kind_ < 0) {
        error("Unknown shader type %s", t);
        return false;
    }
    k = rd_.next_token(t);   // the shader's own name: the requested one is used
    if (k == TOK_END) {
        error("Invalid structure %s", "");
        return false;
    }
    return true;
}

bool TextShaderLoader::read_default(int type, bool is_param, std::vector<uint32_t> &words,
                                    const char **space)
{
    std::string t;
    float first = 0, more = 0;
    switch (type) {
    case PtFLOAT:
        if (!read_number(first)) return false;
        words.push_back(float_word(first));
        return true;
    case PtPOINT: case PtVECTOR: case PtNORMAL: case PtCOLOR: {
        if (!read_number(first)) return false;
        float v[3] = {first, first, first};
        if (read_number(more)) {
            v[1] = more;
            if (!read_number(v[2])) return false;
        }
        for (float f : v) words.push_back(float_word(f));
        if (is_param) {
            int k = rd_.next_token(t);
            if (k == TOK_STRING) *space = NewToken(t.c_str());
            else rd_.push_back(k, t);
        }
        return true;
    }
    case PtMATRIX: {
        if (!read_number(first)) return false;
        float m[16] = {0};
        if (read_number(more)) {
            m[0] = first;
            m[1] = more;
            for (int i = 2; i < 16; ++i)
                if (!read_number(m[i])) return false;
        } else {
            m[0] = m[5] = m[10] = m[15] = first;
        }
        for (float f : m) words.push_back(float_word(f));
        return true;
    }
    case PtSTRING: {
        int k = rd_.next_token(t);
        if (k != TOK_STRING) {
            rd_.push_back(k, t);
            return false;
        }
        words.push_back(string_id(t.c_str()));
        return true;
    }
    }
    return false;
}

// Declarations until a section word or the end of the file.
bool TextShaderLoader::read_declarations(bool is_param, bool is_output)
{
    NameTable &table = global_variable_table();
    std::string t;
    for (;;) {
        int k = rd_.next_token(t);
        if (k == TOK_END) return true;
        if (k == TOK_IDENT && shaderfile::is_section_word(t.c_str())) {
            rd_.push_back(k, t);
            return true;
        }
        int detail = DETAIL_UNIFORM;
        if (k == TOK_IDENT && (t == shaderfile::VARYING_WORD || t == shaderfile::UNIFORM_WORD)) {
            detail = t == shaderfile::VARYING_WORD ? DETAIL_VARYING : DETAIL_UNIFORM;
            k = rd_.next_token(t);
        }
        int type = k == TOK_IDENT ? shaderfile::type_of_word(t.c_str()) : 0;
        if (!type) {
            error("Bad data type: %s", t);
            rd_.push_back(k, t);
            return true;   // the section loop refuses the word
        }
        std::string name;
        if (rd_.next_token(name) != TOK_IDENT) {
            error("Invalid structure %s", name);
            return false;
        }
        long count = 1;
        bool is_array = false;
        k = rd_.next_token(t);
        if (k == '[') {
            float n = 0;
            if (!read_number(n) || !(n >= 1 && n <= 1e6) || rd_.next_token(t) != ']') {
                error("Invalid structure %s", name);
                return false;
            }
            count = static_cast<long>(n);
            is_array = true;
        } else {
            rd_.push_back(k, t);
        }
        std::vector<uint32_t> element;
        const char *space = nullptr;
        if (!read_default(type, is_param, element, &space)) {
            rd_.next_token(t);
            error("Invalid structure %s", t);
            return false;
        }
        std::vector<uint32_t> &block = is_param ? param_words_ : local_words_;
        size_t first_word = block.size();
        // Elements after the first take the first one's value.
        for (long i = 0; i < count; ++i) block.insert(block.end(), element.begin(), element.end());
        if (block.size() * 4 >= MAX_SEGMENT_BYTES) {
            error("Invalid structure %s", name);
            return false;
        }
        const char *interned = NewToken(name.c_str());
        uint32_t offset = static_cast<uint32_t>(first_word * 4);
        if (is_param) {
            PARAM_INFO p;
            p.name = interned;
            p.type = static_cast<char>(type);
            p.detail = static_cast<char>(detail);
            p.isarray = is_array ? 1 : 0;
            p.isoutput = is_output ? 1 : 0;
            p.howmany = static_cast<int32_t>(count);
            p.size = static_cast<int32_t>((block.size() - first_word) * 4);
            p.offset = static_cast<int32_t>(offset);
            p.space = space;
            p.initval = nullptr;
            params_.push_back(p);
        }
        uint32_t address = segment_address(is_param ? SEG_PARAM : SEG_LOCAL, offset);
        symbols_.push_back({is_param ? GV_PARAM : GV_LOCAL, type, address, 0});
        // A shader's own variable named like a global (a parameter "t" or "Cs")
        // is what its code names; the global stays out of reach in this shader.
        const GlobalVarInfo *seen = static_cast<const GlobalVarInfo *>(table.lookup(interned));
        bool hides_global = seen && seen->kind == GV_GLOBAL;
        if (is_array && (!seen || hides_global))
            arrays_.push_back({address, static_cast<int32_t>(count)});
        if (hides_global)
            table.add_hiding(interned, &symbols_.back());
        else
            table.add(interned, &symbols_.back());
    }
}

void TextShaderLoader::read_operand(CodeArray &code)
{
    std::string t;
    int k = rd_.next_token(t);
    const GlobalVarInfo *g = nullptr;
    if (k == TOK_IDENT) {
        NameTable &table = global_variable_table();
        g = static_cast<const GlobalVarInfo *>(table.lookup(t.c_str()));
        if (g && g->kind == GV_GLOBAL && kind_ == SH_LIGHT) {
            // The globals are the oldest entries: a parameter of the view's
            // name does not take its place.
            if (const char *view = light_view_name(t))
                g = static_cast<const GlobalVarInfo *>(table.lookup_oldest(view));
        }
    }
    if (!g) {
        error("Bad argument: %s", t);
        refused_ = true;
        code.words.push_back(0);
        return;
    }
    if (g->kind == GV_GLOBAL) flags_ |= g->flags;
    code.words.push_back(g->address);
}

// Instructions until a section word or the end of the file.
void TextShaderLoader::read_code(CodeArray &code)
{
    std::string t;
    // The immediate values of the last two instructions when both were
    // pushif (the positional count, then the argument count, of a lookup).
    float pushed[2] = {-1, -1};
    int pushes = 0;
    for (;;) {
        int k = rd_.next_token(t);
        if (k == TOK_END) return;
        if (k == TOK_IDENT && shaderfile::is_section_word(t.c_str())) {
            rd_.push_back(k, t);
            return;
        }
        if (k == TOK_IDENT && t == shaderfile::LABEL_WORD) {
            float n = -1;
            if (!read_number(n) || !(n >= 0 && n < 2147483648.0f && n == static_cast<float>(static_cast<long>(n))) ||
                code.labels.count(static_cast<long>(n))) {
                error("Bad label", "");
                refused_ = true;
                continue;
            }
            code.labels[static_cast<long>(n)] = code.words.size();
            pushes = 0;
            continue;
        }
        const OpInfo *op = k == TOK_IDENT ? find_op(t.c_str()) : nullptr;
        if (!op) {
            error("Bad instruction: %s", t);
            continue;
        }
        code.words.push_back(static_cast<uint32_t>(op->opcode));
        flags_ |= static_cast<int>(lookup_flags(t, op->flags, pushes == 2 ? pushed[0] : -1));
        const bool pushif = t == "pushif";
        if (!pushif) pushes = 0;
        if (pushif || t == "pushiv") {
            int n = pushif ? 1 : 3;
            for (int i = 0; i < n; ++i) {
                float f = 0;
                bool read = read_number(f);
                if (!read) {
                    std::string bad;
                    rd_.next_token(bad);
                    error("Bad argument: %s", bad);
                    refused_ = true;
                }
                code.words.push_back(float_word(f));
                if (pushif) {
                    pushed[0] = pushed[1];
                    pushed[1] = read ? f : -1;
                    pushes = pushes < 2 ? pushes + 1 : 2;
                }
            }
        } else if (op->label) {
            float n = -1;
            // A label number is an index: finite and within an int.
            if (!read_number(n) || !(n >= 0 && n < 2147483648.0f)) {
                error("Bad label", "");
                refused_ = true;
                n = 0;
            }
            code.fixups.push_back({code.words.size(), static_cast<long>(n)});
            code.words.push_back(0);
        } else if (t == "dsoop") {
            float n = -1;
            if (!read_number(n) || !(n >= 0 && n <= 64)) {
                error("Bad argument: %s", "dsoop");
                refused_ = true;
                n = 0;
            }
            code.words.push_back(static_cast<uint32_t>(n));
            for (int i = 0; i < static_cast<int>(n); ++i) read_operand(code);
        } else {
            for (int i = 0; i < op->operands; ++i) read_operand(code);
        }
    }
}

// Label operands become byte offsets within their own array; an undefined
// label refuses the load.
bool TextShaderLoader::finish_labels(CodeArray &code)
{
    static const uint32_t return_opcode = static_cast<uint32_t>(find_op("return")->opcode);
    code.words.push_back(return_opcode);   // every code stream ends in a return
    bool ok = true;
    for (const auto &f : code.fixups) {
        auto it = code.labels.find(f.second);
        if (it == code.labels.end() || it->second >= code.words.size()) {
            error("Bad label", "");
            ok = false;
            continue;
        }
        code.words[f.first] = static_cast<uint32_t>(4 * it->second);
    }
    return ok;
}

Shader *TextShaderLoader::make_shader()
{
    PARAM_INFO end;
    std::memset(&end, 0, sizeof end);
    params_.push_back(end);
    Shader *s = register_shader(name_, nullptr, nullptr, params_.data(), nullptr, kind_);
    s->file = path_;
    s->own_params = std::move(params_);
    s->params = s->own_params.data();
    s->defaults = std::move(param_words_);
    s->run = run_compiled_shader;
    s->local_size = static_cast<int>(local_words_.size() * 4);
    s->local_init = std::move(local_words_);
    s->code = std::move(code_.words);
    s->init_code = std::move(init_.words);
    s->arrays = std::move(arrays_);
    s->deriv_size = 0;
    s->has_output_params = has_output_ ? 1 : 0;
    s->flags = flags_;
    int nparams = s->param_count();
    // The statistics count a parameter row as 7 words and 88 bytes of record,
    // whatever this build's sizes are, so the figures stay comparable.
    s->memory = s->local_size + 4 * (static_cast<int64_t>(s->init_code.size()) + 7 * nparams +
                                     static_cast<int64_t>(s->code.size()) +
                                     static_cast<int64_t>(s->defaults.size())) + 88;
    ShaderCounters &c = shader_counters();
    c.prototype_memory.add(s->memory);
    c.loaded++;
    if (current_verbosity() & VERBOSE_DEBUG) {
        std::printf("Made new shader: %s\n", s->name);
        std::printf("  Number of parameters = %d\n", nparams);
        std::printf("  Param block size = %d\n", s->param_size);
        std::printf("  Local space size = %d\n", s->local_size);
        std::printf("  Code size = %d\n", static_cast<int>(s->code.size() * 4));
        std::printf("  Init Code size = %d\n", static_cast<int>(s->init_code.size() * 4));
        std::printf("  Derivative scratch space = %d\n", s->deriv_size);
        std::printf("  Global flag = %d\n", s->flags);
    }
    return s;
}

Shader *TextShaderLoader::load()
{
    if (!rd_.open(path_.c_str(), stream_)) return nullptr;
    velk::remember_input(path_.c_str());   // no picture of this frame replaces it
    build_op_table();
    register_global_variables();
    NameTable &table = global_variable_table();
    int table_size = table.count();
    bool ok = read_header();
    std::string t;
    while (ok) {
        int k = rd_.next_token(t);
        if (k == TOK_END) break;
        if (k == TOK_IDENT && (t == shaderfile::PARAM_WORD || t == shaderfile::OUTPUT_PARAM_WORD)) {
            bool out = t == shaderfile::OUTPUT_PARAM_WORD;
            if (out) has_output_ = true;
            ok = read_declarations(true, out);
        } else if (k == TOK_IDENT && t == shaderfile::LOCAL_WORD) {
            ok = read_declarations(false, false);
        } else if (k == TOK_IDENT && t == shaderfile::CODE_WORD) {
            has_code_ = true;
            read_code(code_);
        } else if (k == TOK_IDENT && t == shaderfile::INITCODE_WORD) {
            float ignored;
            read_number(ignored);
            read_code(init_);
        } else {
            error("Invalid structure %s", t);
            ok = false;
        }
    }
    // A file cut short would load with part of its code and run wrong.
    if (ok && (!has_code_ || rd_.last_word() != shaderfile::RETURN_WORD)) {
        error("%s", shaderfile::CUT_SHORT_MESSAGE);
        ok = false;
    }
    Shader *s = nullptr;
    if (ok) {
        bool labels_ok = finish_labels(code_);
        if (!init_.words.empty() || !init_.fixups.empty())
            labels_ok = finish_labels(init_) && labels_ok;
        if (labels_ok && !refused_) s = make_shader();
    }
    rd_.close();
    table.set_count(table_size);
    return s;
}

} // namespace

void shader_read_error(const char *file, int line, const char *message)
{
    ri_error(RIE_NOSHADER, RIE_ERROR, "Error reading shader file %s\n (%d) %s\n", file ? file : "",
             line, message);
}

bool parse_version(const char *text, int version[3])
{
    version[0] = version[1] = version[2] = 0;
    return text && std::sscanf(text, "%d.%d.%d", &version[0], &version[1], &version[2]) == 3;
}

bool version_is_newer(const int v[3])
{
    int mine[3];
    parse_version(RENDERER_VERSION, mine);
    for (int i = 0; i < 3; ++i)
        if (v[i] != mine[i]) return v[i] > mine[i];
    return false;
}

void report_newer_shader(const char *path, const int v[3])
{
    ri_error(RIE_BADFILE, RIE_ERROR,
             "Shader \"%s\" was compiled by a more recent VELK\n\tYou can only render this shader "
             "with VELK %d.%d.%d or newer",
             path, v[0], v[1], v[2]);
}

Shader *read_text_shader(const char *name, const char *path, FILE *stream)
{
    TextShaderLoader loader(name, path, stream);
    return loader.load();
}

Shader *load_compiled_shader(const char *name)
{
    if (!name || !*name) return nullptr;
    std::string native = std::string(name) + "." + velk::ARCH_CODE + ".murn";
    std::string text = std::string(name) + ".murn";
    const char *option_path = current_renderer ? current_renderer->options.shader_path : nullptr;
    const char *env_path = std::getenv("VELKSHADERS");
    if (!env_path) env_path = std::getenv("SHADERS");
    if (!env_path) env_path = "";
    std::string found;
    int which = find_either_in_path(native.c_str(), text.c_str(), option_path, found);
    if (!which) which = find_either_in_path(native.c_str(), text.c_str(), env_path, found);
    if (!which) which = find_either_in_path(native.c_str(), text.c_str(), standard_shader_path(), found);
    if (which == 1) {
        velk::DynLib *lib = nullptr;
        if (find_dso(found.c_str(), "", &lib) != DSO_LOADED) {
            ri_error(RIE_NOSHADER, RIE_WARNING, "Found DSO %s, but couldn't dlopen: %s",
                     found.c_str(), velk::dynlib_last_error());
            return nullptr;
        }
        return load_dso_shader(name, found.c_str(), lib);
    }
    if (which == 2) {
        if (current_verbosity() & VERBOSE_VERBOSE) std::printf("Reading shader file %s\n", found.c_str());
        return read_text_shader(name, found.c_str());
    }
    return nullptr;
}
