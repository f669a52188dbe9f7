#include "instance.h"

#include "raytrace/hierarchy.h"
#include "raytrace/ray.h"
#include "sah_build.h"
#include "ri/renderer.h"

namespace {

// Surfaces whose intersection depends only on their own data, never on a
// grid diced for them or on their attributes.
bool shareable_surface(const GPrimitive *o)
{
    switch (o->type) {
    case GP_SPHERE: case GP_CONE: case GP_DISK: case GP_CYLINDER: case GP_HYPERBOLOID: case GP_PARABOLOID:
    case GP_TORUS: case GP_POLYGON: case GP_GENERALPOLYGON: case GP_BILINEAR: case GP_TRIANGLE: break;
    default: return false;
    }
    if (o->flags & (GPF_DICEABLE | GPF_DISPLACED | GPF_MOVING_CVS)) return false;
    const GSurface *s = static_cast<const GSurface *>(o);
    return !(s->xform.is_set() && s->xform->moving());
}

} // namespace

// A copy of one surface and the instance it stands for now, with the camera
// ray that last used it.
struct PlacedSlot {
    GSurface *copy;
    GSurface *surface;   // the definition's
    uint64_t inst;       // the instance's serial number
    uint32_t used;
};

struct PlacedSurfaces {
    std::unordered_map<GSurface *, std::vector<PlacedSlot *>> by_surface;
    ~PlacedSurfaces()
    {
        for (auto &e : by_surface)
            for (PlacedSlot *slot : e.second) {
                stamps().erase(slot->copy);
                delete slot->copy;
                delete slot;
            }
    }
    // Each copy's slot, for a hint that comes back.
    static std::unordered_map<const GPrimitive *, PlacedSlot *> &stamps()
    {
        static std::unordered_map<const GPrimitive *, PlacedSlot *> all;
        return all;
    }
};

namespace {

uint32_t camera_rays = 0;
// Instances are told apart by number: a definition kept for later frames
// outlives the instances of one, and a new one may take an old one's address.
uint64_t instances_made = 0;
// Camera rays a copy stays with its instance after its last use: in-flight
// hits and hints belong to the current and the previous one.
const uint32_t IDLE_RAYS = 2;

} // namespace

void free_placed_surfaces(PlacedSurfaces *p) { delete p; }

void placed_surfaces_tick() { camera_rays++; }

void placed_surface_touch(GPrimitive *o)
{
    if (!(o->flags & GPF_PLACED)) return;
    auto it = PlacedSurfaces::stamps().find(o);
    if (it != PlacedSurfaces::stamps().end()) it->second->used = camera_rays;
}

GInstance::GInstance(GObjInstance *d) : definition(d), serial(++instances_made)
{
    type = GP_INSTANCE;
}

GInstance::~GInstance() = default;

GInstance *GInstance::make(GObjInstance *d)
{
    Renderer *r = current_renderer;
    if (!r || !d || !d->master) return nullptr;
    const GState *g = r->attributes.get();
    if (!g || ((g->flags & GS_TRUEDISPLACEMENT) && g->shaders[USE_DISPLACEMENT].is_set())) return nullptr;
    if (r->transformation.is_set() && r->transformation->moving()) return nullptr;
    if (r->options.radiosity_steps > 0) return nullptr;
    if (g->area_light) return nullptr;   // each copy becomes a piece of the light
    if (!d->tree) {
        std::vector<GPrimitive *> objects;
        d->shareable = true;
        for (GPrimitive *o = d->master; o; o = o->next) {
            if (!shareable_surface(o)) d->shareable = false;
            objects.push_back(o);
        }
        if (d->shareable) d->tree = build_sah_tree(objects);
    }
    if (!d->shareable) return nullptr;
    GInstance *inst = new GInstance(d);
    inst->attrs = r->attributes;
    inst->xform = r->transformation;
    Bound b = d->tree->world_bound;
    const Options &o = r->options;
    if (inst->xform.is_set()) b = inst->xform->motion_bound_to_world(b, o.shutter_open, o.shutter_close);
    // The definition's boxes are met through the instance's transformation
    // but its surfaces through the product of both: a little slack for rounding.
    b.expand(1e-5f * b.diagonal());
    inst->world_bound = b;
    return inst;
}

const TransformationRef &GInstance::placed_ref(const Transformation *t)
{
    // A definition's surfaces mostly share one transformation.
    if (last_nested_ && last_nested_->first == t) return last_nested_->second;
    auto it = nested_.find(t);
    if (it == nested_.end()) it = nested_.emplace(t, nest_transformation(t, xform)).first;
    last_nested_ = &*it;
    return it->second;
}

GSurface *GInstance::surface_of(const GPrimitive *o) const
{
    if (!o || !(o->flags & GPF_PLACED)) return nullptr;
    auto it = PlacedSurfaces::stamps().find(o);
    if (it == PlacedSurfaces::stamps().end() || it->second->inst != serial) return nullptr;
    return it->second->surface;
}

GSurface *GInstance::placed(GSurface *s)
{
    if (!definition->placed) definition->placed = new PlacedSurfaces;
    std::vector<PlacedSlot *> &slots = definition->placed->by_surface[s];
    PlacedSlot *idle = nullptr;
    for (PlacedSlot *slot : slots) {
        if (slot->inst == serial) {
            slot->used = camera_rays;
            return slot->copy;
        }
        if (!idle && camera_rays - slot->used >= IDLE_RAYS) idle = slot;
    }
    if (!idle) {
        idle = new PlacedSlot{static_cast<GSurface *>(s->copy()), s, 0, 0};
        idle->copy->next = nullptr;
        slots.push_back(idle);
        PlacedSurfaces::stamps()[idle->copy] = idle;
    }
    // Placed and coloured as a copy made at the instance was.
    GSurface *p = idle->copy;
    idle->inst = serial;
    idle->used = camera_rays;
    p->xform = placed_ref(s->xform.get());
    p->xform2 = p->xform;
    p->attrs = attrs;
    p->set_attribute_flags();
    p->flags |= GPF_PLACED;
    // The copy's own box in the definition stays; no tree holds the copy, so
    // the instance's box serves as its world box (it contains the surface).
    p->world_bound = world_bound;
    return p;
}

IntersectionList GInstance::intersect(const Ray &ray)
{
    return instance_hits(this, ray);
}
