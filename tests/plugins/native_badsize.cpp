// A native shader built against another size of the shading point.
#include "shading/native_shader.h"

extern "C" {

int svsize = 612;

int badsize(ShaderVars *, char *) { return 1; }
}
