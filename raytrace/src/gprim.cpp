// The primitive base: type tables, linking, screen bounds, retained objects,
// list walks and the geometry statistics.
#include "raytrace/gprim.h"

#include <cmath>

#include "raytrace/hierarchy.h"
#include "instance.h"
#include "mesh.h"
#include "raytrace/ray.h"
#include "raytrace/surface_hooks.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"

const char *const GPRIM_TYPE_NAMES[GPRIM_TYPE_COUNT] = {
    "", "sphere", "cone", "disk", "cylinder", "hyperboloid", "paraboloid", "torus", "polygon",
    "generalpolygon", "bilinear", "bicubic", "nurb", "blobby", "triangle", "container", "subpatch", "",
    "obj instance", "composite", "union", "intersection", "difference", "hier bound", "lite subdiv quad",
    "procedural", "instance", "mesh face",
};

const int GPRIM_TYPE_SIZES[GPRIM_TYPE_COUNT] = {
    0, 140, 132, 132, 128, 192, 132, 132, 116, 124, 196, 300, 120, 128, 144, 0, 112, 0,
    44, 48, 48, 48, 48, 52, 48, 96, 120, 64,
};

long gprim_type_counts[GPRIM_TYPE_COUNT];
bool link_appends = false;

StatCounter &geometry_memory()
{
    static StatCounter counter;
    return counter;
}

DicingStats &dicing_stats()
{
    static DicingStats stats;
    return stats;
}

// ---- GPrimitive ----------------------------------------------------------

void GPrimitive::bound(Bound &b)
{
    b = Bound(-1e6f, 1e6f, -1e6f, 1e6f, -1e6f, 1e6f);
}

IntersectionList GPrimitive::intersect(const Ray &)
{
    return IntersectionList();
}

void GPrimitive::link_into(GPrimitive **list, bool at_head)
{
    if (flags & GPF_UNLINKED) return;
    if (!list) return;
    if (!*list) {
        *list = this;
    } else if (!at_head && link_appends) {
        GPrimitive *last = *list;
        while (last->next) last = last->next;
        last->next = this;
    } else {
        // The object and whatever chain already hangs from it go in front.
        GPrimitive *tail = this;
        while (tail->next) tail = tail->next;
        tail->next = *list;
        *list = this;
    }
    if (type < GPRIM_TYPE_COUNT) gprim_type_counts[type]++;
}

void GPrimitive::link(GPrimitive **list, int)
{
    link_into(list, false);
}

void GPrimitive::link_counted(GPrimitive **list, int)
{
    link_into(list, true);
}

namespace {

const Options *frame_options()
{
    return current_renderer ? &current_renderer->options : nullptr;
}

// Raster x of a screen-space x (projected camera x).
float raster_x(const Options &o, float x)
{
    float pw = (o.screen[1] - o.screen[0]) / (float)o.eff_xres;
    return (x - (o.screen[0] + o.screen[1]) * 0.5f) / pw + (float)(o.eff_xres / 2);
}

// Keeps a raster coordinate in integer range; the far side still lies
// beyond the last pixel of a frame of res pixels, however large.
float clamp_raster(float v, int res)
{
    const float far = std::fmin(std::fmax(1e5f, float(res) + 2), 1e9f);
    if (!(v >= -1e5f)) return -1e5f;   // NaN too
    if (v > far) return far;
    return v;
}

} // namespace

int GPrimitive::screen_bound(int box[4])
{
    const Options *op = frame_options();
    if (!op) return 0;
    const Options &o = *op;
    Bound cb = world_bound;
    if (o.camera.is_set()) cb = o.camera->motion_bound_to_world(world_bound, o.shutter_open, o.shutter_close);
    float xmin = cb[0], xmax = cb[1], ymin = cb[2], ymax = cb[3], zmin = cb[4], zmax = cb[5];
    if (zmin > o.far_clip || zmax < o.near_clip) return 0;
    if (zmin < o.near_clip) zmin = o.near_clip;
    if (o.dof_on && o.fstop > 0 && o.focal_distance > 0) {
        float blur = std::fmax(std::fabs(1 - zmin / o.focal_distance), std::fabs(1 - zmax / o.focal_distance)) *
                     (o.focal_length / o.fstop) * 0.5f;
        xmin -= blur, ymin -= blur, xmax += blur, ymax += blur;
    }
    if (o.projection == PROJ_ORTHOGRAPHIC) zmin = zmax = 1;
    float sx0 = 1e30f, sx1 = -1e30f, sy0 = 1e30f, sy1 = -1e30f;
    const float xs[2] = {xmin, xmax}, ys[2] = {ymin, ymax}, zs[2] = {zmin, zmax};
    for (float z : zs)
        for (float x : xs)
            for (float y : ys) {
                float px = x / z, py = y / z;
                sx0 = std::fmin(sx0, px), sx1 = std::fmax(sx1, px);
                sy0 = std::fmin(sy0, py), sy1 = std::fmax(sy1, py);
            }
    float ph = (o.screen[3] - o.screen[2]) / (float)o.eff_yres;
    float ymid = (o.screen[2] + o.screen[3]) * 0.5f, yhalf = (float)(o.eff_yres / 2);
    float x0 = clamp_raster(raster_x(o, sx0), o.eff_xres), x1 = clamp_raster(raster_x(o, sx1), o.eff_xres);
    // Raster y grows downwards.
    float y0 = clamp_raster(yhalf - (sy1 - ymid) / ph, o.eff_yres);
    float y1 = clamp_raster(yhalf - (sy0 - ymid) / ph, o.eff_yres);
    box[0] = (int)std::floor(x0) - 1;
    box[1] = (int)std::ceil(x1) + 1;
    box[2] = (int)std::floor(y0) - 1;
    box[3] = (int)std::ceil(y1) + 1;
    const int *c = o.crop_bounds;
    return c[1] >= box[0] && box[1] >= c[0] && c[3] >= box[2] && box[3] >= c[2];
}

int raster_project(const Point &p, Point &raster)
{
    const Options *op = frame_options();
    if (!op || !(p.z >= 1e-10f)) return -1;
    const Options &o = *op;
    float x = p.x, y = p.y;
    if (o.projection != PROJ_ORTHOGRAPHIC) x /= p.z, y /= p.z;
    float ph = (o.screen[3] - o.screen[2]) / (float)o.eff_yres;
    raster.x = raster_x(o, x);
    raster.y = (y - (o.screen[2] + o.screen[3]) * 0.5f) / ph + (float)(o.eff_yres / 2);
    raster.z = (p.z - o.near_clip) / (o.far_clip - o.near_clip);
    return 0;
}

// ---- GObjInstance --------------------------------------------------------

GObjInstance::GObjInstance()
{
    type = GP_OBJINSTANCE;
    world_bound = EMPTY_BOUND;
}

GObjInstance::~GObjInstance()
{
    delete tree;
    free_placed_surfaces(placed);
    free_object_list(first);
    free_object_list(master);
}

void GObjInstance::bound(Bound &b)
{
    b = EMPTY_BOUND;
    for (GPrimitive *o = master; o; o = o->next) b.merge(o->world_bound);
}

IntersectionList GObjInstance::intersect(const Ray &)
{
    return IntersectionList();
}

void GObjInstance::mesh_radiosity()
{
    mesh_radiosity_list(first);
}

void adopt_instance_state(GSurface *s)
{
    Renderer *r = current_renderer;
    if (!r) return;
    s->xform = nest_transformation(s->xform.get(), r->transformation);
    s->xform2 = s->xform;
    s->attrs = r->attributes;
    s->set_attribute_flags();
    add_area_light_geometry(s->attrs.get(), s);
}

void GObjInstance::instantiate(GPrimitive *list, int copy)
{
    if (!copy) {
        master = list;
        return;
    }
    GPrimitive **target = scene_object_list();
    for (GPrimitive *o = list; o; o = o->next) {
        GPrimitive *c = o->copy();
        if (!c) continue;
        if (is_surface_type(c->type)) adopt_instance_state(static_cast<GSurface *>(c));
        c->next = nullptr;
        c->link(target, 1);
        world_bound.merge(c->world_bound);
    }
}

// ---- lists ---------------------------------------------------------------

void free_object_list(GPrimitive *list)
{
    while (list) {
        GPrimitive *n = list->next;
        delete list;
        list = n;
    }
}

void mesh_radiosity_list(GPrimitive *list)
{
    for (GPrimitive *o = list; o; o = o->next) o->mesh_radiosity();
}

namespace {

void walk_one(GPrimitive *o, void (*f)(GSurface *, void *), void *arg)
{
    if (is_surface_type(o->type)) {
        f(static_cast<GSurface *>(o), arg);
    } else if (o->type == GP_MESHFACE) {
        GMeshFace *face = static_cast<GMeshFace *>(o);
        f(face->mesh()->passing_view(face), arg);
    } else if (o->type == GP_OBJINSTANCE) {
        for_each_surface(static_cast<GObjInstance *>(o)->master, f, arg, 1);
    } else if (is_csg_type(o->type)) {
        for_each_surface(solid_children(o), f, arg, 1);
    } else if (o->type == GP_HIERBOUND) {
        GHierBound *h = static_cast<GHierBound *>(o);
        for (int i = 0; i < 4 && h->children[i]; i++) walk_one(h->children[i], f, arg);
    }
}

} // namespace

void for_each_surface(GPrimitive *object, void (*f)(GSurface *, void *), void *arg, int follow)
{
    for (GPrimitive *o = object; o; o = follow ? o->next : nullptr) walk_one(o, f, arg);
}

// ---- statistics ----------------------------------------------------------

void print_geometry_stats(FILE *out)
{
    const StatCounter &mem = geometry_memory();
    fprintf(out, "Geometry:\n");
    long total = 0;
    for (int t = 0; t <= GP_SUBPATCH; t++) {
        long n = gprim_type_counts[t];
        if (n <= 0) continue;
        fprintf(out, " %7d %ss (%dk)\n", (int)n, GPRIM_TYPE_NAMES[t], (int)(n * GPRIM_TYPE_SIZES[t] / 1024));
        total += n;
    }
    fprintf(out, " %7d total gprims ", (int)total);
    fprintf(out, "  (%ldk requested, %ldk current, %ldk peak)\n", (long)(mem.requested / 1024),
            (long)(mem.current / 1024), (long)(mem.peak / 1024));
    print_vertex_var_stats(out);
    print_trim_stats(out);
    const DicingStats &d = dicing_stats();
    if (d.diceable > 0) {
        fprintf(out, "Diceable patches:\n");
        fprintf(out, "\t%ld total, %ld diced at peak\n", d.diceable, d.diced_peak);
        fprintf(out, "\ttotal pieces: %ld requested, %ld peak (%ldk), %ld outstanding (%ldk)\n",
                (long)d.pieces.requested, (long)d.pieces.peak, (long)(d.pieces.peak * d.piece_size / 1024),
                (long)d.pieces.current, (long)(d.pieces.current * d.piece_size / 1024));
    }
    const StatCounter &h = hier_bound_counter();
    fprintf(out, "  Hier bounds: %ld requested, %ld outstanding, %ld peak (%ld Kb)\n", (long)h.requested,
            (long)h.current, (long)h.peak, (long)(h.peak * 52 / 1024));
    fprintf(out, "   bound size = %ld\n", 52L);
}
