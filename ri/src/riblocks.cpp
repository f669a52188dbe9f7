// The block procedures: RiEnd, RiContext, frames and worlds, attribute blocks.
#include "ri/front_end.h"
#include "ri/renderer.h"
#include "ri/ribfile.h"
#include "ri_common/rierror.h"

void ri_pop_transformation(Renderer *r);   // ritransform.cpp

namespace {

// A procedural's RIB may not end or open frames and worlds: the one it would
// end is still being rendered. Reported; the request is skipped.
bool refused_in_procedural(const Renderer *r, const char *request)
{
    if (!r || r->procedural_depth <= 0) return false;
    ri_error(RIE_ILLSTATE, RIE_ERROR, "%s is not allowed inside a procedural primitive", request);
    return true;
}

} // namespace

RtContextHandle ri_front::GetContext(void)
{
    return current_renderer;
}

RtVoid ri_front::Context(RtContextHandle handle)
{
    if (!handle) return;
    current_renderer = static_cast<Renderer *>(handle);
    current_renderer->make_current();
}

RtVoid ri_front::End(void)
{
    Renderer *r = current_renderer;
    if (!r || r->level != LEVEL_GLOBAL) {
        ri_error(RIE_NESTING, RIE_SEVERE, "RiEnd called at inappropriate level");
        if (ri_run_end_status()) return;   // the renderer stays as it is
    }
    if (r) {
        delete r;
        current_renderer = nullptr;
    }
}

RtVoid ri_front::FrameBegin(RtInt number)
{
    Renderer *r = current_renderer;
    if (refused_in_procedural(r, "RiFrameBegin")) return;
    if (!r || r->level != LEVEL_GLOBAL) {
        ri_error(RIE_NESTING, RIE_SEVERE, "RiFrameBegin must be called at the GLOBAL level");
        return;
    }
    r->frame_begin(number);
    RiAttributeBegin();
}

RtVoid ri_front::FrameEnd(void)
{
    Renderer *r = current_renderer;
    if (refused_in_procedural(r, "RiFrameEnd")) return;
    if (!r || !(r->level & LEVEL_FRAME)) {
        ri_error(RIE_NESTING, RIE_SEVERE, "RiFrameEnd called without corresponding RiFrameBegin");
        return;
    }
    if (r->level >= LEVEL_WORLD) {
        ri_error(RIE_NESTING, RIE_SEVERE, "RiFrameEnd called inside world level");
        return;
    }
    RiAttributeEnd();
    r->frame_end();
}

RtVoid ri_front::WorldBegin(void)
{
    Renderer *r = current_renderer;
    if (refused_in_procedural(r, "RiWorldBegin")) return;
    if (!r || r->level == 0 || r->level >= LEVEL_WORLD) {
        ri_error(RIE_NESTING, RIE_SEVERE, "RiWorldBegin called at inappropriate level");
        return;
    }
    // A world inside an archive does not start the count again: an archive
    // that reads itself would never reach the bound.
    if (rib_archive_depth() == 0) r->expansions = 0;
    r->world_begin();
    RiAttributeBegin();
    r->transformation.clear();
    RiIdentity();
}

RtVoid ri_front::WorldEnd(void)
{
    Renderer *r = current_renderer;
    if (refused_in_procedural(r, "RiWorldEnd")) return;
    if (!r || !(r->level & LEVEL_WORLD) || r->level > 7) {
        ri_error(RIE_NESTING, RIE_SEVERE, "RiWorldEnd called at inappropriate level");
        return;
    }
    if (r->solid_depth > 0) {
        // Closed here so that what was given of the solid is still rendered.
        ri_error(RIE_BADSOLID, RIE_ERROR, "SolidBegin without SolidEnd at WorldEnd");
        while (r->solid_depth > 0) RiSolidEnd();
    }
    RiAttributeEnd();
    r->render_world();
    r->world_end();
}

RtVoid ri_front::AttributeBegin(void)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (r->level == 0) ri_report(RIE_NOTATTRIBS, RIE_WARNING);
    // The attributes' own stack is named when it is the one full; the two
    // stacks are pushed together or not at all.
    if (r->attribute_depth >= RENDERER_STACK_DEPTH) {
        r->push_attributes();   // reports the overflow
        return;
    }
    const int depth = r->transformation_depth;
    RiTransformBegin();
    if (r->transformation_depth == depth) return;
    r->push_attributes();
}

RtVoid ri_front::AttributeEnd(void)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (r->level == 0) ri_report(RIE_NOTATTRIBS, RIE_WARNING);
    if (r->attribute_depth <= 0) {
        r->pop_attributes();   // reports the underflow; nothing else is popped
        return;
    }
    r->pop_attributes();
    ri_pop_transformation(r);
}
