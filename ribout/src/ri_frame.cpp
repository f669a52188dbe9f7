// Contexts, declarations, blocks and transformations.
#include <cstdint>
#include <cstring>
#include "ri_common/standard_tokens.h"
#include "decls.h"
#include "request.h"
#include "ribout/ribout.h"

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


RtVoid rib_writer::Begin(RtToken name) { ribout_begin(name); }
RtVoid rib_writer::End(void) { ribout_end(); }
RtContextHandle rib_writer::GetContext(void) { return const_cast<char *>(ribout_current_name()); }
RtVoid rib_writer::Context(RtContextHandle handle) { ribout_context(static_cast<const char *>(handle)); }
RtToken rib_writer::Declare(const char *name, const char *declaration) { return ribout_declare(name, declaration); }

RtVoid rib_writer::FrameBegin(RtInt number) { Request().text("FrameBegin %d\n", number); }
RtVoid rib_writer::FrameEnd(void) { Request().text("FrameEnd\n"); }
RtVoid rib_writer::WorldBegin(void) { Request().text("WorldBegin\n"); }
RtVoid rib_writer::WorldEnd(void) { Request().text("WorldEnd\n"); }
RtVoid rib_writer::AttributeBegin(void) { Request().text("AttributeBegin\n"); }
RtVoid rib_writer::AttributeEnd(void) { Request().text("AttributeEnd\n"); }
RtVoid rib_writer::TransformBegin(void) { Request().text("TransformBegin\n"); }
RtVoid rib_writer::TransformEnd(void) { Request().text("TransformEnd\n"); }
RtVoid rib_writer::SolidBegin(RtToken operation) { Request().text("SolidBegin \"%s\"\n", ribout::str(operation).c_str()); }
RtVoid rib_writer::SolidEnd(void) { Request().text("SolidEnd\n"); }
RtVoid rib_writer::MotionEnd(void) { Request().text("MotionEnd\n"); }
RtVoid rib_writer::ObjectEnd(void) { Request().text("ObjectEnd\n"); }

RtVoid rib_writer::MotionBeginV(RtInt n, RtFloat times[])
{
    Request r;
    r.text("MotionBegin [");
    for (RtInt i = 0; times && i < n; ++i) r.text(" %g", static_cast<double>(times[i]));
    r.text("]\n");
}

RtObjectHandle rib_writer::ObjectBegin(void)
{
    Request r;
    if (!r.context()) return nullptr;
    int id = r.context()->next_object++;
    r.text("ObjectBegin %d\n", id);
    return reinterpret_cast<RtObjectHandle>(static_cast<intptr_t>(id));
}

RtVoid rib_writer::ObjectInstance(RtObjectHandle handle)
{
    Request().text("ObjectInstance %ld\n", static_cast<long>(reinterpret_cast<intptr_t>(handle)));
}

RtVoid rib_writer::Identity(void) { Request().text("Identity\n"); }

RtVoid rib_writer::Transform(RtMatrix transform) { ribout::float_array_request("Transform", 16, &transform[0][0]); }

RtVoid rib_writer::ConcatTransform(RtMatrix transform) { ribout::float_array_request("ConcatTransform", 16, &transform[0][0]); }

RtVoid rib_writer::Perspective(RtFloat fov) { Request().text("Perspective %g\n", static_cast<double>(fov)); }

RtVoid rib_writer::Translate(RtFloat dx, RtFloat dy, RtFloat dz)
{
    Request r;
    r.text("Translate ");
    for (RtFloat v : {dx, dy, dz}) r.single(v);
    r.text("\n");
}

RtVoid rib_writer::Rotate(RtFloat angle, RtFloat dx, RtFloat dy, RtFloat dz)
{
    Request r;
    r.text("Rotate ");
    for (RtFloat v : {angle, dx, dy, dz}) r.single(v);
    r.text("\n");
}

RtVoid rib_writer::Scale(RtFloat sx, RtFloat sy, RtFloat sz)
{
    Request().text("Scale %g %g %g\n", static_cast<double>(sx), static_cast<double>(sy),
                   static_cast<double>(sz));
}

RtVoid rib_writer::Skew(RtFloat angle, RtFloat dx1, RtFloat dy1, RtFloat dz1, RtFloat dx2, RtFloat dy2, RtFloat dz2)
{
    Request().text("Skew %g   %g %g %g   %g %g %g\n", static_cast<double>(angle), static_cast<double>(dx1),
                   static_cast<double>(dy1), static_cast<double>(dz1), static_cast<double>(dx2),
                   static_cast<double>(dy2), static_cast<double>(dz2));
}

RtVoid rib_writer::CoordinateSystem(RtToken space) { Request().text("CoordinateSystem \"%s\"\n", ribout::str(space).c_str()); }
RtVoid rib_writer::CoordSysTransform(RtToken space) { Request().text("CoordSysTransform \"%s\"\n", ribout::str(space).c_str()); }

// The writer cannot transform: the request is written and no points are answered.
RtPoint *rib_writer::TransformPoints(RtToken fromspace, RtToken tospace, RtInt n, RtPoint points[])
{
    Request r;
    r.text("TransformPoints \"%s\" \"%s\" ", ribout::str(fromspace).c_str(), ribout::str(tospace).c_str());
    r.floats(points ? 3L * n : 0, points ? &points[0][0] : nullptr);
    r.text("\n");
    return nullptr;
}

