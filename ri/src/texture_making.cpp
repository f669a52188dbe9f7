// The texture-making RI procedures (their varargs forms are in rivarargs.cpp).
#include "ri/front_end.h"
#include "ri/texture_making.h"

namespace {
const TextureMaking *making = nullptr;
} // namespace

void install_texture_making(const TextureMaking *procs) { making = procs; }

RtVoid ri_front::MakeTextureV(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                              RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (making) making->texture(pic, tex, swrap, twrap, filter, swidth, twidth, n, tokens, params);
}

RtVoid ri_front::MakeBumpV(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                           RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (making) making->bump(pic, tex, swrap, twrap, filter, swidth, twidth, n, tokens, params);
}

RtVoid ri_front::MakeLatLongEnvironmentV(RtString pic, RtString tex, RtFilterFunc filter, RtFloat swidth,
                                         RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (making) making->latlong(pic, tex, filter, swidth, twidth, n, tokens, params);
}

RtVoid ri_front::MakeCubeFaceEnvironmentV(RtString px, RtString nx, RtString py, RtString ny, RtString pz,
                                          RtString nz, RtString tex, RtFloat fov, RtFilterFunc filter,
                                          RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[],
                                          RtPointer params[])
{
    if (making)
        making->cubeface(px, nx, py, ny, pz, nz, tex, fov, filter, swidth, twidth, n, tokens, params);
}

RtVoid ri_front::MakeShadowV(RtString pic, RtString tex, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (making) making->shadow(pic, tex, n, tokens, params);
}
