// The varargs forms of the texture-making requests: each gathers its (token,
// value) pairs, ended by a null token, and calls its V form.
#include <cstdarg>

#include "ri/paramlist.h"
#include "ri/ri.h"

#define GATHER(last)              \
    va_list ap;                   \
    va_start(ap, last);           \
    int n = collect_varargs(ap);  \
    va_end(ap)

extern "C" {

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
