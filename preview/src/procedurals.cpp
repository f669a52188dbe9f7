// Procedurals in the previewer: subdivided at once when their bound reaches
// the picture (the built-in ones of RIB are the front end's).
#include <algorithm>

#include "preview/glrenderer.h"
#include "ri/stdtokens.h"

bool GlRenderer::procedural_detail(const RtBound bound, float &detail)
{
    float to_camera[16], to_raster[16];
    if (!space_to_space(tok::object, tok::camera, nullptr, transformation.get(), 0, to_camera) ||
        !space_to_space(tok::object, tok::raster, nullptr, transformation.get(), 0, to_raster)) {
        detail = 1e38f;
        return true;
    }
    float xmin = 1e30f, xmax = -1e30f, ymin = 1e30f, ymax = -1e30f;
    for (int c = 0; c < 8; c++) {
        float corner[3] = {bound[c & 1], bound[2 + ((c >> 1) & 1)], bound[4 + ((c >> 2) & 1)]};
        float cam[3], ras[3];
        point_times_matrix(corner, to_camera, cam);
        // A box reaching the eye's plane covers the whole picture.
        if (options.projection == PROJ_PERSPECTIVE && !(cam[2] > 0)) {
            detail = 1e38f;
            return true;
        }
        point_times_matrix(corner, to_raster, ras);
        xmin = std::min(xmin, ras[0]);
        xmax = std::max(xmax, ras[0]);
        ymin = std::min(ymin, ras[1]);
        ymax = std::max(ymax, ras[1]);
    }
    const int *sb = options.sample_bounds;
    if (xmax < sb[0] || xmin > sb[1] + 1 || ymax < sb[2] || ymin > sb[3] + 1) return false;
    float area = (xmax - xmin) * (ymax - ymin);
    float most = float(options.xres) * float(options.yres);
    detail = area < most ? area : most;
    return true;
}

void GlRenderer::add_procedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivfunc, RtProcFreeFunc freefunc)
{
    float detail = 0;
    if (!skip_primitive() && drawing_world() && subdivfunc && procedural_detail(bound, detail) &&
        may_expand()) {
        ++procedural_depth;
        subdivfunc(data, detail);
        --procedural_depth;
    }
    // The primitives it made are drawn: its data is not needed any more.
    if (freefunc) freefunc(data);
}
