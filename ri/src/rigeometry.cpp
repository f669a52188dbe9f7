// The RI geometry procedures: they check the nesting state and hand their
// arguments to the current renderer's primitive operations; bases, trim
// curves, solids and retained objects.
#include <cstring>

#include "ri_common/basis.h"
#include "ri/declarations.h"
#include "ri/front_end.h"
#include "level_of_detail.h"
#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/stdtokens.h"

TrimLoopsRef (*build_trim_loops)(RtInt, RtInt[], RtInt[], RtFloat[], RtFloat[], RtFloat[], RtInt[],
                                 RtFloat[], RtFloat[], RtFloat[]) = nullptr;

namespace {

// Geometry can be made only inside the world or an object definition.
bool geometry_allowed(const Renderer *r)
{
    return (r->level & (LEVEL_WORLD | LEVEL_OBJECT)) != 0;
}

// The common checks of a primitive: the motion count, the renderer, the level.
Renderer *primitive_check()
{
    Renderer *r = renderer_or_report();
    if (!r) return nullptr;
    if (r->motion_times > 0) r->motion_specs++;
    if (!geometry_allowed(r)) {
        ri_report(RIE_NOTPRIMS, RIE_WARNING);
        return nullptr;
    }
    // Another model of the level-of-detail set is drawn instead.
    if (detail_culls(*r->attributes)) return nullptr;
    return r;
}

} // namespace

RtVoid ri_front::ConeV(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_cone(height, radius, thetamax, n, tokens, params);
}

RtVoid ri_front::CylinderV(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax,
                           RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_cylinder(radius, zmin, zmax, thetamax, n, tokens, params);
}

RtVoid ri_front::DiskV(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_disk(height, radius, thetamax, n, tokens, params);
}

RtVoid ri_front::HyperboloidV(RtPoint point1, RtPoint point2, RtFloat thetamax,
                              RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_hyperboloid(point1, point2, thetamax, n, tokens, params);
}

RtVoid ri_front::ParaboloidV(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax,
                             RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_paraboloid(rmax, zmin, zmax, thetamax, n, tokens, params);
}

RtVoid ri_front::SphereV(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax,
                         RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_sphere(radius, zmin, zmax, thetamax, n, tokens, params);
}

RtVoid ri_front::TorusV(RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax,
                        RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check())
        r->add_torus(majorrad, minorrad, phimin, phimax, thetamax, n, tokens, params);
}

RtVoid ri_front::PolygonV(RtInt nvertices, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_polygon(nvertices, n, tokens, params);
}

RtVoid ri_front::GeneralPolygonV(RtInt nloops, RtInt nverts[], RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_general_polygon(nloops, nverts, n, tokens, params);
}

RtVoid ri_front::PointsPolygonsV(RtInt npolys, RtInt nverts[], RtInt verts[], RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_points_polygons(npolys, nverts, verts, n, tokens, params);
}

RtVoid ri_front::PointsGeneralPolygonsV(RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[],
                                        RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check())
        r->add_points_general_polygons(npolys, nloops, nverts, verts, n, tokens, params);
}

RtVoid ri_front::PatchV(RtToken type, RtInt n, RtToken tokens[], RtPointer params[])
{
    Renderer *r = primitive_check();
    if (!r) return;
    bool position = false;
    for (int i = 0; i < n && !position; i++) {
        Declaration *d = declarations().lookup(tokens[i]);
        RtToken name = d ? d->name() : nullptr;
        position = name && (name == tok::P || name == tok::Pw || name == tok::Pz);
    }
    if (!position) return;
    if (type && !strcmp(type, "bilinear")) r->add_bilinear_patch(0, 1, 0, 1, n, tokens, params);
    else if (type && !strcmp(type, "bicubic")) r->add_bicubic_patch(0, 1, 0, 1, n, tokens, params);
    else ri_error(RIE_BADTOKEN, RIE_ERROR, "Unknown patch type: \"%s\"\n", type ? type : "");
}

RtVoid ri_front::PatchMeshV(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap,
                            RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_patch_mesh(type, nu, uwrap, nv, vwrap, n, tokens, params);
}

RtVoid ri_front::NuPatchV(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax,
                          RtInt nv, RtInt vorder, RtFloat vknot[], RtFloat vmin, RtFloat vmax,
                          RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check())
        r->add_nu_patch(nu, uorder, uknot, umin, umax, nv, vorder, vknot, vmin, vmax, n, tokens, params);
}

RtVoid ri_front::CurvesV(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap,
                         RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_curves(type, ncurves, nvertices, wrap, n, tokens, params);
}

RtVoid ri_front::PointsV(RtInt npoints, RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_points(npoints, n, tokens, params);
}

RtVoid ri_front::SubdivisionMeshV(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[],
                                  RtInt ntags, RtToken tags[], RtInt nargs[], RtInt intargs[], RtFloat floatargs[],
                                  RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check())
        r->add_subdivision_mesh(scheme, nfaces, nvertices, vertices, ntags, tags, nargs, intargs, floatargs,
                                n, tokens, params);
}

RtVoid ri_front::BlobbyV(RtInt nleaf, RtInt ncode, RtInt code[], RtInt nflt, RtFloat flt[],
                         RtInt nstr, RtToken str[], RtInt n, RtToken tokens[], RtPointer params[])
{
    if (Renderer *r = primitive_check()) r->add_blobby(nleaf, ncode, code, nflt, flt, nstr, str, n, tokens, params);
}

RtVoid ri_front::Procedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivfunc, RtProcFreeFunc freefunc)
{
    // A procedural that is not made hands its data back to its free function.
    Renderer *r = renderer_or_report();
    if (!r) {
        if (freefunc) freefunc(data);
        return;
    }
    bool first = first_motion_spec(r);
    if (!geometry_allowed(r)) ri_report(RIE_NOTPRIMS, RIE_WARNING);
    if (first && geometry_allowed(r) && !detail_culls(*r->attributes))
        r->add_procedural(data, bound, subdivfunc, freefunc);
    else if (freefunc) freefunc(data);
}

RtVoid ri_front::GeometryV(RtToken type, RtInt, RtToken[], RtPointer[])
{
    // No geometry of this kind is made; each name is told once.
    if (primitive_check())
        ri_error_once(RIE_INCAPABLE, RIE_INFO, "Geometry \"%s\" not currently supported", type ? type : "");
}

RtVoid ri_front::Basis(RtBasis ubasis, RtInt ustep, RtBasis vbasis, RtInt vstep)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    // A step of 0 would divide the patch counts by zero; steps are stored in a byte.
    if (ustep < 1 || ustep > 255 || vstep < 1 || vstep > 255) {
        ri_error(RIE_RANGE, RIE_ERROR, "RiBasis: steps %d %d out of range", ustep, vstep);
        return;
    }
    const float *u = &ubasis[0][0], *v = &vbasis[0][0];
    if (!is_builtin_basis(u) && !(u = r->new_matrix(u))) return;
    if (!is_builtin_basis(v) && !(v = r->new_matrix(v))) return;
    unshare_gstate(r);
    GState *g = r->attributes.get();
    g->ubasis = u;
    g->vbasis = v;
    g->ustep = (uint8_t)ustep;
    g->vstep = (uint8_t)vstep;
}

RtVoid ri_front::TrimCurve(RtInt nloops, RtInt ncurves[], RtInt order[], RtFloat knot[],
                           RtFloat amin[], RtFloat amax[], RtInt n[], RtFloat u[], RtFloat v[], RtFloat w[])
{
    Renderer *r = renderer_or_report();
    if (!r || !first_motion_spec(r)) return;
    unshare_gstate(r);
    GState *g = r->attributes.get();
    if (nloops > 0 && build_trim_loops)
        g->trim_loops = build_trim_loops(nloops, ncurves, order, knot, amin, amax, n, u, v, w);
    else
        g->trim_loops.clear();
}

RtVoid ri_front::SolidBegin(RtToken operation)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (!geometry_allowed(r)) {
        ri_report(RIE_NOTPRIMS, RIE_WARNING);
        return;
    }
    r->solid_begin(operation);
    RiAttributeBegin();
    r->solid_depth++;
}

RtVoid ri_front::SolidEnd(void)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (!geometry_allowed(r)) {
        ri_report(RIE_NOTPRIMS, RIE_WARNING);
        return;
    }
    if (r->solid_depth <= 0) {
        ri_error(RIE_BADSOLID, RIE_ERROR, "Unexpected SolidEnd");
        return;
    }
    r->solid_end();
    r->solid_depth--;
    RiAttributeEnd();
}

RtObjectHandle ri_front::ObjectBegin(void)
{
    Renderer *r = renderer_or_report();
    if (!r) return nullptr;
    if (r->level & LEVEL_OBJECT) {
        ri_error(RIE_NESTING, RIE_ERROR, "Nested RiObjectBegin");
        return nullptr;
    }
    RiAttributeBegin();
    r->level |= LEVEL_OBJECT;
    r->object_solid_depth = r->solid_depth;
    RtObjectHandle h = r->object_begin();
    r->note_object(h);
    return h;
}

RtVoid ri_front::ObjectEnd(void)
{
    Renderer *r = renderer_or_report();
    if (!r) return;
    if (!(r->level & LEVEL_OBJECT)) {
        ri_error(RIE_NESTING, RIE_ERROR, "Bad placement of RiObjectEnd");
        return;
    }
    r->object_end();
    // Solids left open in the definition ended with it (reported by the back end).
    while (r->solid_depth > r->object_solid_depth) {
        r->solid_depth--;
        RiAttributeEnd();
    }
    r->level &= ~LEVEL_OBJECT;
    RiAttributeEnd();
}

RtVoid ri_front::ObjectInstance(RtObjectHandle handle)
{
    Renderer *r = renderer_or_report();
    if (!r || !first_motion_spec(r)) return;
    if (!geometry_allowed(r)) {
        ri_report(RIE_NOTPRIMS, RIE_WARNING);
        return;
    }
    if (!r->object_is_live(handle)) {
        ri_error(RIE_BADHANDLE, RIE_ERROR, "Object handle no longer valid");
        return;
    }
    if (detail_culls(*r->attributes)) return;
    RiAttributeBegin();
    unshare_gstate(r);
    r->attributes->flags |= GS_INSTANCE;
    r->object_instance(handle);
    RiAttributeEnd();
}
