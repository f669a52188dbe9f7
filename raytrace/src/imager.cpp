// The imager shader of the options, run on each output pixel before it is
// quantised: a shading point at the pixel's raster position with its colour,
// opacity and alpha, and two neighbours one pixel to the right and one down
// for the shader's derivatives.
#include <cstring>
#include <vector>

#include "raytrace/imgout.h"
#include "ri/renderer.h"
#include "ri/shader.h"
#include "shading/shadehit.h"
#include "shading/shadingpoint.h"

namespace {

void run_imager_shader(const Options &options, float x, float y, Color &color, Color &opacity, float &alpha)
{
    Shader *shader = options.imager;
    ShaderInstance *instance = options.imager_instance.get();
    if (!shader || !instance) return;
    ShaderVars point;
    point.Ps = Point(x, y, 0);
    point.u = point.gu = x;
    point.v = point.gv = y;
    point.du = point.dv = point.shade_du = point.shade_dv = 1;
    point.dPdu = point.shade_dPdu = Point(1, 0, 0);
    point.dPdv = point.shade_dPdv = Point(0, 1, 0);
    point.Ng = point.Ns = Point(0, 0, -1);
    point.time = options.shutter_open;
    point.Ci = color;
    point.Oi = opacity;
    point.alpha = alpha;
    point.doareaops = 1;
    point.weight = 1;
    DerivScratch scratch(&point);

    ShaderVars right = point, down = point;
    right.Ps.x += 1;
    right.u = right.gu = x + 1;
    right.whichdisp = DISP_DU;
    down.Ps.y += 1;
    down.v = down.gv = y + 1;
    down.whichdisp = DISP_DV;
    point.whichdisp = DISP_MAIN;

    // Each run works on its own copy of the parameter values.
    const size_t bytes = size_t(instance->size());
    std::vector<char> blocks(3 * bytes + 1);
    char *own[3];
    for (int i = 0; i < 3; ++i) {
        own[i] = bytes ? blocks.data() + size_t(i) * bytes : nullptr;
        if (bytes) memcpy(own[i], instance->params(), bytes);
    }
    run_shader_in_slot(shader, &right, USE_IMAGER, own[0]);
    run_shader_in_slot(shader, &down, USE_IMAGER, own[1]);
    run_shader_in_slot(shader, &point, USE_IMAGER, own[2]);
    right.scratch = down.scratch = nullptr;   // the area belongs to the point
    color = point.Ci;
    opacity = point.Oi;
    alpha = point.alpha;
}

} // namespace

ImagerRunner imager_runner = &run_imager_shader;
