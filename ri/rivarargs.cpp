// The varargs forms of the option, attribute, shader, geometry and
// texture-making procedures: each gathers its (token, value) pairs, ended by a
// null token, and calls its V form.
#include <cstdarg>

#include "ri/paramlist.h"
#include "ri/ri.h"

#define GATHER(last)                  \
    va_list ap;                       \
    va_start(ap, last);               \
    int n = collect_varargs(ap);      \
    va_end(ap)

RtVoid RiProjection(RtToken name, ...)
{
    GATHER(name);
    RiProjectionV(name, n, varargs_tokens, varargs_values);
}

RtVoid RiDisplay(RtToken name, RtToken type, RtToken mode, ...)
{
    GATHER(mode);
    RiDisplayV(name, type, mode, n, varargs_tokens, varargs_values);
}

RtVoid RiHider(RtToken type, ...)
{
    GATHER(type);
    RiHiderV(type, n, varargs_tokens, varargs_values);
}

RtVoid RiOption(RtToken name, ...)
{
    GATHER(name);
    RiOptionV(name, n, varargs_tokens, varargs_values);
}

RtVoid RiAttribute(RtToken name, ...)
{
    GATHER(name);
    RiAttributeV(name, n, varargs_tokens, varargs_values);
}

RtVoid RiSphere(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...)
{
    GATHER(thetamax);
    RiSphereV(radius, zmin, zmax, thetamax, n, varargs_tokens, varargs_values);
}

RtVoid RiCone(RtFloat height, RtFloat radius, RtFloat thetamax, ...)
{
    GATHER(thetamax);
    RiConeV(height, radius, thetamax, n, varargs_tokens, varargs_values);
}

RtVoid RiCylinder(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...)
{
    GATHER(thetamax);
    RiCylinderV(radius, zmin, zmax, thetamax, n, varargs_tokens, varargs_values);
}

RtVoid RiHyperboloid(RtPoint point1, RtPoint point2, RtFloat thetamax, ...)
{
    GATHER(thetamax);
    RiHyperboloidV(point1, point2, thetamax, n, varargs_tokens, varargs_values);
}

RtVoid RiParaboloid(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...)
{
    GATHER(thetamax);
    RiParaboloidV(rmax, zmin, zmax, thetamax, n, varargs_tokens, varargs_values);
}

RtVoid RiDisk(RtFloat height, RtFloat radius, RtFloat thetamax, ...)
{
    GATHER(thetamax);
    RiDiskV(height, radius, thetamax, n, varargs_tokens, varargs_values);
}

RtVoid RiTorus(RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax, ...)
{
    GATHER(thetamax);
    RiTorusV(majorrad, minorrad, phimin, phimax, thetamax, n, varargs_tokens, varargs_values);
}

RtVoid RiPolygon(RtInt nvertices, ...)
{
    GATHER(nvertices);
    RiPolygonV(nvertices, n, varargs_tokens, varargs_values);
}

RtVoid RiGeneralPolygon(RtInt nloops, RtInt nverts[], ...)
{
    GATHER(nverts);
    RiGeneralPolygonV(nloops, nverts, n, varargs_tokens, varargs_values);
}

RtVoid RiPointsPolygons(RtInt npolys, RtInt nverts[], RtInt verts[], ...)
{
    GATHER(verts);
    RiPointsPolygonsV(npolys, nverts, verts, n, varargs_tokens, varargs_values);
}

RtVoid RiPointsGeneralPolygons(RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[], ...)
{
    GATHER(verts);
    RiPointsGeneralPolygonsV(npolys, nloops, nverts, verts, n, varargs_tokens, varargs_values);
}

RtVoid RiPatch(RtToken type, ...)
{
    GATHER(type);
    RiPatchV(type, n, varargs_tokens, varargs_values);
}

RtVoid RiPatchMesh(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, ...)
{
    GATHER(vwrap);
    RiPatchMeshV(type, nu, uwrap, nv, vwrap, n, varargs_tokens, varargs_values);
}

RtVoid RiNuPatch(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax,
                 RtInt nv, RtInt vorder, RtFloat vknot[], RtFloat vmin, RtFloat vmax, ...)
{
    GATHER(vmax);
    RiNuPatchV(nu, uorder, uknot, umin, umax, nv, vorder, vknot, vmin, vmax, n, varargs_tokens, varargs_values);
}

RtVoid RiCurves(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, ...)
{
    GATHER(wrap);
    RiCurvesV(type, ncurves, nvertices, wrap, n, varargs_tokens, varargs_values);
}

RtVoid RiPoints(RtInt npoints, ...)
{
    GATHER(npoints);
    RiPointsV(npoints, n, varargs_tokens, varargs_values);
}

RtVoid RiSubdivisionMesh(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[],
                         RtInt ntags, RtToken tags[], RtInt nargs[], RtInt intargs[], RtFloat floatargs[], ...)
{
    GATHER(floatargs);
    RiSubdivisionMeshV(scheme, nfaces, nvertices, vertices, ntags, tags, nargs, intargs, floatargs,
                       n, varargs_tokens, varargs_values);
}

RtVoid RiBlobby(RtInt nleaf, RtInt ncode, RtInt code[], RtInt nflt, RtFloat flt[],
                RtInt nstr, RtToken str[], ...)
{
    GATHER(str);
    RiBlobbyV(nleaf, ncode, code, nflt, flt, nstr, str, n, varargs_tokens, varargs_values);
}

RtVoid RiSurface(RtToken name, ...)
{
    GATHER(name);
    RiSurfaceV(name, n, varargs_tokens, varargs_values);
}

RtVoid RiInterior(RtToken name, ...)
{
    GATHER(name);
    RiInteriorV(name, n, varargs_tokens, varargs_values);
}

RtVoid RiExterior(RtToken name, ...)
{
    GATHER(name);
    RiExteriorV(name, n, varargs_tokens, varargs_values);
}

RtVoid RiAtmosphere(RtToken name, ...)
{
    GATHER(name);
    RiAtmosphereV(name, n, varargs_tokens, varargs_values);
}

RtVoid RiDisplacement(RtToken name, ...)
{
    GATHER(name);
    RiDisplacementV(name, n, varargs_tokens, varargs_values);
}

RtVoid RiDeformation(RtToken name, ...)
{
    GATHER(name);
    RiDeformationV(name, n, varargs_tokens, varargs_values);
}

RtVoid RiImager(RtToken name, ...)
{
    GATHER(name);
    RiImagerV(name, n, varargs_tokens, varargs_values);
}

RtLightHandle RiLightSource(RtToken name, ...)
{
    GATHER(name);
    return RiLightSourceV(name, n, varargs_tokens, varargs_values);
}

RtLightHandle RiAreaLightSource(RtToken name, ...)
{
    GATHER(name);
    return RiAreaLightSourceV(name, n, varargs_tokens, varargs_values);
}

RtVoid RiMakeTexture(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                     RtFloat swidth, RtFloat twidth, ...)
{
    GATHER(twidth);
    RiMakeTextureV(pic, tex, swrap, twrap, filter, swidth, twidth, n, varargs_tokens, varargs_values);
}

RtVoid RiMakeBump(RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter,
                  RtFloat swidth, RtFloat twidth, ...)
{
    GATHER(twidth);
    RiMakeBumpV(pic, tex, swrap, twrap, filter, swidth, twidth, n, varargs_tokens, varargs_values);
}

RtVoid RiMakeLatLongEnvironment(RtString pic, RtString tex, RtFilterFunc filter, RtFloat swidth,
                                RtFloat twidth, ...)
{
    GATHER(twidth);
    RiMakeLatLongEnvironmentV(pic, tex, filter, swidth, twidth, n, varargs_tokens, varargs_values);
}

RtVoid RiMakeCubeFaceEnvironment(RtString px, RtString nx, RtString py, RtString ny, RtString pz,
                                 RtString nz, RtString tex, RtFloat fov, RtFilterFunc filter,
                                 RtFloat swidth, RtFloat twidth, ...)
{
    GATHER(twidth);
    RiMakeCubeFaceEnvironmentV(px, nx, py, ny, pz, nz, tex, fov, filter, swidth, twidth, n,
                               varargs_tokens, varargs_values);
}

RtVoid RiMakeShadow(RtString pic, RtString tex, ...)
{
    GATHER(tex);
    RiMakeShadowV(pic, tex, n, varargs_tokens, varargs_values);
}
