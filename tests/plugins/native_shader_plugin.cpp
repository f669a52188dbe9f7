// A native shader library for the loader tests: a surface that sets Ci to
// Kd times its tint. Built twice: once right, once reporting a wrong size of
// the shading point (NATIVE_WRONG_SVSIZE).
#include "shading/native_shader.h"
#include "shading/shadingpoint.h"

extern "C" {

const char *version = "VELK2.5.0g";
#ifdef NATIVE_WRONG_SVSIZE
int svsize = 612;
#else
int svsize = VELK_SHADERVARS_SIZE;
#endif
int paraminfosize = VELK_PARAM_INFO_SIZE;
const char *shadertype = "surface";
PARAM_INFO param_info[] = {
    {"Kd", PtFLOAT, 2, 0, 0, 1, 4, 0, nullptr, nullptr},
    {"tint", PtCOLOR, 2, 0, 0, 1, 12, 4, "rgb", nullptr},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr},
};
int paramsize = 16;
unsigned varsused = 0x10;

int initparams(ShaderVars *, char *params)
{
    float *p = reinterpret_cast<float *>(params);
    p[0] = 0.5f;
    p[1] = 1;
    p[2] = 0;
    p[3] = 0;
    return 1;
}

#ifdef NATIVE_WRONG_SVSIZE
int badsize(ShaderVars *, char *) { return 1; }
#else
int nativered(ShaderVars *sv, char *params)
{
    float *p = reinterpret_cast<float *>(params);
    sv->Ci = Color(p[0] * p[1], p[0] * p[2], p[0] * p[3]);
    return 1;
}
#endif
}
