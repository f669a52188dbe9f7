#include "glparams.h"

#include <cstring>

#include "ri/declvalue.h"

float GlParam::f(int i) const
{
    return decl ? decl_float(decl, value, i) : 0.0f;
}

int GlParam::i(int k) const
{
    return decl ? decl_int(decl, value, k) : 0;
}

const float *GlParam::floats() const
{
    if (!decl || !value || decl->type == DECL_STRING || decl->type == DECL_INTEGER || decl->type == DECL_UNKNOWN)
        return nullptr;
    return static_cast<const float *>(value);
}

const char *GlParam::string() const
{
    return decl ? decl_string(decl, value) : nullptr;
}

GlParam find_param(RtInt n, const RtToken tokens[], const RtPointer values[], const char *name)
{
    GlParam p;
    if (!tokens || !values) return p;
    for (RtInt k = 0; k < n; k++) {
        if (!tokens[k]) continue;
        Declaration *d = declarations().lookup(tokens[k]);
        if (!d || !d->name() || std::strcmp(d->name(), name) != 0) continue;
        p.decl = d;
        p.value = values[k];
        return p;
    }
    return p;
}
