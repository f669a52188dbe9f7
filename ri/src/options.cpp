#include "ri/options.h"

#include <cmath>
#include <cstring>

#include "ri_common/rierror.h"
#include "ri/tokens.h"
#include "ri/transformation.h"

void Options::set_defaults()
{
    Options *keep = saved;
    static_cast<OptionValues &>(*this) = OptionValues();
    saved = keep;
    camera.clear();
    imager_instance.clear();
    display_params.clear();

    xres = 640;
    yres = 480;
    xpos = ypos = 0;
    pixel_aspect = 1;
    frame_aspect_given = -1;
    screen_given[0] = -100000;
    screen_given[1] = screen_given[2] = screen_given[3] = 0;
    frame_aspect = -1;
    memcpy(screen, screen_given, sizeof screen);
    crop[0] = 0; crop[1] = 1; crop[2] = 0; crop[3] = 1;
    projection = PROJ_ORTHOGRAPHIC;
    fov = 90;
    near_clip = 1e-6f;
    far_clip = 1e38f;
    fstop = 1e38f;
    focal_length = focal_distance = 0;
    shutter_open = shutter_close = 0;
    camera_to_screen = camera_to_clip = screen_to_ndc = ndc_to_raster = Matrix4(1.0f);
    pixel_variance = 0;
    xsamples = ysamples = 2;
    filter = RiGaussianFilter;
    filter_xwidth = filter_ywidth = 2;
    exposure_gain = exposure_gamma = 1;
    imager = nullptr;
    color_quant[0] = 255; color_quant[1] = 0; color_quant[2] = 255; color_quant[3] = 0.0019607843f;
    for (float &q : depth_quant) q = 0;
    display_name = NewToken("ri.tif");
    pending_display = nullptr;
    display_kind = DISPLAY_FILE;
    display_mode_bits = 3;
    useprmandspy = useprmannoise = 0;
    display_type = NewToken("tiff");
    display_mode = NewToken("rgba");
    hider = HIDER_HIDDEN;
    hider_jitter = 1;
    relative_detail = 1;
    othreshold = Color(1);
    look_behind = 1;
    hierarchy[0] = 2; hierarchy[1] = 1; hierarchy[2] = 0;
    specular_model = 1;
    verbosity = VERBOSE_NORMAL;
    stats_level = 0;
    stats_file = nullptr;
    timer = 0;
    minsamples = 4;
    maxsamples = 64;
    branch_ratio = 2;
    max_branch_ratio = 4;
    max_raylevel = 4;
    minpatchsamples = 1;
    radiosity_steps = 0;
    rad_patchsize = 4;
    rad_elemsize = 2;
    rad_minsize = 1;
    minshadowbias = 0.01f;
    maxshadowbias = 0.2f;
    bucketsize[0] = bucketsize[1] = 64;
    texturememory = 10485760;
    geommemory = 1073741824;
    display_resolution[0] = display_resolution[1] = 72;
    resolution_unit = nullptr;
    rowsperstrip = 0;
    derivmemory = 2048;
    program_seconds = 600;
    program_bytes = 1073741824;
    max_expansions = 100000;
    windowid = 0;
    windowlocation[0] = windowlocation[1] = 0;
    windowdpy = windowrc = windowstyle = windowvi = windowcmap = 0;
    waitforlastframe = 1;
    pickregion[0] = -1000;
    pickregion[1] = pickregion[2] = pickregion[3] = 0;
    pickregion_given = 0;
    clearfb = 1;
    clearcolor[0] = clearcolor[1] = clearcolor[2] = 0;
    doublebuffer = 1;
    dumpimage = 0;
    offscreen = 0;
    force_silence = 0;
    ascii = 0;
    rayserver = 0;
    render_enabled = 1;
    output_file = nullptr;
    curvethinning = curvethinthreshold = 0;
    indirect_maxerror = 0.25f;
    indirect_maxpixeldist = 20;
    indirect_minvalid = 1;
    indirect_nsamples = 256;
    indirect_interpolate = 1;
    indirect_seedfile = indirect_savefile = nullptr;
    indirect_preseed = 0;
    dof_on = 0;
    exposure_differs = 0;
    frame_number = -1;
    perspective_taken = 0;
    archive_path = texture_path = shader_path = procedural_path = display_path = nullptr;
}

Options &Options::operator=(const Options &o)
{
    if (this == &o) return *this;
    Options *keep = saved;
    static_cast<OptionValues &>(*this) = o;
    saved = keep;
    camera = o.camera;
    imager_instance = o.imager_instance;
    copy_vertex_var_list(display_params, o.display_params);
    return *this;
}

Options::~Options()
{
    camera.clear();
    imager_instance.clear();
    display_params.clear();
}

void Options::set_format(int x, int y, float aspect)
{
    if (x > 0) xres = x;
    if (y > 0) yres = y;
    if (aspect > 0) pixel_aspect = aspect;
}

void Options::set_depth_of_field(float fs, float fl, float fd)
{
    fstop = fs;
    focal_length = fl;
    focal_distance = fd;
    if (!(fs < 5e37f) || !(fs > 0)) {
        dof_on = 0;
        return;
    }
    dof_on = 1;
    lens_diameter = fl / fs;
    lens_radius = 0.5f * lens_diameter;
}

Options *Options::push(Options *head)
{
    Options *copy = new Options(*this);
    copy->saved = head;
    return copy;
}

Options *Options::pop(Options *head)
{
    if (!head) return nullptr;
    *this = *head;
    Options *next = head->saved;
    delete head;
    return next;
}

namespace {

const float P1_INVERSE[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 1};

// How a camera matrix m ends: 0 affine (its projective column (0, 0, 0, 1)
// up to the rounding noise RIB writers print), 1 in a perspective P(t) after
// an affine A (M = A x P(t), t stored), -1 neither.
int perspective_end(const float *m, float &t)
{
    // Against the size of the linear part: a perspective P(t) puts about t
    // times that in the projective column, rounding noise far less.
    float size = 0;
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 3; col++) size = std::fmax(size, std::fabs(m[row * 4 + col]));
    float w = std::fabs(m[3]) + std::fabs(m[7]) + std::fabs(m[11]) + std::fabs(m[15] - 1);
    if (w <= 1e-5f * size) return 0;
    // Column 2 of A x P(t) is column 3 less (0, 0, 0, 1).
    float scale = std::fabs(m[3]) + std::fabs(m[7]) + std::fabs(m[11]) + std::fabs(m[15]);
    float off = std::fabs(m[2] - m[3]) + std::fabs(m[6] - m[7]) + std::fabs(m[10] - m[11]) +
                std::fabs(m[14] - (m[15] - 1));
    if (!(off <= 1e-5f * scale)) return -1;
    // M x P(1) inverse = A x Sz(t): t is the z column's length over the x column's.
    float a1[16];
    matrix_multiply(m, P1_INVERSE, a1);
    float lx = std::sqrt(a1[0] * a1[0] + a1[4] * a1[4] + a1[8] * a1[8]);
    float lz = std::sqrt(a1[2] * a1[2] + a1[6] * a1[6] + a1[10] * a1[10]);
    if (!(lx > 0 && lz > 0 && std::isfinite(lz / lx))) return -1;
    t = lz / lx;
    return 1;
}

} // namespace

// A camera transformation that ends in RiPerspective (M = A x P, P the
// perspective matrix, A affine) is an orthographic view of a perspective
// space: the same picture as a perspective projection through A. Camera rays
// only know the projections, so the pair is turned into one for this world;
// a moving camera must end in the same perspective at both keys.
void Options::take_camera_perspective()
{
    perspective_taken = 0;
    if (!camera.is_set()) return;
    float t = 0, t1 = 0;
    int first = perspective_end(camera->key_matrix(0, TM_M), t), last = first;
    if (camera->moving()) last = perspective_end(camera->key_matrix(1, TM_M), t1);
    else t1 = t;
    if (first == 0 && last == 0) return;
    if (projection != PROJ_ORTHOGRAPHIC || first != 1 || last != 1 || !(std::fabs(t1 - t) <= 1e-5f * t)) {
        ri_error(RIE_UNIMPLEMENT, RIE_WARNING,
                 "RiPerspective: a perspective matrix in the camera transformation is honoured only alone "
                 "with the orthographic projection; camera rays ignore it");
        return;
    }
    float undo[16];
    memcpy(undo, P1_INVERSE, sizeof undo);
    for (int row = 0; row < 4; row++) undo[row * 4 + 2] /= t;
    Transformation *affine = new Transformation(*camera);
    affine->follow_with(undo);
    camera.set(affine);
    perspective_taken = 1;
    projection_before = projection;
    fov_before = fov;
    projection = PROJ_PERSPECTIVE;
    fov = 2 * std::atan(t) * 57.29578f;
}

void Options::end_world()
{
    if (!perspective_taken) return;
    projection = projection_before;
    fov = fov_before;
    perspective_taken = 0;
}

void perspective_axes(bool perspective, Point &forward, Point &right, Point &up)
{
    const float length = forward.normalize();
    if (!perspective) return;
    // A rigid camera keeps exactly unit axes.
    const float xs = right.normalize(), ys = up.normalize();
    if (length < 1e-12f) return;
    if (std::fabs(xs - length) > 1e-5f * length) right *= xs / length;
    if (std::fabs(ys - length) > 1e-5f * length) up *= ys / length;
}

Point camera_z_gradient(const TransformationRef &camera, float t)
{
    if (!camera.is_set()) return Point(0, 0, 1);
    // Row vectors: camera z is the third column of world to camera.
    float tmp[16];
    const float *m = camera->matrix_at(TM_M, t, tmp);
    return Point(m[2], m[6], m[10]);
}

static int clampi(int v, int lo, int hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

void Options::prepare_world(const TransformationRef &current)
{
    // 1. display name; a "+" name is added to the current one
    if (pending_display && *pending_display) {
        if (pending_display[0] == '+') {
            size_t n = strlen(display_name) + strlen(pending_display);
            char *joined = new char[n + 1];
            snprintf(joined, n + 1, "%s%s", display_name, pending_display + 1);
            display_name = NewToken(joined);
            delete[] joined;
        } else {
            display_name = pending_display;
        }
        pending_display = nullptr;   // resolved once, not again at the next world
    }
    // 2. ASCII preview
    if (ascii) {
        xres = 78;
        yres = 39;
        pixel_aspect = 0.667f;
        verbosity = 0;
        display_kind = DISPLAY_ASCII;
    }
    // 3. camera
    camera = current;
    take_camera_perspective();
    // 4. effective resolution
    eff_xres = xres;
    eff_yres = yres;
    float a = (float)xres * pixel_aspect / (float)yres;
    frame_aspect = frame_aspect_given;
    if (frame_aspect > 0) {
        if (frame_aspect > a)
            eff_yres = (int)std::floor(pixel_aspect * xres / frame_aspect + 0.5f);
        else
            eff_xres = (int)std::floor(frame_aspect * yres / pixel_aspect + 0.5f);
        if (eff_xres < 1) eff_xres = 1;
        if (eff_yres < 1) eff_yres = 1;
    } else {
        frame_aspect = a;
    }
    // 5. screen window
    memcpy(screen, screen_given, sizeof screen);
    if (screen[0] < SCREEN_NOT_GIVEN) {
        float f = frame_aspect;
        if (f >= 1) {
            screen[0] = -f; screen[1] = f; screen[2] = -1; screen[3] = 1;
        } else {
            screen[0] = -1; screen[1] = 1; screen[2] = -1 / f; screen[3] = 1 / f;
        }
    }
    // 6. pixel size in screen units
    float dx = std::fabs(screen[1] - screen[0]) / eff_xres;
    float dy = std::fabs(screen[3] - screen[2]) / eff_yres;
    // Screen space keeps the window as given: the perspective divide by
    // tan(fov / 2) already happens in camera to screen.
    float l = screen[0], r = screen[1], b = screen[2], t = screen[3];
    // 7. camera to screen
    float n = near_clip, f = far_clip;
    camera_to_screen = Matrix4(1.0f);
    if (projection == PROJ_ORTHOGRAPHIC) {
        screen_scale = 1;
        camera_to_screen.at(2, 2) = 1 / (f - n);
        camera_to_screen.at(3, 2) = -n / (f - n);
    } else {
        float s = std::tan(radians(fov) * 0.5f);
        for (float &e : screen) e *= s;
        dx *= s;
        dy *= s;
        screen_scale = s;
        camera_to_screen.at(0, 0) = 1 / s;
        camera_to_screen.at(1, 1) = 1 / s;
        camera_to_screen.at(2, 2) = f / (f - n);
        camera_to_screen.at(2, 3) = 1;
        camera_to_screen.at(3, 2) = -f * n / (f - n);
        camera_to_screen.at(3, 3) = 0;
    }
    // 8. screen to NDC: x from 0 at the left to 1 at the right, y from 0 at the top
    screen_to_ndc = Matrix4(1.0f);
    screen_to_ndc.at(0, 0) = 1 / (r - l);
    screen_to_ndc.at(1, 1) = -1 / (t - b);
    screen_to_ndc.at(3, 0) = -l / (r - l);
    screen_to_ndc.at(3, 1) = t / (t - b);
    // 9. camera to clip: the window maps to [-1, 1] on both axes
    Matrix4 c(1.0f);
    c.at(0, 0) = 2 / (r - l);
    c.at(1, 1) = 2 / (t - b);
    c.at(3, 0) = -2 * l / (r - l) - 1;
    c.at(3, 1) = -2 * b / (t - b) - 1;
    camera_to_clip = camera_to_screen * c;
    // 10. NDC to raster, in the pixels of the image actually made
    ndc_to_raster = Matrix4(1.0f);
    ndc_to_raster.at(0, 0) = (float)eff_xres;
    ndc_to_raster.at(1, 1) = (float)eff_yres;
    // 11. crop window in pixels
    crop_bounds[0] = clampi((int)std::ceil(eff_xres * crop[0]), 0, eff_xres - 1);
    crop_bounds[1] = clampi((int)std::ceil(eff_xres * crop[1] - 1), 0, eff_xres - 1);
    if (crop_bounds[1] < crop_bounds[0]) crop_bounds[1] = crop_bounds[0];
    crop_bounds[2] = clampi((int)std::ceil(eff_yres * crop[2]), 0, eff_yres - 1);
    crop_bounds[3] = clampi((int)std::ceil(eff_yres * crop[3] - 1), 0, eff_yres - 1);
    if (crop_bounds[3] < crop_bounds[2]) crop_bounds[3] = crop_bounds[2];
    crop_width = crop_bounds[1] - crop_bounds[0] + 1;
    crop_height = crop_bounds[3] - crop_bounds[2] + 1;
    // 12. sample bounds
    int radius = 0;
    if (pixel_variance == 0)
        radius = (int)std::ceil(std::fmax(filter_xwidth, filter_ywidth) * 0.5f);
    sample_bounds[0] = crop_bounds[0] - radius;
    sample_bounds[1] = crop_bounds[1] + radius;
    sample_bounds[2] = crop_bounds[2] - radius;
    sample_bounds[3] = crop_bounds[3] + radius;
    // 13.
    inv_xsamples = 1.0f / xsamples;
    inv_ysamples = 1.0f / ysamples;
    max_pixel_size = std::fmax(dx, dy);
    // 14. shutter
    shutter_differs = shutter_open != shutter_close;
    shutter_middle = (shutter_open + shutter_close) * 0.5f;
    shutter_length = shutter_close - shutter_open;
    // 15. eye and camera axes in world space
    float origin[3] = {0, 0, 0}, zaxis[3] = {0, 0, 1}, xaxis[3] = {1, 0, 0}, yaxis[3] = {0, 1, 0};
    if (camera.is_set()) {
        camera->point_from_world(origin, eye.data(), shutter_open);
        camera->vector_from_world(zaxis, view_dir.data(), shutter_open);
        camera->vector_from_world(xaxis, cam_xaxis.data(), shutter_open);
        camera->vector_from_world(yaxis, cam_yaxis.data(), shutter_open);
    } else {
        eye = Point(0, 0, 0);
        view_dir = Point::from(zaxis);
        cam_xaxis = Point::from(xaxis);
        cam_yaxis = Point::from(yaxis);
    }
    cam_zgrad = camera_z_gradient(camera, shutter_open);
    perspective_axes(projection == PROJ_PERSPECTIVE, view_dir, cam_xaxis, cam_yaxis);
    // 16. rows per strip
    if (rowsperstrip < 1) rowsperstrip = clampi(65536 / crop_width / 4, 8, 256);
}
