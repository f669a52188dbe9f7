// The parameter record size of this build.
#include "shading/native_shader.h"

extern "C" {
int paraminfosize = VELK_PARAM_INFO_SIZE;
}
