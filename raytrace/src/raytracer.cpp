#include "raytrace/raytracer.h"

#include <new>
#include <string>

#include "raytrace/gprim.h"
#include "raytrace/hierarchy.h"
#include "instance.h"
#include "raytrace/primitive_makers.h"
#include "raytrace/ray.h"
#include "raytrace/surface_hooks.h"
#include "raytrace/trimcurve.h"
#include "ri/front_end.h"
#include "ri/gstate.h"
#include "ri_common/rierror.h"
#include "ri/shader.h"
#include "ri/transformation.h"
#include "sampling/random.h"
#include "shading/bindshader.h"
#include "shading/interp.h"
#include "shading/lightsource.h"
#include "shading_noise/noise.h"
#include "shading_files/texmake.h"
#include "ri/texture_making.h"
#include "shading/tracing.h"

namespace {

// The last renderer asked about and what it is, so that the many calls per
// shaded point need no type check; a ray tracer made or destroyed forgets it.
const Renderer *seen_renderer = nullptr;
RayTracer *seen_tracer = nullptr;

} // namespace

RayTracer::RayTracer()
{
    seen_renderer = nullptr;
    seen_tracer = nullptr;
    // Trim curves are kept only by a renderer that can trim, and texture
    // files made only by one that reads them.
    build_trim_loops = make_trim_loops;
    install_texture_making(&texture_file_making);
    // Shading finds the scene through the current renderer.
    scene_of_current_renderer = []() -> SceneAccess * { return RayTracer::current(); };
}

RayTracer *RayTracer::current()
{
    if (!current_renderer || current_renderer != seen_renderer) {
        seen_renderer = current_renderer;
        seen_tracer = dynamic_cast<RayTracer *>(current_renderer);
    }
    return seen_tracer;
}

RtPointer RayTracer::shader(RtToken name, int use, RtInt n, RtToken tokens[], RtPointer values[])
{
    return bind_shader(this, name, use, n, tokens, values);
}

void RayTracer::illuminate(RtLightHandle light, int on)
{
    illuminate_light(this, light, on);
}

GPrimitive **scene_object_list()
{
    RayTracer *rt = RayTracer::current();
    return rt ? &rt->world_objects : nullptr;
}

// ---- object lists --------------------------------------------------------

GPrimitive **RayTracer::target_list()
{
    return object_depth_ > 0 ? &object_stack_[object_depth_ - 1].list : &world_objects;
}

void RayTracer::add_object(GPrimitive *object)
{
    if (!object) return;
    object->next = nullptr;
    object->link(target_list(), 1);
    // An object kept out of every list has nobody else to free it.
    if (object->flags & GPF_UNLINKED) delete object;
}

void RayTracer::free_hierarchies()
{
    if (band_hierarchy != secondary_hierarchy && band_hierarchy != shadow_hierarchy) delete band_hierarchy;
    if (shadow_hierarchy != secondary_hierarchy) delete shadow_hierarchy;
    delete secondary_hierarchy;
    band_hierarchy = secondary_hierarchy = shadow_hierarchy = nullptr;
}

void RayTracer::free_scene()
{
    // Both lists are one list once the world is being rendered.
    if (frame_objects != world_objects) free_object_list(world_objects);
    free_object_list(frame_objects);
    frame_objects = world_objects = nullptr;
}

void RayTracer::free_definitions(uint32_t level_bits)
{
    for (size_t i = 0; i < definitions_.size();) {
        if (definitions_[i].second & level_bits) {
            delete definitions_[i].first;
            definitions_.erase(definitions_.begin() + i);
        } else {
            i++;
        }
    }
}

// ---- solids and object definitions ---------------------------------------

bool RayTracer::push_level(int type)
{
    if (object_depth_ >= OBJECT_STACK_DEPTH) {
        ri_error(RIE_LIMIT, RIE_SEVERE, "Object stack overflow");
        return false;
    }
    object_stack_[object_depth_++] = ObjectLevel{nullptr, type};
    return true;
}

GPrimitive *RayTracer::pop_level()
{
    return object_stack_[--object_depth_].list;
}

void RayTracer::solid_begin(RtToken operation)
{
    int type = OBJ_PRIMITIVE;
    std::string op = operation ? operation : "";
    if (op == "primitive") type = OBJ_PRIMITIVE;
    else if (op == "union") type = OBJ_UNION;
    else if (op == "intersection") type = OBJ_INTERSECTION;
    else if (op == "difference") type = OBJ_DIFFERENCE;
    else ri_error(RIE_BADSOLID, RIE_ERROR, "invalid CSG type, assuming primitive");
    push_level(type);
}

void RayTracer::close_solid_level()
{
    int type = object_stack_[object_depth_ - 1].type;
    GPrimitive *children = pop_level();
    GPrimitive *solid = make_solid(type, children);
    if (!solid) {
        free_object_list(children);
        return;
    }
    add_object(solid);
}

void RayTracer::solid_end()
{
    if (object_depth_ <= 0) {
        ri_error(RIE_NESTING, RIE_SEVERE, "Object stack underflow");
        return;
    }
    if (object_stack_[object_depth_ - 1].type == OBJ_DEFINITION) {
        // The open block is an object definition, not a solid: it stays open.
        ri_error(RIE_NESTING, RIE_ERROR, "RiSolidEnd inside an object definition without a solid");
        return;
    }
    close_solid_level();
}

RtObjectHandle RayTracer::object_begin()
{
    if (!push_level(OBJ_DEFINITION)) return nullptr;
    transformation.set(new Transformation);
    GObjInstance *master = new GObjInstance;
    open_definition_ = master;
    uint32_t owner = (level & LEVEL_WORLD) ? LEVEL_WORLD : (level & LEVEL_FRAME) ? LEVEL_FRAME : LEVEL_GLOBAL;
    definitions_.emplace_back(master, owner);
    return master;
}

void RayTracer::object_end()
{
    if (!open_definition_) {
        ri_error(RIE_NESTING, RIE_ERROR, "Bad placement of RiObjectEnd");
        return;
    }
    if (object_depth_ <= 0) {
        ri_error(RIE_NESTING, RIE_SEVERE, "Object stack underflow");
        return;
    }
    if (object_stack_[object_depth_ - 1].type != OBJ_DEFINITION) {
        // Solids still open inside the definition end with it, as they do
        // for the front end.
        ri_error(RIE_NESTING, RIE_ERROR, "RiObjectEnd with an open solid");
        while (object_stack_[object_depth_ - 1].type != OBJ_DEFINITION) close_solid_level();
    }
    flush_pending_motion();
    open_definition_->instantiate(pop_level(), 0);
    open_definition_ = nullptr;
}

void RayTracer::object_instance(RtObjectHandle handle)
{
    GObjInstance *master = nullptr;
    for (auto &d : definitions_)
        if (d.first == handle) master = d.first;
    if (!master) {
        ri_error(RIE_BADHANDLE, RIE_ERROR, "Object handle no longer valid");
        return;
    }
    // Shared by reference where it can be; else copied.
    if (GInstance *inst = GInstance::make(master)) {
        inst->link(scene_object_list(), 1);
        return;
    }
    // The temporary instance copies the master's objects; it never owns them.
    GObjInstance temp;
    temp.instantiate(master->master, 1);
}

// ---- frames and worlds ---------------------------------------------------

void RayTracer::frame_begin(int n)
{
    // -frames counts FrameBegin requests, and the reader has already skipped
    // the frames outside it; the number a file gives its frame is its own.
    Renderer::frame_begin(n);
}

void RayTracer::frame_end()
{
    light_list().clear();
    free_scene();
    free_hierarchies();
    free_definitions(LEVEL_FRAME);
    Renderer::frame_end();
}

void RayTracer::world_begin()
{
    Renderer::world_begin();
    load_rx_library(options.useprmannoise != 0);
    light_list().prepare();
    if (!attributes.is_set() || !attributes->shaders[USE_SURFACE].is_set()) RiSurface((RtToken) "defaultsurface", RI_NULL);
}

void RayTracer::world_end()
{
    Renderer::world_end();
    output.release_rows();
    // Anything the world left open goes with it.
    flush_pending_motion();
    while (object_depth_ > 0) free_object_list(pop_level());
    open_definition_ = nullptr;
    free_definitions(LEVEL_WORLD);

    light_list().clear();
    free_scene();

    if (options.verbosity & VERBOSE_STATS) {
        FILE *out = options.rayserver ? stderr : stdout;
        print_stats(out);
        fprintf(out, "Bounding volume construction time = %g s\n", hierarchy_time - render_start_time);
        fflush(out);
        print_ray_stats(out);
        print_radiosity_stats(out);
        print_irradiance_stats(out);
        print_geometry_stats(out);
        print_gstate_stats(out);
        print_transformation_stats(out);
        print_shader_stats(out);
        print_shader_profile(out);
        if (sampler.adaptive()) sampler.print_histogram(out, options.xres, options.yres);
        fflush(out);
    }
    print_texture_stats(options.rayserver ? stderr : stdout);
    clear_last_hit_cache();
    // The sampling tables go last: the histogram is printed from them.
    sampler.release();
}

RayTracer::~RayTracer()
{
    seen_renderer = nullptr;
    seen_tracer = nullptr;
    flush_pending_motion();
    while (object_depth_ > 0) free_object_list(pop_level());
    free_scene();
    free_matrices(LEVEL_GLOBAL | LEVEL_FRAME | LEVEL_WORLD);
    light_list().free_to(nullptr);
    free_hierarchies();
    free_definitions(LEVEL_GLOBAL | LEVEL_FRAME | LEVEL_WORLD);
    output.end_of_run();
}

// ---- start-up ------------------------------------------------------------

namespace {

// RiBegin of the program: a new ray tracer becomes the current renderer.
void begin_ray_tracer(RtToken)
{
    static bool started = false;
    current_renderer = new (std::nothrow) RayTracer;
    if (!current_renderer) return;
    RtColor white = {1, 1, 1};
    RiColor(white);
    if (!started) {
        started = true;
        seed_random(RANDOM_START_SEED);
        register_builtin_lights();
    }
}

int install_ray_tracer()
{
    ri_front_set_begin(begin_ray_tracer);
    return 1;
}

} // namespace

extern "C" const int velk_ray_tracer = install_ray_tracer();

int32_t area_sample_seed()
{
    RayTracer *rt = RayTracer::current();
    return rt ? rt->sampler.pixel_seed : 0;
}
