#include "level_of_detail.h"

#include <algorithm>
#include <cmath>

#include "ri/renderer.h"
#include "ri/stdtokens.h"

float raster_detail(Renderer &r, const RtBound bound)
{
    const float unknown = HUGE_VALF;
    if (!(r.level & LEVEL_WORLD)) return unknown;
    float to_camera[16], to_raster[16];
    float time = r.options.shutter_open;
    Transformation *object = r.transformation.get();
    if (!r.space_to_space(tok::object, tok::camera, nullptr, object, 0, to_camera, time) ||
        !r.space_to_space(tok::object, tok::raster, nullptr, object, 0, to_raster, time))
        return unknown;
    float xmin = HUGE_VALF, xmax = -HUGE_VALF, ymin = HUGE_VALF, ymax = -HUGE_VALF;
    for (int c = 0; c < 8; c++) {
        float corner[3] = {bound[c & 1], bound[2 + ((c >> 1) & 1)], bound[4 + ((c >> 2) & 1)]};
        float cam[3], ras[3];
        point_times_matrix(corner, to_camera, cam);
        // Seen from inside or beside: as near as it gets.
        if (r.options.projection == PROJ_PERSPECTIVE && !(cam[2] > 0)) return unknown;
        point_times_matrix(corner, to_raster, ras);
        xmin = std::min(xmin, ras[0]);
        xmax = std::max(xmax, ras[0]);
        ymin = std::min(ymin, ras[1]);
        ymax = std::max(ymax, ras[1]);
    }
    float area = (xmax - xmin) * (ymax - ymin);
    return std::isfinite(area) ? area : unknown;
}

bool detail_in_range(const float range[4], float detail)
{
    float low = 0.5f * range[0] + 0.5f * range[1], high = 0.5f * range[2] + 0.5f * range[3];
    if (!(detail >= low)) return false;
    return detail < high || range[3] >= RI_INFINITY;
}

bool detail_culls(const GState &g)
{
    return (g.flags & GS_DETAIL_RANGE) && !detail_in_range(g.detail_range, g.detail);
}
