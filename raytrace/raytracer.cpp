#include "raytrace/raytracer.h"

#include "raytrace/gprim.h"
#include "raytrace/hierarchy.h"
#include "raytrace/random.h"
#include "raytrace/ray.h"

RayTracer *RayTracer::current()
{
    return dynamic_cast<RayTracer *>(current_renderer);
}

GPrimitive **scene_object_list()
{
    RayTracer *rt = RayTracer::current();
    return rt ? &rt->world_objects : nullptr;
}
#include "ri/gstate.h"
#include "ri/transformation.h"

RayTracer::~RayTracer()
{
    for (int *o : objects_) delete o;
    output.end_of_run();
}

RtObjectHandle RayTracer::object_begin()
{
    objects_.push_back(new int((int)objects_.size()));
    return objects_.back();
}

void RayTracer::world_end()
{
    Renderer::world_end();
    output.release_rows();
    if (options.verbosity & VERBOSE_STATS) {
        FILE *out = options.rayserver ? stderr : stdout;
        print_stats(out);
        fprintf(out, "Bounding volume construction time = %g s\n", hierarchy_time - render_start_time);
        fflush(out);
        print_ray_stats(out);
        print_gstate_stats(out);
        print_transformation_stats(out);
        if (sampler.adaptive()) sampler.print_histogram(out, options.xres, options.yres);
        fflush(out);
    }
    sampler.release();
}

RtVoid RiBegin(RtToken)
{
    static bool started = false;
    current_renderer = new RayTracer;
    RtColor white = {1, 1, 1};
    RiColor(white);
    if (!started) {
        started = true;
        seed_random(5234);
    }
}
