// Geometric primitives: each writes its arguments and its parameter list,
// whose values are counted the way the RIB reader counts them.
#include <algorithm>
#include <cstdio>

#include "request.h"
#include "ri_common/same_string.h"

using ribout::Request;
using ribout::str;

namespace {

double d(RtFloat v) { return static_cast<double>(v); }

long total(const RtInt *v, long n)
{
    long s = 0;
    for (long i = 0; v && i < n; ++i) s += std::max<RtInt>(v[i], 0);
    return s;
}

// The largest vertex index, -1 when there is none.
long largest(const RtInt *v, long n)
{
    long m = -1;
    for (long i = 0; v && i < n; ++i) m = std::max<long>(m, v[i]);
    return m;
}

// A basis step as a divisor.
long step(int s)
{
    return s > 0 ? s : 1;
}

// Patches and varying values along one direction of a patch mesh.
void mesh_counts(bool bicubic, long n, const char *wrap, int basis_step, long &npatch, long &nvarying)
{
    bool periodic = is(wrap, "periodic");
    if (bicubic) {
        npatch = periodic ? n / step(basis_step) : (n - 4) / step(basis_step) + 1;
        nvarying = periodic ? npatch : npatch + 1;
    } else {
        npatch = periodic ? n : n - 1;
        nvarying = n;
    }
}

void quadric(Request &r, RtInt n, RtToken tokens[], RtPointer params[])
{
    r.prim_params(4, 4, 1, n, tokens, params);
}

} // namespace


RtVoid rib_writer::SphereV(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[],
                           RtPointer params[])
{
    Request r;
    r.text("Sphere %g %g %g %g", d(radius), d(zmin), d(zmax), d(thetamax));
    quadric(r, n, tokens, params);
}

RtVoid rib_writer::ConeV(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("Cone %g %g %g", d(height), d(radius), d(thetamax));
    quadric(r, n, tokens, params);
}

RtVoid rib_writer::CylinderV(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[],
                             RtPointer params[])
{
    Request r;
    r.text("Cylinder %g %g %g %g", d(radius), d(zmin), d(zmax), d(thetamax));
    quadric(r, n, tokens, params);
}

RtVoid rib_writer::ParaboloidV(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[],
                               RtPointer params[])
{
    Request r;
    r.text("Paraboloid %g %g %g %g", d(rmax), d(zmin), d(zmax), d(thetamax));
    quadric(r, n, tokens, params);
}

RtVoid rib_writer::DiskV(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("Disk %g %g %g", d(height), d(radius), d(thetamax));
    quadric(r, n, tokens, params);
}

RtVoid rib_writer::HyperboloidV(RtPoint point1, RtPoint point2, RtFloat thetamax, RtInt n, RtToken tokens[],
                                RtPointer params[])
{
    Request r;
    r.text("Hyperboloid %g %g %g %g %g %g %g", d(point1[0]), d(point1[1]), d(point1[2]), d(point2[0]),
           d(point2[1]), d(point2[2]), d(thetamax));
    quadric(r, n, tokens, params);
}

RtVoid rib_writer::TorusV(RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax, RtInt n,
                          RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("Torus %g %g %g %g %g", d(majorrad), d(minorrad), d(phimin), d(phimax), d(thetamax));
    quadric(r, n, tokens, params);
}

RtVoid rib_writer::PolygonV(RtInt nvertices, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("Polygon");
    r.prim_params(nvertices, nvertices, 1, n, tokens, params);
}

RtVoid rib_writer::GeneralPolygonV(RtInt nloops, RtInt nverts[], RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    long vertices = total(nverts, nloops);
    r.text("GeneralPolygon");
    r.ints(nloops, nverts);
    r.text(" ");
    r.prim_params(vertices, vertices, 1, n, tokens, params);
}

RtVoid rib_writer::PointsPolygonsV(RtInt npolys, RtInt nverts[], RtInt verts[], RtInt n, RtToken tokens[],
                                   RtPointer params[])
{
    Request r;
    long nv = total(nverts, npolys);
    long m = largest(verts, nv);
    r.text("PointsPolygons");
    r.ints(npolys, nverts);
    r.text(" ");
    r.ints(nv, verts);
    r.text(" ");
    r.prim_params(m + 1, m + 1, npolys, n, tokens, params);
}

RtVoid rib_writer::PointsGeneralPolygonsV(RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[], RtInt n,
                                          RtToken tokens[], RtPointer params[])
{
    Request r;
    long loops = total(nloops, npolys);
    long nv = total(nverts, loops);
    long m = largest(verts, nv);
    r.text("PointsGeneralPolygons");
    r.ints(npolys, nloops);
    r.ints(loops, nverts);
    r.ints(nv, verts);
    r.text(" ");
    r.prim_params(m + 1, m + 1, npolys, n, tokens, params);
}

RtVoid rib_writer::PatchV(RtToken type, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("Patch \"%s\"", str(type).c_str());
    r.prim_params(is(type, "bilinear") ? 4 : 16, 4, 1, n, tokens, params);
}

// A mesh of an unknown type is reported and not written at all.
RtVoid rib_writer::PatchMeshV(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, RtInt n, RtToken tokens[],
                              RtPointer params[])
{
    Request r;
    bool bicubic = is(type, "bicubic");
    if (!bicubic && !is(type, "bilinear")) {
        std::fprintf(stderr, "ribout: unknown patch type %s\n", str(type).c_str());
        r.withdraw();
        return;
    }
    long nupatch = 0, nvpatch = 0, nuvarying = 0, nvvarying = 0;
    int ustep = r.context() ? r.context()->ustep : 3, vstep = r.context() ? r.context()->vstep : 3;
    mesh_counts(bicubic, nu, uwrap, ustep, nupatch, nuvarying);
    mesh_counts(bicubic, nv, vwrap, vstep, nvpatch, nvvarying);
    r.text("PatchMesh \"%s\" %d \"%s\" %d \"%s\"", str(type).c_str(), nu, str(uwrap).c_str(), nv, str(vwrap).c_str());
    r.prim_params(static_cast<long>(nu) * nv, nuvarying * nvvarying, nupatch * nvpatch, n, tokens, params);
}

RtVoid rib_writer::NuPatchV(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax, RtInt nv, RtInt vorder,
                            RtFloat vknot[], RtFloat vmin, RtFloat vmax, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("NuPatch %d %d ", nu, uorder);
    r.floats(static_cast<long>(nu) + uorder, uknot);
    r.text(" %f %f %d %d ", d(umin), d(umax), nv, vorder);
    r.floats(static_cast<long>(nv) + vorder, vknot);
    r.text(" %f %f ", d(vmin), d(vmax));
    r.prim_params(static_cast<long>(nu) * nv, (nu - uorder + 2L) * (nv - vorder + 2L),
                  (nu - uorder + 1L) * (nv - vorder + 1L), n, tokens, params);
}

RtVoid rib_writer::TrimCurve(RtInt nloops, RtInt ncurves[], RtInt order[], RtFloat knot[], RtFloat amin[], RtFloat amax[],
                             RtInt n[], RtFloat u[], RtFloat v[], RtFloat w[])
{
    Request r;
    long curves = total(ncurves, nloops);
    long points = total(n, curves);
    long knots = total(order, curves) + points;
    r.text("TrimCurve ");
    r.ints(nloops, ncurves);
    r.ints(curves, order);
    r.floats(knots, knot);
    r.text(" ");
    r.floats(curves, amin);
    r.text(" ");
    r.floats(curves, amax);
    r.text(" ");
    r.ints(curves, n);
    r.floats(points, u);
    r.text(" ");
    r.floats(points, v);
    r.text(" ");
    r.floats(points, w);
    r.text("\n");
}

RtVoid rib_writer::CurvesV(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, RtInt n, RtToken tokens[],
                           RtPointer params[])
{
    Request r;
    bool periodic = is(wrap, "periodic");
    bool linear = is(type, "linear");
    long vstep = step(r.context() ? r.context()->vstep : 3);
    long vertices = 0, varying = 0, segments = 0;
    for (RtInt i = 0; nvertices && i < ncurves; ++i) {
        long nv = nvertices[i];
        long segs;
        vertices += nv;
        if (linear) {
            segs = nv - 1 + (periodic ? 1 : 0);
            varying += nv;
        } else {
            segs = periodic ? nv / vstep : (nv - 4) / vstep + 1;
            varying += periodic ? segs : segs + 1;
        }
        segments += segs;
    }
    r.text("Curves \"%s\"", str(type).c_str());
    r.ints(ncurves, nvertices);
    r.text(" \"%s\" ", str(wrap).c_str());
    r.prim_params(vertices, varying, segments, n, tokens, params);
}

RtVoid rib_writer::PointsV(RtInt npoints, RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("Points ");
    r.prim_params(npoints, npoints, 1, n, tokens, params);
}

RtVoid rib_writer::SubdivisionMeshV(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[], RtInt ntags,
                                    RtToken tags[], RtInt nargs[], RtInt intargs[], RtFloat floatargs[], RtInt n,
                                    RtToken tokens[], RtPointer params[])
{
    Request r;
    long nv = total(nvertices, nfaces);
    long m = largest(vertices, nv);
    r.text("SubdivisionMesh \"%s\" ", str(scheme).c_str());
    r.ints(nfaces, nvertices);
    r.text(" ");
    r.ints(nv, vertices);
    // Without tags the parameter list follows the vertices at once.
    if (ntags > 0) {
        long nint = 0, nfloat = 0;
        for (RtInt i = 0; nargs && i < ntags; ++i) {
            nint += std::max<RtInt>(nargs[2 * i], 0);
            nfloat += std::max<RtInt>(nargs[2 * i + 1], 0);
        }
        r.text(" ");
        r.strings(ntags, tags);
        r.text(" ");
        r.ints(2L * ntags, nargs);
        r.text(" ");
        r.ints(nint, intargs);
        r.text(" ");
        r.floats(nfloat, floatargs);
    }
    r.prim_params(m + 1, m + 1, nfaces, n, tokens, params);
}

RtVoid rib_writer::BlobbyV(RtInt nleaf, RtInt ncode, RtInt code[], RtInt nflt, RtFloat flt[], RtInt nstr, RtToken strs[],
                           RtInt n, RtToken tokens[], RtPointer params[])
{
    Request r;
    r.text("Blobby %d ", nleaf);
    r.ints(ncode, code);
    r.text(" ");
    r.floats(nflt, flt);
    r.text(" ");
    r.strings(nstr, strs);
    r.prim_params(nleaf, nleaf, 1, n, tokens, params);
}

RIBOUT_LIST_REQUEST(Geometry)

RtVoid rib_writer::Procedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivfunc, RtProcFreeFunc)
{
    const RtString *args = static_cast<const RtString *>(data);
    Request r;
    if (subdivfunc == rib_writer::ProcDelayedReadArchive) {
        r.text("Procedural \"DelayedReadArchive\" [\"%s\"] ", str(args ? args[0] : nullptr).c_str());
    } else if (subdivfunc == rib_writer::ProcRunProgram || subdivfunc == rib_writer::ProcDynamicLoad) {
        r.text("Procedural \"%s\" [\"%s\" \"%s\"] ", subdivfunc == rib_writer::ProcRunProgram ? "RunProgram" : "DynamicLoad",
               str(args ? args[0] : nullptr).c_str(), str(args ? args[1] : nullptr).c_str());
    } else {
        std::fprintf(stderr, "libribout error: procedural type\n");
        r.withdraw();
        return;
    }
    r.floats(6, bound);
    r.text("\n");
}

