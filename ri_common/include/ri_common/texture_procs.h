// The procedures behind the texture-making requests, as the module that
// makes texture files provides them.
#pragma once
#include "ri_common/ri.h"

struct TextureMaking {
    RtVoid (*texture)(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                      RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[]);
    RtVoid (*bump)(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                   RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[]);
    RtVoid (*latlong)(RtString pic, RtString tex, RtFilterFunc filter, RtFloat swidth, RtFloat twidth,
                      RtInt n, RtToken tokens[], RtPointer params[]);
    RtVoid (*cubeface)(RtString px, RtString nx, RtString py, RtString ny, RtString pz, RtString nz,
                       RtString tex, RtFloat fov, RtFilterFunc filter, RtFloat swidth, RtFloat twidth,
                       RtInt n, RtToken tokens[], RtPointer params[]);
    RtVoid (*shadow)(RtString pic, RtString tex, RtInt n, RtToken tokens[], RtPointer params[]);
};
