// The right native shader: its size of the shading point and the surface.
#include "shading/native_shader.h"
#include "shading/shadingpoint.h"

extern "C" {

int svsize = VELK_SHADERVARS_SIZE;

int nativered(ShaderVars *sv, char *params)
{
    float *p = reinterpret_cast<float *>(params);
    sv->Ci = Color(p[0] * p[1], p[0] * p[2], p[0] * p[3]);
    return 1;
}
}
