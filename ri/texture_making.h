// The texture-making requests forward to a back end that the module making
// texture files installs; while none is installed (the previewer) they do
// nothing.
#pragma once
#include "ri/ri.h"

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

// Makes the requests call these procedures (null: do nothing again).
void install_texture_making(const TextureMaking *procs);
