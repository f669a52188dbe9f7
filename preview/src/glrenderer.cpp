#include "preview/glrenderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// The software GL driver keeps a few blocks from its first drawing that it
// never frees; they are not leaks of ours.
#define DRIVER_BLOCKS_ARE_NOT_LEAKS __lsan::ScopedDisabler driver_blocks
#else
#define DRIVER_BLOCKS_ARE_NOT_LEAKS
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "platform/process.h"
#include "platform/window.h"
#include "preview/gldraw.h"
#include "glparams.h"
#include "ri/declvalue.h"
#include "ri/display_words.h"
#include "ri/front_end.h"
#include "ri/ribfile.h"
#include "ri_common/rierror.h"
#include "ri_common/same_string.h"
#include "ri/tokens.h"
#include "shading_noise/noise.h"

namespace {

// The diagnostics of a context that cannot be made current.
void report_context_failure(const velk::Window &w)
{
    ri_error(RIE_SYSTEM, RIE_ERROR, "Could not make the window's OpenGL context current: %s",
             w.last_error().c_str());
}

// Disables the per-pixel operations and resets the pixel transfer.
void plain_pixel_state()
{
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_LOGIC_OP);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glPixelTransferi(GL_MAP_COLOR, GL_FALSE);
    glPixelTransferf(GL_RED_SCALE, 1);
    glPixelTransferf(GL_GREEN_SCALE, 1);
    glPixelTransferf(GL_BLUE_SCALE, 1);
    glPixelTransferf(GL_ALPHA_SCALE, 1);
    glPixelTransferf(GL_RED_BIAS, 0);
    glPixelTransferf(GL_GREEN_BIAS, 0);
    glPixelTransferf(GL_BLUE_BIAS, 0);
    glPixelTransferf(GL_ALPHA_BIAS, 0);
}

} // namespace

GlRenderer::GlRenderer() : grid_callback(draw_grid_plain), polygon_callback(draw_polygons_plain)
{
    options.doublebuffer = 1;
}

GlRenderer::~GlRenderer()
{
    // A run that dumps its frames never waits for a key; the window and its
    // context go with window_ below.
    if (!options.dumpimage && wait_at_end && window_)
        wait_for_quit(window_->width(), window_->height());
    free_matrices(LEVEL_GLOBAL | LEVEL_FRAME | LEVEL_WORLD);
    free_object_lists(LEVEL_GLOBAL | LEVEL_FRAME | LEVEL_WORLD);
    window_.reset();
    light_count = 0;
}

GlRenderer *current_gl_renderer()
{
    return dynamic_cast<GlRenderer *>(current_renderer);
}

GlRenderer *new_gl_renderer()
{
    GlRenderer *r = new (std::nothrow) GlRenderer;
    if (!r) return nullptr;
    current_renderer = r;
    RiBasis(RiBezierBasis, 3, RiBezierBasis, 3);
    return r;
}

// ---- frames ----------------------------------------------------------------

void GlRenderer::frame_begin(int n)
{
    Renderer::frame_begin(n);
    dropping_frame_ = false;
    if (pacer.rate() > 0) {
        bool on_time = pacer.next_frame();
        // A late frame is skipped up to its FrameEnd.
        rib_frame_filter.active = on_time ? 1 : 0;
        dropping_frame_ = !on_time;
    }
}

void GlRenderer::frame_end()
{
    frame_polygons = 0;
    Renderer::frame_end();
    free_object_lists(LEVEL_FRAME);
    // Lights stored inside the frame end with it.
    int kept = 0;
    for (int i = 0; i < light_count; i++) {
        if (light_levels[i] == LEVEL_FRAME) continue;
        lights[kept] = lights[i];
        light_levels[kept++] = light_levels[i];
    }
    light_count = kept;
    dropping_frame_ = false;
    if (!frame_command.empty()) velk::run_command_line(frame_command);
}

// ---- worlds ----------------------------------------------------------------

bool GlRenderer::create_window()
{
    velk::WindowOptions wo;
    wo.title = options.display_name ? options.display_name : "";
    window_position(wo.x, wo.y);
    wo.width = options.crop_width > 0 ? options.crop_width : 1;
    wo.height = options.crop_height > 0 ? options.crop_height : 1;
    wo.double_buffer = options.doublebuffer != 0;
    wo.depth_buffer = true;
    wo.alpha_buffer = true;
    std::string why;
    window_ = velk::Window::open(wo, &why);
    if (!window_) {
        if (why.find("visual") != std::string::npos) {
            ri_error(RIE_SYSTEM, RIE_SEVERE, "Unable to get the requested pixel format");
        } else if (why.find("current") != std::string::npos) {
            ri_error(RIE_SYSTEM, RIE_SEVERE, "Could not make the window's OpenGL context current: %s", why.c_str());
        } else {
            ri_error(RIE_SYSTEM, RIE_SEVERE, "Could not open a window with an OpenGL context: %s", why.c_str());
        }
        return false;
    }
    win_x_ = wo.x;
    win_y_ = wo.y;
    win_w_ = window_->width();
    win_h_ = window_->height();
    return true;
}

bool GlRenderer::ensure_context()
{
    if (!window_ && !create_window()) return false;
    if (!window_->make_current()) {
        report_context_failure(*window_);
        return false;
    }
    if (!gl_started_) {
        gl_started_ = true;
        {
            // The driver's first drawing, before the clear that hides it.
            DRIVER_BLOCKS_ARE_NOT_LEAKS;
            glBegin(GL_POINTS);
            glVertex3f(0, 0, 0);
            glEnd();
            glFinish();
        }
        const char *v = reinterpret_cast<const char *>(gluGetString(GLU_VERSION));
        int major = 0, minor = 0;
        if (v && std::sscanf(v, "%d.%d", &major, &minor) >= 1) glu_1_2 = major > 1 || (major == 1 && minor >= 2);
    }
    return true;
}

void GlRenderer::window_position(int &x, int &y) const
{
    x = options.windowlocation[0];
    y = options.windowlocation[1];
    // Without a window location, the image position ("-pos", "origin").
    if (x == 0 && y == 0) {
        x = options.xpos;
        y = options.ypos;
    }
}

namespace {

// Largest window side: X keeps sizes in 16 bits and GL drivers refuse or fail
// on frame buffers much beyond this.
const int MAX_WINDOW_SIDE = 8192;

// Shrinks a format the window cannot have, keeping its shape, with a warning.
void clamp_window_format(Options &o)
{
    const int side = std::max(o.xres, o.yres);
    if (side <= MAX_WINDOW_SIDE) return;
    const double scale = double(MAX_WINDOW_SIDE) / double(side);
    const int x = std::max(1, int(o.xres * scale + 0.5)), y = std::max(1, int(o.yres * scale + 0.5));
    ri_error(RIE_LIMIT, RIE_WARNING, "Format %d x %d is larger than a window can be; previewing at %d x %d", o.xres,
             o.yres, x, y);
    o.xres = x;
    o.yres = y;
}

} // namespace

void GlRenderer::world_begin()
{
    clamp_window_format(options);
    Renderer::world_begin();
    load_rx_library(options.useprmannoise != 0);
    options.offscreen = 0;
    for (int i = 0; i < 3; i++) clear_color[i] = options.clearcolor[i];
    int f = int(options.relative_detail * 8);
    tessellation = f < 1 ? 1 : f > 32 ? 32 : f;
    drawing_world_ = false;
    if (dropping_frame_) return;

    bool first = !window_;
    if (!ensure_context()) return;
    if (first) {
        window_->clear(clear_color[0], clear_color[1], clear_color[2], 0);
        if (options.doublebuffer && !options.dumpimage) window_->swap_buffers();
    }
    glDrawBuffer(options.doublebuffer ? GL_BACK : GL_FRONT);
    set_projection(options.crop_width, options.crop_height);
    plain_pixel_state();
    if (options.clearfb) {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_DITHER);
        glClearColor(clear_color[0], clear_color[1], clear_color[2], 0);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    if (options.relative_detail >= 0.75f && !options.dumpimage) glEnable(GL_DITHER);
    else glDisable(GL_DITHER);
    glFrontFace(GL_CCW);
    glCullFace(GL_BACK);
    glDisable(GL_CULL_FACE);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_LIGHTING);
    const GLfloat no_ambient[4] = {0, 0, 0, 0};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, no_ambient);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    options.frame_aspect = float(options.xres) / float(options.yres);

    glPushMatrix();
    const GLfloat white[4] = {1, 1, 1, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    drawing_world_ = true;
    representation_changed();

    // The lights of the previous world go out; the stored ones come back.
    for (int i = 0; i < PREVIEW_MAX_LIGHTS; i++) glDisable(GLenum(GL_LIGHT0 + i));
    enabled_lights = 0;
    float t = options.shutter_open;
    for (int i = 0; i < light_count; i++) {
        GlLight l = lights[i];
        // Stored in camera space; the modelview holds the camera.
        transformation->point_from_world(l.from.data(), l.from.data(), t);
        transformation->point_from_world(l.to.data(), l.to.data(), t);
        apply_gl_light(l, false);
    }
    apply_color(attributes->color.data());
}

void GlRenderer::set_projection(int width, int height)
{
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    if (window_) {
        int x, y;
        window_position(x, y);
        if (x != win_x_ || y != win_y_ || width != window_->width() || height != window_->height())
            window_->move_resize(x, y, width, height);
        win_x_ = x;
        win_y_ = y;
        win_w_ = width;
        win_h_ = height;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (options.pickregion_given) {
        GLint viewport[4] = {0, 0, width, height};
        gluPickMatrix(options.pickregion[0], options.pickregion[1], options.pickregion[2], options.pickregion[3],
                      viewport);
    }
    float n, f;
    clip_range(options, n, f);
    const float *s = options.screen;
    const float *c = options.crop;
    double x0 = s[0] + (s[1] - s[0]) * c[0], x1 = s[0] + (s[1] - s[0]) * c[1];
    // The crop window's y runs down from the top of the screen window.
    double y0 = s[3] - (s[3] - s[2]) * c[3], y1 = s[3] - (s[3] - s[2]) * c[2];
    if (options.projection == PROJ_ORTHOGRAPHIC) glOrtho(x0, x1, y0, y1, n, f);
    else glFrustum(x0 * n, x1 * n, y0 * n, y1 * n, n, f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glScalef(1, 1, -1);
    glMultMatrixf(transformation->statics[TM_M]);
}

void clip_range(const Options &o, float &near_plane, float &far_plane)
{
    near_plane = o.near_clip > 0.05f ? o.near_clip : 0.05f;
    far_plane = o.far_clip < 100000.0f ? o.far_clip : 100000.0f;
    // GL needs a far plane beyond the near one.
    if (!(far_plane > near_plane)) far_plane = near_plane * 2 + 1;
}

void GlRenderer::world_end()
{
    if (drawing_world_) {
        glPopMatrix();
        glFinish();
        if (!options.pickregion_given && options.doublebuffer && !options.dumpimage) {
            if (window_->make_current()) window_->swap_buffers();
            else report_context_failure(*window_);
        }
        if (options.dumpimage) dump_frame();
        drawing_world_ = false;
    }
    Renderer::world_end();
    free_matrices(LEVEL_WORLD);
    free_object_lists(LEVEL_WORLD);
    if (options.verbosity & VERBOSE_STATS) {
        std::printf("Geometry:\n");
        std::printf("    Total GL polygons: %ld\n", long(total_polygons));
        print_stats(stdout);
    }
}

// ---- attribute notifications -----------------------------------------------

void GlRenderer::pop_attributes()
{
    Renderer::pop_attributes();
    if (!attributes.is_set()) return;
    set_sides((attributes->flags & GS_TWOSIDED) ? 2 : 1);
    color_changed(attributes->color.data());
    representation_changed();
}

void GlRenderer::color_changed(const float *color)
{
    // An object is drawn in the colour of each instance: its list records none.
    if (drawing_world_ && !recording_object_) apply_color(color);
}

void GlRenderer::apply_color(const float *c)
{
    const GLfloat rgba[4] = {c[0], c[1], c[2], 1};
    const GLfloat white[4] = {1, 1, 1, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, rgba);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, white);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 80);
    glColor3f(c[0], c[1], c[2]);
}

void GlRenderer::sides_changed()
{
    set_sides((attributes->flags & GS_TWOSIDED) ? 2 : 1);
}

void GlRenderer::set_sides(int sides)
{
    if (!drawing_world_) return;
    if (sides == 1) glEnable(GL_CULL_FACE);
    else glDisable(GL_CULL_FACE);
}

void GlRenderer::representation_changed()
{
    int rep = attributes->representation;
    bool sketch = rep == GEOREP_SKETCH;
    grid_callback = sketch ? draw_grid_sketch : draw_grid_plain;
    polygon_callback = sketch ? draw_polygons_sketch : draw_polygons_plain;
    if (!drawing_world_) return;
    switch (rep) {
    case GEOREP_LINES:
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glDisable(GL_LIGHTING);
        set_sides(2);
        break;
    case GEOREP_POINTS:
        glPolygonMode(GL_FRONT_AND_BACK, GL_POINT);
        break;
    case GEOREP_SKETCH:
        // The fill that hides what lies behind must be a fill.
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        break;
    default:
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glEnable(GL_LIGHTING);
        glDisable(GL_LINE_SMOOTH);
        glDisable(GL_BLEND);
        break;
    }
}

void GlRenderer::set_front_face() const
{
    bool current = (transformation->flags & TF_LEFTHANDED) != 0;
    bool inside = (attributes->orientation & 1) != 0;
    bool camera = options.camera.is_set() && (options.camera->flags & TF_LEFTHANDED);
    glFrontFace((current != inside) != camera ? GL_CW : GL_CCW);
}

// ---- display ---------------------------------------------------------------

int GlRenderer::display(RtToken name, RtToken type, RtToken mode, RtInt n, RtToken tokens[], RtPointer values[])
{
    if (name && name[0] == '+') {
        ri_error(RIE_UNIMPLEMENT, RIE_WARNING, "No support for arbitrary output variables: display name \"%s\"",
                 name);
        return 0;
    }
    options.pending_display = NewToken(name ? name : "");
    options.display_type = NewToken(type ? type : "");
    int bits = display_mode_bits(mode);
    options.display_mode = NewToken(mode ? mode : "rgba");
    options.display_mode_bits = uint8_t(bits);
    for (RtInt k = 0; k < n; k++) {
        Declaration *d = tokens && tokens[k] ? declarations().lookup(tokens[k]) : nullptr;
        const char *t = d ? d->name() : (tokens ? tokens[k] : nullptr);
        const void *v = values ? values[k] : nullptr;
        if (!d || !v) {
            ri_error(RIE_BADTOKEN, RIE_WARNING, "RiDisplay: Unknown parameter \"%s\"", t ? t : "");
            continue;
        }
        if (is(t, "origin")) {
            options.xpos = decl_int(d, v, 0);
            options.ypos = d->words() > 1 ? decl_int(d, v, 1) : 0;
        } else if (is(t, "resolution")) {
            options.display_resolution[0] = decl_float(d, v, 0);
            options.display_resolution[1] = d->words() > 1 ? decl_float(d, v, 1) : 0;
        } else if (is(t, "resolutionunit")) {
            const char *u = decl_string(d, v);
            options.resolution_unit = u ? NewToken(u) : nullptr;
        } else if (is(t, "compression")) {
            int c = display_compression_code(decl_string(d, v));
            if (c >= 0) {
                compression_ = c;
                if (bits == 4) zcompression_ = c;
            }
        } else if (is(t, "zcompression")) {
            int c = display_compression_code(decl_string(d, v));
            if (c == 0 || c == 2) zcompression_ = c;
        } else if (is(t, "rowsperstrip")) {
            const char *s = decl_string(d, v);
            int rows = d->type == DECL_STRING ? (s ? std::atoi(s) : 0) : decl_int(d, v);
            options.rowsperstrip = rows < 1 ? 1 : rows;
        } else if (!is(t, "framebufferaddr") && !is(t, "scanlinecallback") && !is(t, "merge")) {
            ri_error(RIE_BADTOKEN, RIE_WARNING, "RiDisplay: Unknown parameter \"%s\"", t);
        }
    }
    return 1;
}

// ---- retained objects --------------------------------------------------------

// A definition is recorded as a GL list in its own space, which every
// instance replays under its current transformation.
RtObjectHandle GlRenderer::object_begin()
{
    intptr_t number = ++object_counter_;
    transformation.set(new Transformation);
    if (!dropping_frame_ && ensure_context()) {
        GLuint list = glGenLists(1);
        if (list) {
            uint32_t owner = (level & LEVEL_WORLD) ? LEVEL_WORLD : (level & LEVEL_FRAME) ? LEVEL_FRAME : LEVEL_GLOBAL;
            object_lists_[number] = {list, owner};
            recording_object_ = list;
            glNewList(list, GL_COMPILE);
        }
    }
    return reinterpret_cast<RtObjectHandle>(number);
}

void GlRenderer::object_end()
{
    if (!recording_object_) return;
    glEndList();
    recording_object_ = 0;
}

void GlRenderer::object_instance(RtObjectHandle handle)
{
    auto it = object_lists_.find(reinterpret_cast<intptr_t>(handle));
    if (it == object_lists_.end() || !drawing_world_) return;
    apply_color(attributes->color.data());
    glPushMatrix();
    glMultMatrixf(transformation->statics[TM_M]);
    glCallList(it->second.first);
    glPopMatrix();
    // Colours drawn inside the list (sketch lines) do not outlive the instance.
    apply_color(attributes->color.data());
}

void GlRenderer::free_object_lists(uint32_t owner)
{
    for (auto it = object_lists_.begin(); it != object_lists_.end();) {
        if (it->second.second & owner) {
            if (window_ && window_->make_current()) glDeleteLists(it->second.first, 1);
            it = object_lists_.erase(it);
        } else {
            ++it;
        }
    }
}

// ---- the common frame of every primitive -------------------------------------

bool GlRenderer::skip_primitive()
{
    // Only the first specification of a motion block is drawn.
    if (motion_times > 0 && motion_specs > 1) return true;
    // Inside an object definition only what its list records is drawn.
    if (level & LEVEL_OBJECT) return recording_object_ == 0;
    return false;
}

bool GlRenderer::begin_drawing(RtInt n, RtToken tokens[], RtPointer values[])
{
    if (!drawing_world_ && !recording_object_) return false;
    glPushMatrix();
    glMultMatrixf(transformation->statics[TM_M]);
    display_list_ = 0;
    // GL lists do not nest: an object's primitives go into the object's.
    if (recording_object_) return true;
    GlParam handle = find_param(n, tokens, values, "displayListHandle");
    if (handle && handle.decl->type == DECL_INTEGER) {
        RtInt *slot = static_cast<RtInt *>(handle.value);
        if (*slot != 0) {
            glCallList(GLuint(*slot));
            glPopMatrix();
            return false;
        }
        GLuint id = glGenLists(1);
        if (id) {
            *slot = RtInt(id);
            glNewList(id, GL_COMPILE_AND_EXECUTE);
            display_list_ = int(id);
        }
    }
    return true;
}

void GlRenderer::end_primitive()
{
    if (display_list_) {
        glEndList();
        display_list_ = 0;
    }
    glPopMatrix();
}

void GlRenderer::grid_size(int default_u, int default_v, int &nu, int &nv) const
{
    nu = default_u;
    nv = default_v;
    if (attributes->udivisions != 0) {
        nu = attributes->udivisions;
        nv = attributes->vdivisions;
    }
    // The grids hold GRID_POINTS points per side.
    nu = nu < 1 ? 1 : nu > GRID_MAX_QUADS ? GRID_MAX_QUADS : nu;
    nv = nv < 1 ? 1 : nv > GRID_MAX_QUADS ? GRID_MAX_QUADS : nv;
}

// ---- the start of the RI -----------------------------------------------------

namespace {

// RiBegin of the program: a new previewer becomes the current renderer.
void begin_previewer(RtToken)
{
    new_gl_renderer();
}

int install_previewer()
{
    ri_front_set_begin(begin_previewer);
    return 1;
}

} // namespace

extern "C" const int velk_previewer = install_previewer();
