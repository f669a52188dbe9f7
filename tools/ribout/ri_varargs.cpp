// The varargs forms: each gathers its (token, value) pairs up to a null
// token, without a limit on their number, and calls its vector form.
#include <cstdarg>
#include <vector>

#include "ri/ri.h"

namespace {

struct Pairs {
    std::vector<RtToken> tokens;
    std::vector<RtPointer> values;
    RtInt n() const { return static_cast<RtInt>(tokens.size()); }
    RtToken *t() { return tokens.data(); }
    RtPointer *v() { return values.data(); }
};

Pairs gather(va_list ap)
{
    Pairs p;
    for (RtToken t = va_arg(ap, RtToken); t; t = va_arg(ap, RtToken)) {
        p.tokens.push_back(t);
        p.values.push_back(va_arg(ap, RtPointer));
    }
    return p;
}

} // namespace

// Declares p, the pairs that follow the argument last.
#define RIBOUT_PAIRS(last)            \
    va_list ap;                       \
    va_start(ap, last);               \
    Pairs p = gather(ap);             \
    va_end(ap)

// A procedure whose only fixed argument is a name.
#define RIBOUT_NAMED(Result, Proc)                   \
    Result Proc(RtToken name, ...)                   \
    {                                                \
        RIBOUT_PAIRS(name);                          \
        return Proc##V(name, p.n(), p.t(), p.v());   \
    }

extern "C" {

RIBOUT_NAMED(RtVoid, RiProjection)
RIBOUT_NAMED(RtVoid, RiImager)
RIBOUT_NAMED(RtVoid, RiHider)
RIBOUT_NAMED(RtVoid, RiOption)
RIBOUT_NAMED(RtVoid, RiAttribute)
RIBOUT_NAMED(RtVoid, RiSurface)
RIBOUT_NAMED(RtVoid, RiAtmosphere)
RIBOUT_NAMED(RtVoid, RiInterior)
RIBOUT_NAMED(RtVoid, RiExterior)
RIBOUT_NAMED(RtVoid, RiDeformation)
RIBOUT_NAMED(RtVoid, RiDisplacement)
RIBOUT_NAMED(RtVoid, RiPatch)
RIBOUT_NAMED(RtVoid, RiGeometry)
RIBOUT_NAMED(RtLightHandle, RiLightSource)
RIBOUT_NAMED(RtLightHandle, RiAreaLightSource)

RtVoid RiDisplay(RtToken name, RtToken type, RtToken mode, ...)
{
    RIBOUT_PAIRS(mode);
    RiDisplayV(name, type, mode, p.n(), p.t(), p.v());
}

RtVoid RiSphere(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...)
{
    RIBOUT_PAIRS(thetamax);
    RiSphereV(radius, zmin, zmax, thetamax, p.n(), p.t(), p.v());
}

RtVoid RiCone(RtFloat height, RtFloat radius, RtFloat thetamax, ...)
{
    RIBOUT_PAIRS(thetamax);
    RiConeV(height, radius, thetamax, p.n(), p.t(), p.v());
}

RtVoid RiCylinder(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...)
{
    RIBOUT_PAIRS(thetamax);
    RiCylinderV(radius, zmin, zmax, thetamax, p.n(), p.t(), p.v());
}

RtVoid RiHyperboloid(RtPoint point1, RtPoint point2, RtFloat thetamax, ...)
{
    RIBOUT_PAIRS(thetamax);
    RiHyperboloidV(point1, point2, thetamax, p.n(), p.t(), p.v());
}

RtVoid RiParaboloid(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...)
{
    RIBOUT_PAIRS(thetamax);
    RiParaboloidV(rmax, zmin, zmax, thetamax, p.n(), p.t(), p.v());
}

RtVoid RiDisk(RtFloat height, RtFloat radius, RtFloat thetamax, ...)
{
    RIBOUT_PAIRS(thetamax);
    RiDiskV(height, radius, thetamax, p.n(), p.t(), p.v());
}

RtVoid RiTorus(RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax, ...)
{
    RIBOUT_PAIRS(thetamax);
    RiTorusV(majorrad, minorrad, phimin, phimax, thetamax, p.n(), p.t(), p.v());
}

RtVoid RiPolygon(RtInt nvertices, ...)
{
    RIBOUT_PAIRS(nvertices);
    RiPolygonV(nvertices, p.n(), p.t(), p.v());
}

RtVoid RiGeneralPolygon(RtInt nloops, RtInt nverts[], ...)
{
    RIBOUT_PAIRS(nverts);
    RiGeneralPolygonV(nloops, nverts, p.n(), p.t(), p.v());
}

RtVoid RiPointsPolygons(RtInt npolys, RtInt nverts[], RtInt verts[], ...)
{
    RIBOUT_PAIRS(verts);
    RiPointsPolygonsV(npolys, nverts, verts, p.n(), p.t(), p.v());
}

RtVoid RiPointsGeneralPolygons(RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[], ...)
{
    RIBOUT_PAIRS(verts);
    RiPointsGeneralPolygonsV(npolys, nloops, nverts, verts, p.n(), p.t(), p.v());
}

RtVoid RiPatchMesh(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, ...)
{
    RIBOUT_PAIRS(vwrap);
    RiPatchMeshV(type, nu, uwrap, nv, vwrap, p.n(), p.t(), p.v());
}

RtVoid RiNuPatch(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax, RtInt nv, RtInt vorder,
                 RtFloat vknot[], RtFloat vmin, RtFloat vmax, ...)
{
    RIBOUT_PAIRS(vmax);
    RiNuPatchV(nu, uorder, uknot, umin, umax, nv, vorder, vknot, vmin, vmax, p.n(), p.t(), p.v());
}

RtVoid RiCurves(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, ...)
{
    RIBOUT_PAIRS(wrap);
    RiCurvesV(type, ncurves, nvertices, wrap, p.n(), p.t(), p.v());
}

RtVoid RiPoints(RtInt npoints, ...)
{
    RIBOUT_PAIRS(npoints);
    RiPointsV(npoints, p.n(), p.t(), p.v());
}

RtVoid RiSubdivisionMesh(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[], RtInt ntags,
                         RtToken tags[], RtInt nargs[], RtInt intargs[], RtFloat floatargs[], ...)
{
    RIBOUT_PAIRS(floatargs);
    RiSubdivisionMeshV(scheme, nfaces, nvertices, vertices, ntags, tags, nargs, intargs, floatargs, p.n(), p.t(),
                       p.v());
}

RtVoid RiBlobby(RtInt nleaf, RtInt ncode, RtInt code[], RtInt nflt, RtFloat flt[], RtInt nstr, RtToken str[], ...)
{
    RIBOUT_PAIRS(str);
    RiBlobbyV(nleaf, ncode, code, nflt, flt, nstr, str, p.n(), p.t(), p.v());
}

RtVoid RiMakeTexture(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                     RtFloat swidth, RtFloat twidth, ...)
{
    RIBOUT_PAIRS(twidth);
    RiMakeTextureV(pic, tex, swrap, twrap, filter, swidth, twidth, p.n(), p.t(), p.v());
}

RtVoid RiMakeBump(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter, RtFloat swidth,
                  RtFloat twidth, ...)
{
    RIBOUT_PAIRS(twidth);
    RiMakeBumpV(pic, tex, swrap, twrap, filter, swidth, twidth, p.n(), p.t(), p.v());
}

RtVoid RiMakeLatLongEnvironment(RtString pic, RtString tex, RtFilterFunc filter, RtFloat swidth, RtFloat twidth,
                                ...)
{
    RIBOUT_PAIRS(twidth);
    RiMakeLatLongEnvironmentV(pic, tex, filter, swidth, twidth, p.n(), p.t(), p.v());
}

RtVoid RiMakeCubeFaceEnvironment(RtString px, RtString nx, RtString py, RtString ny, RtString pz, RtString nz,
                                 RtString tex, RtFloat fov, RtFilterFunc filter, RtFloat swidth, RtFloat twidth,
                                 ...)
{
    RIBOUT_PAIRS(twidth);
    RiMakeCubeFaceEnvironmentV(px, nx, py, ny, pz, nz, tex, fov, filter, swidth, twidth, p.n(), p.t(), p.v());
}

RtVoid RiMakeShadow(RtString pic, RtString tex, ...)
{
    RIBOUT_PAIRS(tex);
    RiMakeShadowV(pic, tex, p.n(), p.t(), p.v());
}

RtVoid RiReadArchive(RtToken name, RtArchiveCallback callback, ...)
{
    RIBOUT_PAIRS(callback);
    RiReadArchiveV(name, callback, p.n(), p.t(), p.v());
}

// The times follow the count as doubles.
RtVoid RiMotionBegin(RtInt n, ...)
{
    std::vector<RtFloat> times;
    va_list ap;
    va_start(ap, n);
    for (RtInt i = 0; i < n; ++i) times.push_back(static_cast<RtFloat>(va_arg(ap, double)));
    va_end(ap);
    RiMotionBeginV(n, times.data());
}

} // extern "C"
