#include "ri/renderer.h"

#include <chrono>
#include <cstring>

#include "platform/process.h"
#include "ri_common/rierror.h"
#include "ri_common/searchpath.h"
#include "ri/stdtokens.h"
#include "ri/tokens.h"

Renderer *current_renderer = nullptr;
int safety_file = 0;

namespace {

double now_seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The object named by "identifier" "name" while the world is open.
const char *current_object_name()
{
    Renderer *r = current_renderer;
    if (!r || !(r->level & LEVEL_WORLD) || !r->attributes.is_set()) return nullptr;
    return r->attributes->identifier;
}

// Codes of the named spaces: raster 4, NDC 3, screen 2, camera 1, world 0;
// -1 for a space given by a transformation (object, shader, coordinate systems).
int space_code(RtToken name)
{
    if (name == tok::raster) return 4;
    if (name == tok::NDC) return 3;
    if (name == tok::screen) return 2;
    if (name == tok::camera) return 1;
    if (name == tok::world || name == tok::current) return 0;
    return -1;
}

} // namespace

bool Renderer::may_expand()
{
    if (expansions < options.max_expansions) {
        ++expansions;
        return true;
    }
    if (expansions++ == options.max_expansions)
        // Not "Program limit": a nesting limit met on the same line would hide it.
        ri_error(RIE_NOMEM, RIE_ERROR,
                 "More than %d archives and procedurals expanded in one frame (\"limits\" \"expansions\"): "
                 "the rest are left out to keep memory bounded",
                 options.max_expansions);
    return false;
}

void ri_report(int code, int severity)
{
    if (ri_run_end_status()) return;
    RtErrorHandler handler = ri_current_error_handler();
    if (handler) handler(code, severity, nullptr);
}

Renderer *renderer_or_report()
{
    if (!current_renderer) ri_report(RIE_NOTSTARTED, RIE_SEVERE);
    return current_renderer;
}

bool first_motion_spec(Renderer *r)
{
    if (r->motion_times <= 0) return true;
    return r->motion_specs++ == 0;
}

int motion_spec_key(const Renderer *r)
{
    if (r->motion_specs == 0) return 0;
    return r->motion_specs == r->motion_times - 1 ? 1 : -1;
}

Renderer::Renderer()
{
    predeclare_tokens();
    ri_set_object_name_source(current_object_name);
    attributes.set(new GState);
    transformation.set(new Transformation);
    reset_timer();
}

Renderer::~Renderer()
{
    if (current_renderer == this) current_renderer = nullptr;
    attributes.clear();
    transformation.clear();
    for (int i = 0; i < RENDERER_STACK_DEPTH; i++) {
        attribute_stack[i].clear();
        transformation_stack[i].clear();
    }
    while (options_stack) {
        Options *next = options_stack->saved;
        delete options_stack;
        options_stack = next;
    }
}

RtPointer Renderer::shader(RtToken, int, RtInt, RtToken[], RtPointer[])
{
    return nullptr;
}

void Renderer::illuminate(RtLightHandle, int) {}

void Renderer::color_changed(const float *) {}

void Renderer::frame_begin(int n)
{
    level |= LEVEL_FRAME;
    options.set_frame_number(n);
    options_stack = options.push(options_stack);
}

void Renderer::frame_end()
{
    level &= ~LEVEL_FRAME;
    options_stack = options.pop(options_stack);
    free_matrices(LEVEL_FRAME);
    retire_handles(LEVEL_FRAME);
}

void Renderer::world_begin()
{
    options.prepare_world(transformation);
    // Spaces named before the world were given relative to the camera; the
    // list keeps every space relative to the world.
    for (RtToken name : camera_spaces_) {
        Transformation *t = coordinate_systems().find(name);
        if (!t || !options.camera.is_set()) continue;
        float tmp[16];
        TransformationRef rebased(new Transformation(*t));
        rebased->follow_with(options.camera->matrix_at(TM_INVERSE, options.shutter_open, tmp));
        coordinate_systems().define(name, rebased);
    }
    camera_spaces_.clear();
    level |= LEVEL_WORLD;
}

void Renderer::note_camera_space(RtToken name)
{
    name = NewToken(name);
    for (RtToken n : camera_spaces_)
        if (n == name) return;
    camera_spaces_.push_back(name);
}

void Renderer::world_end()
{
    level &= ~LEVEL_WORLD;
    options.end_world();
    free_matrices(LEVEL_WORLD);
    retire_handles(LEVEL_WORLD);
}

void Renderer::note_handle(void *h, HandleKind kind)
{
    if (!h) return;
    // The innermost open block owns what is made in it.
    uint32_t owner = (level & LEVEL_WORLD) ? LEVEL_WORLD : (level & LEVEL_FRAME) ? LEVEL_FRAME : LEVEL_GLOBAL;
    live_handles_[h] = LiveHandle{kind, owner};
}

bool Renderer::handle_is_live(const void *h, HandleKind kind) const
{
    auto it = live_handles_.find(h);
    return it != live_handles_.end() && it->second.kind == kind;
}

void Renderer::retire_handles(uint32_t level_bits)
{
    for (auto it = live_handles_.begin(); it != live_handles_.end();) {
        if (it->second.level & level_bits) it = live_handles_.erase(it);
        else ++it;
    }
}

void Renderer::push_attributes()
{
    if (attribute_depth >= RENDERER_STACK_DEPTH) {
        ri_error(RIE_LIMIT, RIE_SEVERE, "Attribute stack overflow");
        return;
    }
    if (!attributes.is_set()) {
        ri_assert_report("renderer", __LINE__);
        return;
    }
    attribute_stack[attribute_depth++] = attributes;
    attributes.set(new GState(*attributes));
}

void Renderer::pop_attributes()
{
    if (attribute_depth <= 0) {
        ri_error(RIE_NESTING, RIE_ERROR, "Attribute stack underflow");
        return;
    }
    attribute_depth--;
    attributes = attribute_stack[attribute_depth];
    attribute_stack[attribute_depth].clear();
}

void Renderer::reset_timer()
{
    stats_counter = 0;
    start_time = now_seconds();
}

void Renderer::print_stats(FILE *out)
{
    print_runtime_stats(out);
    flush_stats(out);
}

void Renderer::print_runtime_stats(FILE *out)
{
    long secs = (long)(now_seconds() - start_time);
    if (secs < 0) secs = 0;
    fprintf(out, "Runtime stats:\n");
    fprintf(out, "\tReal time: ");
    if (secs >= 3600) fprintf(out, "%d:", (int)(secs / 3600));
    else fprintf(out, "   ");
    fprintf(out, "%02d:%02d\n", (int)(secs / 60 % 60), (int)(secs % 60));
    double user = velk::user_cpu_seconds();
    int whole = (int)user;
    fprintf(out, "\tUser time: ");
    if (whole >= 3600) fprintf(out, "%d:", whole / 3600);
    else fprintf(out, "   ");
    fprintf(out, "%02d:%05.2f\n", whole / 60 % 60, user - (whole / 60) * 60);
    fflush(out);
}

int Renderer::display(RtToken, RtToken, RtToken, RtInt, RtToken[], RtPointer[])
{
    return 0;
}

float *Renderer::new_matrix(const float *m)
{
    return matrices.new_matrix(m, (uint8_t)(level & 7));
}

int Renderer::space_to_space(RtToken from, RtToken to, Transformation *shader_space,
                             Transformation *object_space, int vector, float out[16], float time)
{
    from = NewToken(from);
    to = NewToken(to);
    float P[16], Q[16], R[16], tmp[16];
    identity_matrix(P);
    identity_matrix(Q);
    identity_matrix(R);
    // A space given by a transformation: object, shader or a named coordinate system.
    auto space_transformation = [&](RtToken name) -> Transformation * {
        if (name == tok::object) return object_space;
        if (name == tok::shader) return shader_space;
        return coordinate_systems().find(name);
    };
    int a = space_code(from), b = space_code(to);
    if (from == tok::object || a < 0) {
        Transformation *t = space_transformation(from);
        if (!t) return 0;
        memcpy(P, t->matrix_at(TM_M, time, tmp), sizeof P);
        a = 0;
    }
    if (to == tok::object || b < 0) {
        Transformation *t = space_transformation(to);
        if (!t) return 0;
        memcpy(R, t->matrix_at(TM_INVERSE, time, tmp), sizeof R);
        b = 0;
    }
    bool down = a > b;
    int hi = down ? a : b, lo = down ? b : a;
    if (lo == 0 && hi > 0 && options.camera.is_set())
        concat_matrix(Q, options.camera->matrix_at(TM_M, time, tmp), 0);
    if (hi > 1 && lo <= 1) concat_matrix(Q, options.camera_to_screen.m, 0);
    if (hi > 2 && lo <= 2) concat_matrix(Q, options.screen_to_ndc.m, 0);
    if (hi > 3) concat_matrix(Q, options.ndc_to_raster.m, 0);
    if (down) {
        float inv[16];
        if (invert_matrix(Q, inv) == 0) {
            ri_error(RIE_MATH, RIE_ERROR, "Singular matrix inversion");
            return 0;
        }
        memcpy(Q, inv, sizeof Q);
    }
    matrix_multiply(P, Q, tmp);
    matrix_multiply(tmp, R, out);
    if (vector) out[12] = out[13] = out[14] = 0;
    return 1;
}

int find_space_matrix(RtToken from, RtToken to, float time, float out[16])
{
    Renderer *r = current_renderer;
    if (!r) return 0;
    return r->space_to_space(NewToken(from), NewToken(to), nullptr, r->transformation.get(), 0, out, time);
}

RtToken expand_arch_path(const char *path)
{
    if (!path) return nullptr;
    return NewToken(expand_arch_words(path).c_str());
}
