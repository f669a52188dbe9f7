#include "ri/depth_projection.h"

#include "ri/options.h"
#include "ri/transformation.h"

void crop_screen_window(const Options &o, float window[4])
{
    const float w = float(o.eff_xres > 0 ? o.eff_xres : 1), h = float(o.eff_yres > 0 ? o.eff_yres : 1);
    const float dx = (o.screen[1] - o.screen[0]) / w, dy = (o.screen[3] - o.screen[2]) / h;
    window[0] = o.screen[0] + float(o.crop_bounds[0]) * dx;
    window[1] = o.screen[0] + float(o.crop_bounds[1] + 1) * dx;
    window[2] = o.screen[3] - float(o.crop_bounds[3] + 1) * dy;
    window[3] = o.screen[3] - float(o.crop_bounds[2]) * dy;
}

void depth_projection(const Options &o, const float window[4], Matrix4 &world_to_camera, Matrix4 &world_to_window)
{
    world_to_camera = Matrix4(1.0f);
    float tmp[16];
    if (o.camera.is_set()) world_to_camera = Matrix4(o.camera->matrix_at(TM_M, o.shutter_open, tmp));

    // The window as the camera rays span it: camera x (over z for a
    // perspective camera) runs from left to right, y from bottom to top.
    const float l = window[0], r = window[1], b = window[2], t = window[3];
    const float n = o.near_clip, f = o.far_clip;
    const float sx = r != l ? 2 / (r - l) : 0, sy = t != b ? 2 / (t - b) : 0;
    const float ox = r != l ? -(l + r) / (r - l) : 0, oy = t != b ? -(t + b) / (t - b) : 0;
    Matrix4 camera_to_window(1.0f);
    camera_to_window.at(0, 0) = sx;
    camera_to_window.at(1, 1) = sy;
    if (o.projection == PROJ_ORTHOGRAPHIC) {
        camera_to_window.at(3, 0) = ox;
        camera_to_window.at(3, 1) = oy;
        camera_to_window.at(2, 2) = f != n ? 1 / (f - n) : 0;
        camera_to_window.at(3, 2) = f != n ? -n / (f - n) : 0;
    } else {
        camera_to_window.at(2, 0) = ox;
        camera_to_window.at(2, 1) = oy;
        camera_to_window.at(2, 2) = f != n ? f / (f - n) : 1;
        camera_to_window.at(3, 2) = f != n ? -f * n / (f - n) : 0;
        camera_to_window.at(2, 3) = 1;
        camera_to_window.at(3, 3) = 0;
    }
    world_to_window = world_to_camera * camera_to_window;
}
