// Reading the interface of a native shader library from its exports.
#include <cstdio>
#include <cstring>

#include "platform/dynlib.h"
#include "ri/declarations.h"
#include "shading/native_shader.h"
#include "shading_shaderfile/shaderfile_words.h"
#include "murnargs_readers.h"

namespace {

template <class T>
T *export_of(velk::DynLib *lib, const char *name)
{
    return static_cast<T *>(velk::dynlib_symbol(lib, name));
}

int detail_code(int detail)
{
    if (detail == DETAIL_VARYING || detail == DETAIL_VERTEX) return MA_VARYING;
    if (detail == DETAIL_CONSTANT || detail == DETAIL_UNIFORM) return MA_UNIFORM;
    return MA_DETAIL_UNKNOWN;
}

MurnargsParam param_of(const PARAM_INFO &info)
{
    MurnargsParam p;
    p.name = info.name;
    p.type = murnargs_type_code(info.type);
    p.detail = detail_code(info.detail);
    p.storage = info.isoutput ? MA_OUTPUTPARAMETER : MA_PARAMETER;
    if (info.space) {
        p.has_space = true;
        p.space = info.space;
    }
    p.array_length = info.howmany >= 2 ? info.howmany : 0;
    if (info.initval) p.flags |= MA_HAS_DEFAULT;
    if (!info.initval) return p;
    const float *f = static_cast<const float *>(info.initval);
    int n = 0;
    switch (p.type) {
    case MA_FLOAT: n = 1; break;
    case MA_MATRIX: n = 16; break;
    case MA_POINT: case MA_VECTOR: case MA_NORMAL: case MA_COLOR: n = 3; break;
    default: break;
    }
    if (info.isarray) {
        // A numeric array's default holds every element.
        if (n && info.howmany > 0) {
            p.array_values.assign(f, f + size_t(n) * size_t(info.howmany));
            p.defaulted = true;
        }
        return p;
    }
    switch (p.type) {
    case MA_STRING:
        // A string default is the text itself.
        p.text = static_cast<const char *>(info.initval);
        p.defaulted = true;
        break;
    default: break;
    }
    if (n) {
        std::memcpy(p.values, f, sizeof(float) * static_cast<size_t>(n));
        p.defaulted = true;
    }
    return p;
}

} // namespace

int murnargs_type_code(int param_type)
{
    switch (param_type) {
    case PtFLOAT: return MA_FLOAT;
    case PtPOINT: return MA_POINT;
    case PtCOLOR: return MA_COLOR;
    case PtSTRING: return MA_STRING;
    case PtVECTOR: return MA_VECTOR;
    case PtNORMAL: return MA_NORMAL;
    case PtMATRIX: return MA_MATRIX;
    default: return MA_UNKNOWN;
    }
}

bool murnargs_read_dso(const char *path, velk::DynLib *lib, MurnargsShader &shader)
{
    const char **name = export_of<const char *>(lib, shaderfile::EXPORT_NAME);
    shader.name = name && *name ? *name : path;
    const char **kind = export_of<const char *>(lib, shaderfile::EXPORT_KIND);
    shader.kind = kind && *kind ? murnargs_kind_of_word(*kind) : MA_UNKNOWN;
    if (shader.kind == MA_UNKNOWN) return false;
    int *size = export_of<int>(lib, shaderfile::EXPORT_PARAM_INFO_SIZE);
    if (!size || *size != VELK_PARAM_INFO_SIZE) {
        std::fprintf(stderr,
                     "murnargs error: Compiled shader %s reports a different size of the\n\tPARAM_INFO structure.  "
                     "Recompile!\n",
                     path);
        return false;
    }
    const PARAM_INFO *info = export_of<const PARAM_INFO>(lib, shaderfile::EXPORT_PARAM_INFO);
    for (; info && info->name; ++info) shader.params.push_back(param_of(*info));
    return true;
}
