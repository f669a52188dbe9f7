// The texture-making RI procedures, V and varargs forms.
#include "ri/texture_making.h"

#include <cstdarg>

#include "ri/paramlist.h"

namespace {
const TextureMaking *making = nullptr;
} // namespace

void install_texture_making(const TextureMaking *procs) { making = procs; }

#define GATHER(last)              \
    va_list ap;                   \
    va_start(ap, last);           \
    int n = collect_varargs(ap);  \
    va_end(ap)

extern "C" {

RtVoid RiMakeTextureV(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                      RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (making) making->texture(pic, tex, swrap, twrap, filter, swidth, twidth, n, tokens, params);
}

RtVoid RiMakeBumpV(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                   RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (making) making->bump(pic, tex, swrap, twrap, filter, swidth, twidth, n, tokens, params);
}

RtVoid RiMakeLatLongEnvironmentV(RtString pic, RtString tex, RtFilterFunc filter, RtFloat swidth,
                                 RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (making) making->latlong(pic, tex, filter, swidth, twidth, n, tokens, params);
}

RtVoid RiMakeCubeFaceEnvironmentV(RtString px, RtString nx, RtString py, RtString ny, RtString pz,
                                  RtString nz, RtString tex, RtFloat fov, RtFilterFunc filter,
                                  RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[],
                                  RtPointer params[])
{
    if (making)
        making->cubeface(px, nx, py, ny, pz, nz, tex, fov, filter, swidth, twidth, n, tokens, params);
}

RtVoid RiMakeShadowV(RtString pic, RtString tex, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (making) making->shadow(pic, tex, n, tokens, params);
}

RtVoid RiMakeTexture(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                     RtFloat swidth, RtFloat twidth, ...)
{
    GATHER(twidth);
    RiMakeTextureV(pic, tex, swrap, twrap, filter, swidth, twidth, n, varargs_tokens, varargs_values);
}

RtVoid RiMakeBump(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                  RtFloat swidth, RtFloat twidth, ...)
{
    GATHER(twidth);
    RiMakeBumpV(pic, tex, swrap, twrap, filter, swidth, twidth, n, varargs_tokens, varargs_values);
}

RtVoid RiMakeLatLongEnvironment(RtString pic, RtString tex, RtFilterFunc filter, RtFloat swidth,
                                RtFloat twidth, ...)
{
    GATHER(twidth);
    RiMakeLatLongEnvironmentV(pic, tex, filter, swidth, twidth, n, varargs_tokens, varargs_values);
}

RtVoid RiMakeCubeFaceEnvironment(RtString px, RtString nx, RtString py, RtString ny, RtString pz,
                                 RtString nz, RtString tex, RtFloat fov, RtFilterFunc filter,
                                 RtFloat swidth, RtFloat twidth, ...)
{
    GATHER(twidth);
    RiMakeCubeFaceEnvironmentV(px, nx, py, ny, pz, nz, tex, fov, filter, swidth, twidth, n,
                               varargs_tokens, varargs_values);
}

RtVoid RiMakeShadow(RtString pic, RtString tex, ...)
{
    GATHER(tex);
    RiMakeShadowV(pic, tex, n, varargs_tokens, varargs_values);
}

} // extern "C"
