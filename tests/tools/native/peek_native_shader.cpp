// A native light shader library for the inspector tests: one parameter of
// every kind the inspector tells apart. Its paraminfosize comes from
// peek_record_size.cpp, or from peek_wrong_record_size.cpp for a library that
// reports the parameter record size of another build.
#include "shading/native_shader.h"

extern "C" {

static const float intensity_default = 2.5f;
static const float color_default[3] = {1, 0.5f, 0};
static const float from_default[3] = {0, 1, -2};
static const float dir_default[3] = {0, 0, 1};
static const float xform_default[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
static const float weights_default[3] = {1, 2, 3};

const char *version = "VELK2.5.0g";
int svsize = VELK_SHADERVARS_SIZE;
const char *shadername = "peekshader";
const char *shadertype = "light";
PARAM_INFO param_info[] = {
    {"intensity", PtFLOAT, 2, 0, 0, 1, 4, 0, nullptr, &intensity_default},
    {"lightcolor", PtCOLOR, 3, 0, 0, 1, 12, 4, nullptr, color_default},
    {"from", PtPOINT, 2, 0, 0, 1, 12, 16, "shader", from_default},
    {"texname", PtSTRING, 2, 0, 0, 1, 4, 28, nullptr, "spot.tx"},
    {"xform", PtMATRIX, 1, 0, 0, 1, 64, 32, nullptr, xform_default},
    {"weights", PtFLOAT, 2, 1, 0, 3, 12, 96, nullptr, weights_default},
    {"Nout", PtNORMAL, 4, 0, 1, 1, 12, 108, nullptr, nullptr},
    {"dir", PtVECTOR, 1, 0, 0, 1, 12, 120, nullptr, dir_default},
    {"h", PtHPOINT, 0, 0, 0, 1, 16, 132, nullptr, nullptr},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr},
};
int paramsize = 148;
unsigned varsused = 0;

int initparams(ShaderVars *, char *) { return 1; }
}
