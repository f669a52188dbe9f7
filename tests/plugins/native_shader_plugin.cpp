// A native shader library for the loader tests: a surface that sets Ci to
// Kd times its tint. The shader and its svsize come from native_red.cpp, or
// from native_badsize.cpp for a library reporting a wrong shading-point size.
#include "shading/native_shader.h"

extern "C" {

const char *version = "VELK2.5.0g";
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
}
