#include "mesh_size.h"

#include <cmath>

#include "ri/renderer.h"

float radiosity_patch_size(GSurface *s)
{
    if (!s->attrs.is_set()) return 0;
    float p = s->attrs->rad_patchsize;
    float open = current_renderer ? current_renderer->options.shutter_open : 0;
    if (s->xform.is_set()) p = s->xform->length_from_world(p, open);
    return p > 0 ? p : 0;
}

int patch_count(float x)
{
    if (!(x > 1)) return 1;
    if (x > 1e9f) return 1000000000;
    return (int)std::ceil(x);
}
