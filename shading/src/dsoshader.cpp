// Native shader libraries: the exports are checked against this build's
// record sizes and the library's parameter table is taken as it stands.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/dynlib.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/shader.h"
#include "ri/tokens.h"
#include "shading/loader.h"
#include "shading/native_shader.h"
#include "shading_shaderfile/shaderfile_words.h"
#include "shading/shadingpoint.h"

static_assert(VELK_SHADERVARS_SIZE == sizeof(ShaderVars),
              "native shaders are built against the shading point's size");

namespace {

template <class T>
T *export_of(velk::DynLib *lib, const char *name)
{
    return static_cast<T *>(velk::dynlib_symbol(lib, name));
}

bool check_size(velk::DynLib *lib, const char *export_name, int want, const char *record,
                const char *path)
{
    int *size = export_of<int>(lib, export_name);
    if (size && *size == want) return true;
    ri_error(RIE_BADFILE, RIE_ERROR,
             "Compiled shader %s reports a different size of the\n\t%s structure.  Recompile!",
             path, record);
    return false;
}

} // namespace

Shader *load_dso_shader(const char *name, const char *path, velk::DynLib *lib)
{
    const char **version = export_of<const char *>(lib, shaderfile::EXPORT_VERSION);
    if (!version || !*version) {
        ri_error(RIE_BADFILE, RIE_ERROR, "No compiled shader version ");
        return nullptr;
    }
    const size_t tag_size = std::strlen(shaderfile::VERSION_TAG);
    if (std::strncmp(*version, shaderfile::VERSION_TAG, tag_size) != 0)
        ri_error(RIE_BADFILE, RIE_ERROR, "Unrecognized compiled shader version \"%s\"", *version);
    int v[3];
    if (parse_version(std::strlen(*version) >= tag_size ? *version + tag_size : "", v) && version_is_newer(v)) {
        report_newer_shader(path, v);
        return nullptr;
    }
    if (!check_size(lib, shaderfile::EXPORT_SHADERVARS_SIZE, VELK_SHADERVARS_SIZE, "ShaderVars", path)) return nullptr;
    if (!check_size(lib, shaderfile::EXPORT_PARAM_INFO_SIZE, VELK_PARAM_INFO_SIZE, "PARAM_INFO", path)) return nullptr;
    const char **type_word = export_of<const char *>(lib, shaderfile::EXPORT_KIND);
    int kind = type_word ? shaderfile::kind_of_word(*type_word) : -1;
    if (kind < 0) {
        std::string message = std::string("Unknown shader type ") + (type_word && *type_word ? *type_word : "");
        shader_read_error(path, 0, message.c_str());
        return nullptr;
    }
    ShaderRunFunc run = velk::dynlib_function<ShaderRunFunc>(lib, name);
    if (!run) {
        ri_error(RIE_BADFILE, RIE_ERROR, "Compiled shader %s has no shader function \"%s\"", path, name);
        return nullptr;
    }
    PARAM_INFO *params = export_of<PARAM_INFO>(lib, shaderfile::EXPORT_PARAM_INFO);
    for (PARAM_INFO *p = params; p && p->name; ++p) {
        p->name = NewToken(p->name);
        if (p->space) p->space = NewToken(p->space);
    }
    int *paramsize = export_of<int>(lib, shaderfile::EXPORT_PARAM_SIZE);
    ShaderRunFunc init = velk::dynlib_function<ShaderRunFunc>(lib, shaderfile::EXPORT_INIT);
    unsigned *varsused = export_of<unsigned>(lib, shaderfile::EXPORT_VARS_USED);

    Shader *s = register_shader(name, run, init, params, nullptr, kind);
    int bytes = paramsize && *paramsize > s->param_size ? *paramsize : s->param_size;
    s->defaults.assign((bytes + 3) / 4, 0);
    s->flags = varsused ? static_cast<int>(*varsused) : 0;
    s->dll = lib;
    s->file = path ? path : "";
    if (current_renderer && (current_renderer->options.verbosity & VERBOSE_VERBOSE))
        std::printf("Read dso %s\n", path);
    return s;
}
