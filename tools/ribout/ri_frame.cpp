// Contexts, declarations, blocks and transformations.
#include <cstdint>
#include <cstring>

#include "ri/stdtokens.h"
#include "tools/ribout/decls.h"
#include "tools/ribout/request.h"
#include "tools/ribout/ribout.h"

using ribout::Request;

namespace {

struct StandardDeclaration {
    const char *name;
    const char *declaration;   // null: interned only
};

#define VELK_RIBOUT_ROW(var, text, decl) {text, decl},
const StandardDeclaration STANDARD[] = {VELK_STANDARD_TOKENS(VELK_RIBOUT_ROW)};
#undef VELK_RIBOUT_ROW

} // namespace

void ribout_begin(const char *name)
{
    ribout::push_context(name);
    {
        Request r;
        r.text("##RenderMan RIB-Structure 1.0\n");
        r.text("version 3.03\n");
    }
    for (const StandardDeclaration &d : STANDARD)
        if (d.declaration) ribout_declare(d.name, d.declaration);
}

void ribout_end()
{
    {
        Request r;
        r.text("\n");
    }
    ribout::end_current();
}

const char *ribout_current_name()
{
    ribout::Context *c = ribout::current();
    return c && c->named ? ribout::intern(c->name.c_str()) : nullptr;
}

const char *ribout_context(const char *name)
{
    const char *was = ribout_current_name();
    return ribout::select_context(name) ? was : nullptr;
}

RtToken ribout_declare(const char *name, const char *declaration)
{
    if (!name) return nullptr;
    RtToken interned = ribout::intern(name);
    if (!declaration || !*declaration) return interned;
    {
        Request r;
        r.text("Declare \"%s\" \"%s\"\n", ribout::str(name).c_str(), ribout::str(declaration).c_str());
    }
    ribout::declare(interned, declaration);
    return interned;
}

extern "C" {

RtVoid RiBegin(RtToken name) { ribout_begin(name); }
RtVoid RiEnd(void) { ribout_end(); }
RtContextHandle RiGetContext(void) { return const_cast<char *>(ribout_current_name()); }
RtVoid RiContext(RtContextHandle handle) { ribout_context(static_cast<const char *>(handle)); }
RtToken RiDeclare(const char *name, const char *declaration) { return ribout_declare(name, declaration); }

RtVoid RiFrameBegin(RtInt number) { Request().text("FrameBegin %d\n", number); }
RtVoid RiFrameEnd(void) { Request().text("FrameEnd\n"); }
RtVoid RiWorldBegin(void) { Request().text("WorldBegin\n"); }
RtVoid RiWorldEnd(void) { Request().text("WorldEnd\n"); }
RtVoid RiAttributeBegin(void) { Request().text("AttributeBegin\n"); }
RtVoid RiAttributeEnd(void) { Request().text("AttributeEnd\n"); }
RtVoid RiTransformBegin(void) { Request().text("TransformBegin\n"); }
RtVoid RiTransformEnd(void) { Request().text("TransformEnd\n"); }
RtVoid RiSolidBegin(RtToken operation) { Request().text("SolidBegin \"%s\"\n", ribout::str(operation).c_str()); }
RtVoid RiSolidEnd(void) { Request().text("SolidEnd\n"); }
RtVoid RiMotionEnd(void) { Request().text("MotionEnd\n"); }
RtVoid RiObjectEnd(void) { Request().text("ObjectEnd\n"); }

RtVoid RiMotionBeginV(RtInt n, RtFloat times[])
{
    Request r;
    r.text("MotionBegin [");
    for (RtInt i = 0; times && i < n; ++i) r.text(" %g", static_cast<double>(times[i]));
    r.text("]\n");
}

RtObjectHandle RiObjectBegin(void)
{
    Request r;
    if (!r.context()) return nullptr;
    int id = r.context()->next_object++;
    r.text("ObjectBegin %d\n", id);
    return reinterpret_cast<RtObjectHandle>(static_cast<intptr_t>(id));
}

RtVoid RiObjectInstance(RtObjectHandle handle)
{
    Request().text("ObjectInstance %ld\n", static_cast<long>(reinterpret_cast<intptr_t>(handle)));
}

RtVoid RiIdentity(void) { Request().text("Identity\n"); }

RtVoid RiTransform(RtMatrix transform) { ribout::float_array_request("Transform", 16, &transform[0][0]); }

RtVoid RiConcatTransform(RtMatrix transform) { ribout::float_array_request("ConcatTransform", 16, &transform[0][0]); }

RtVoid RiPerspective(RtFloat fov) { Request().text("Perspective %g\n", static_cast<double>(fov)); }

RtVoid RiTranslate(RtFloat dx, RtFloat dy, RtFloat dz)
{
    Request r;
    r.text("Translate ");
    for (RtFloat v : {dx, dy, dz}) r.single(v);
    r.text("\n");
}

RtVoid RiRotate(RtFloat angle, RtFloat dx, RtFloat dy, RtFloat dz)
{
    Request r;
    r.text("Rotate ");
    for (RtFloat v : {angle, dx, dy, dz}) r.single(v);
    r.text("\n");
}

RtVoid RiScale(RtFloat sx, RtFloat sy, RtFloat sz)
{
    Request().text("Scale %g %g %g\n", static_cast<double>(sx), static_cast<double>(sy),
                   static_cast<double>(sz));
}

RtVoid RiSkew(RtFloat angle, RtFloat dx1, RtFloat dy1, RtFloat dz1, RtFloat dx2, RtFloat dy2, RtFloat dz2)
{
    Request().text("Skew %g   %g %g %g   %g %g %g\n", static_cast<double>(angle), static_cast<double>(dx1),
                   static_cast<double>(dy1), static_cast<double>(dz1), static_cast<double>(dx2),
                   static_cast<double>(dy2), static_cast<double>(dz2));
}

RtVoid RiCoordinateSystem(RtToken space) { Request().text("CoordinateSystem \"%s\"\n", ribout::str(space).c_str()); }
RtVoid RiCoordSysTransform(RtToken space) { Request().text("CoordSysTransform \"%s\"\n", ribout::str(space).c_str()); }

// The writer cannot transform: the request is written and no points are answered.
RtPoint *RiTransformPoints(RtToken fromspace, RtToken tospace, RtInt n, RtPoint points[])
{
    Request r;
    r.text("TransformPoints \"%s\" \"%s\" ", ribout::str(fromspace).c_str(), ribout::str(tospace).c_str());
    r.floats(points ? 3L * n : 0, points ? &points[0][0] : nullptr);
    r.text("\n");
    return nullptr;
}

} // extern "C"
