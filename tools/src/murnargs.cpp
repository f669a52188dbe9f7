#include "tools/murnargs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/arch.h"
#include "platform/dynlib.h"
#include "ri_common/searchpath.h"
#include "shading_shaderfile/shaderfile_words.h"
#include "murnargs_readers.h"

namespace {

struct State {
    std::string path;
    bool open = false;
    MurnargsShader shader;
    velk::DynLib *lib = nullptr;
    std::string error;   // what is wrong with the file the last open found
};

State &state()
{
    static State s;
    return s;
}

const char *const TYPE_WORDS[] = {"unknown", "point", "color", "float", "string", "surface", "light",
                                  "displacement", "volume", "transformation", "imager", "vector",
                                  "normal", "matrix"};
const char *const STORAGE_WORDS[] = {"unknown", "constant", "variable", "temporary",
                                     "parameter", "outputparameter", "gstate"};
const char *const DETAIL_WORDS[] = {"unknown", "varying", "uniform"};

template <size_t N>
const char *word_of(const char *const (&words)[N], int code)
{
    return code >= 0 && static_cast<size_t>(code) < N ? words[code] : nullptr;
}

std::string environment_path()
{
    const char *p = std::getenv("VELKSHADERS");
    if (!p) p = std::getenv("SHADERS");
    return p ? p : "";
}

} // namespace

const char *murnargs_type_name(int code) { return word_of(TYPE_WORDS, code); }
const char *murnargs_storage_name(int code) { return word_of(STORAGE_WORDS, code); }
const char *murnargs_detail_name(int code) { return word_of(DETAIL_WORDS, code); }

int murnargs_kind_of_word(const std::string &word)
{
    // By SHADER_TYPES code.
    static const int kinds[] = {MA_SURFACE,      MA_LIGHT,          MA_VOLUME,
                                MA_DISPLACEMENT, MA_TRANSFORMATION, MA_IMAGER};
    static_assert(sizeof kinds / sizeof kinds[0] == shaderfile::KIND_COUNT, "a code per kind");
    int kind = shaderfile::kind_of_word(word.c_str());
    return kind < 0 ? MA_UNKNOWN : kinds[kind];
}

void murnargs_set_path(const char *path)
{
    std::string &p = state().path;
    if (path && path[0] == '&') p += path + 1;
    else p = path ? path : "";
}

const char *murnargs_get_path()
{
    return state().path.c_str();
}

void murnargs_set_error(const std::string &what)
{
    state().error = what;
}

const char *murnargs_error()
{
    return state().error.c_str();
}

int murnargs_open(const char *name)
{
    murnargs_release();
    state().error.clear();
    if (!name || !*name) return -1;
    State &s = state();
    std::string native = std::string(name) + "." + velk::ARCH_CODE + ".murn";
    std::string text = std::string(name) + ".murn";
    std::string found;
    int which = find_either_in_path(native.c_str(), text.c_str(), s.path.c_str(), found);
    if (!which) which = find_either_in_path(native.c_str(), text.c_str(), environment_path().c_str(), found);
    if (!which) which = find_either_in_path(native.c_str(), text.c_str(), standard_shader_path(), found);
    if (!which) return -1;

    MurnargsShader shader;
    if (which == 1) {
        s.lib = velk::dynlib_open(found.c_str());
        if (!s.lib) {
            std::fprintf(stderr, "Found DSO %s, but couldn't dlopen: %s\n", found.c_str(), velk::dynlib_last_error());
            s.error = found + ": cannot be loaded";
            return -1;
        }
        if (!murnargs_read_dso(found.c_str(), s.lib, shader)) {
            murnargs_release();
            s.error = found + ": refused";
            return -1;
        }
    } else if (!murnargs_read_text(found.c_str(), shader)) {
        s.error = found + ": " + (s.error.empty() ? std::string("refused") : s.error);
        return -1;
    } else {
        murnargs_evaluate_init(found.c_str(), shader);
    }
    s.shader = std::move(shader);
    s.open = true;
    return 0;
}

const char *murnargs_shader_name()
{
    return state().open ? state().shader.name.c_str() : nullptr;
}

int murnargs_shader_type()
{
    return state().open ? state().shader.kind : MA_UNKNOWN;
}

int murnargs_param_count()
{
    return static_cast<int>(state().shader.params.size());
}

const MurnargsParam *murnargs_param_by_name(const char *name)
{
    for (const MurnargsParam &p : state().shader.params)
        if (name && p.name == name) return &p;
    return nullptr;
}

const MurnargsParam *murnargs_param_by_index(int i)
{
    if (i < 1 || i > murnargs_param_count()) return nullptr;
    return &state().shader.params[static_cast<size_t>(i - 1)];
}

void murnargs_release()
{
    State &s = state();
    s.shader = MurnargsShader();
    s.open = false;
    velk::dynlib_close(s.lib);
    s.lib = nullptr;
}
