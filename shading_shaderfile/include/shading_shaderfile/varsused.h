// The bits of ShadingPoint::vars_used: which globals and operations a shader
// uses. Apart from the shading point so the op table can name them without it.
#pragma once
#include <cstdint>

enum VarsUsed : uint32_t {
    VU_DU_DV = 0x8,            // du, dv
    VU_TEXCOORDS = 0x10,       // s, t and their derivatives
    VU_DPDU_DPDV = 0x20,       // dPdu, dPdv
    VU_NEIGHBOURS = 0x1000,    // derivatives of the shader's own values: neighbour runs
    VU_ILLUMINATE = 0x2000,    // illuminate or solar: a non-ambient light
    VU_AMBIENCE = 0x4000,
    VU_DPDTIME = 0x10000,
    VU_DERIVATIVES = 0x1028,   // any of the derivative-related globals
};
