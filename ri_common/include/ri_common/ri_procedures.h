// The RI procedures a back end implements, one row each: result, name without
// "Ri", parameters, arguments. The RI binding forwards each to the back end
// chosen at RiBegin.
#pragma once
#include "ri_common/ri.h"

// Forwarded as they are.
#define VELK_RI_FORWARDED(X) \
    X(RtContextHandle, GetContext, (), ()) \
    X(RtVoid, Context, (RtContextHandle handle), (handle)) \
    X(RtVoid, FrameBegin, (RtInt number), (number)) \
    X(RtVoid, FrameEnd, (), ()) \
    X(RtVoid, WorldBegin, (), ()) \
    X(RtVoid, WorldEnd, (), ()) \
    X(RtVoid, Format, (RtInt xres, RtInt yres, RtFloat aspect), (xres, yres, aspect)) \
    X(RtVoid, FrameAspectRatio, (RtFloat aspect), (aspect)) \
    X(RtVoid, ScreenWindow, (RtFloat left, RtFloat right, RtFloat bottom, RtFloat top), (left, right, bottom, top)) \
    X(RtVoid, CropWindow, (RtFloat xmin, RtFloat xmax, RtFloat ymin, RtFloat ymax), (xmin, xmax, ymin, ymax)) \
    X(RtVoid, ProjectionV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtVoid, Clipping, (RtFloat hither, RtFloat yon), (hither, yon)) \
    X(RtVoid, DepthOfField, (RtFloat fstop, RtFloat focallength, RtFloat focaldistance), (fstop, focallength, focaldistance)) \
    X(RtVoid, Shutter, (RtFloat smin, RtFloat smax), (smin, smax)) \
    X(RtVoid, PixelVariance, (RtFloat variation), (variation)) \
    X(RtVoid, PixelSamples, (RtFloat xsamples, RtFloat ysamples), (xsamples, ysamples)) \
    X(RtVoid, PixelFilter, (RtFilterFunc filter, RtFloat xwidth, RtFloat ywidth), (filter, xwidth, ywidth)) \
    X(RtVoid, Exposure, (RtFloat gain, RtFloat gamma), (gain, gamma)) \
    X(RtVoid, ImagerV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtVoid, Quantize, (RtToken type, RtInt one, RtInt qmin, RtInt qmax, RtFloat ampl), (type, one, qmin, qmax, ampl)) \
    X(RtVoid, DisplayV, (RtToken name, RtToken type, RtToken mode, RtInt n, RtToken tokens[], RtPointer params[]), (name, type, mode, n, tokens, params)) \
    X(RtVoid, HiderV, (RtToken type, RtInt n, RtToken tokens[], RtPointer params[]), (type, n, tokens, params)) \
    X(RtVoid, ColorSamples, (RtInt n, RtFloat nRGB[], RtFloat RGBn[]), (n, nRGB, RGBn)) \
    X(RtVoid, RelativeDetail, (RtFloat relativedetail), (relativedetail)) \
    X(RtVoid, OptionV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtVoid, AttributeBegin, (), ()) \
    X(RtVoid, AttributeEnd, (), ()) \
    X(RtVoid, Color, (RtColor color), (color)) \
    X(RtVoid, Opacity, (RtColor color), (color)) \
    X(RtVoid, TextureCoordinates, (RtFloat s1, RtFloat t1, RtFloat s2, RtFloat t2, RtFloat s3, RtFloat t3, RtFloat s4, RtFloat t4), (s1, t1, s2, t2, s3, t3, s4, t4)) \
    X(RtLightHandle, LightSourceV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtLightHandle, AreaLightSourceV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtVoid, Illuminate, (RtLightHandle light, RtBoolean onoff), (light, onoff)) \
    X(RtVoid, SurfaceV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtVoid, AtmosphereV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtVoid, InteriorV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtVoid, ExteriorV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtVoid, ShadingRate, (RtFloat size), (size)) \
    X(RtVoid, ShadingInterpolation, (RtToken type), (type)) \
    X(RtVoid, Matte, (RtBoolean onoff), (onoff)) \
    X(RtVoid, Bound, (RtBound bound), (bound)) \
    X(RtVoid, Detail, (RtBound bound), (bound)) \
    X(RtVoid, DetailRange, (RtFloat minvis, RtFloat lowtran, RtFloat uptran, RtFloat maxvis), (minvis, lowtran, uptran, maxvis)) \
    X(RtVoid, GeometricApproximation, (RtToken type, RtFloat value), (type, value)) \
    X(RtVoid, GeometricRepresentation, (RtToken type), (type)) \
    X(RtVoid, Orientation, (RtToken orientation), (orientation)) \
    X(RtVoid, ReverseOrientation, (), ()) \
    X(RtVoid, Sides, (RtInt sides), (sides)) \
    X(RtVoid, AttributeV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtVoid, Identity, (), ()) \
    X(RtVoid, Transform, (RtMatrix transform), (transform)) \
    X(RtVoid, ConcatTransform, (RtMatrix transform), (transform)) \
    X(RtVoid, Perspective, (RtFloat fov), (fov)) \
    X(RtVoid, Translate, (RtFloat dx, RtFloat dy, RtFloat dz), (dx, dy, dz)) \
    X(RtVoid, Rotate, (RtFloat angle, RtFloat dx, RtFloat dy, RtFloat dz), (angle, dx, dy, dz)) \
    X(RtVoid, Scale, (RtFloat sx, RtFloat sy, RtFloat sz), (sx, sy, sz)) \
    X(RtVoid, Skew, (RtFloat angle, RtFloat dx1, RtFloat dy1, RtFloat dz1, RtFloat dx2, RtFloat dy2, RtFloat dz2), (angle, dx1, dy1, dz1, dx2, dy2, dz2)) \
    X(RtVoid, DeformationV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtVoid, DisplacementV, (RtToken name, RtInt n, RtToken tokens[], RtPointer params[]), (name, n, tokens, params)) \
    X(RtVoid, CoordinateSystem, (RtToken space), (space)) \
    X(RtVoid, CoordSysTransform, (RtToken space), (space)) \
    X(RtPoint *, TransformPoints, (RtToken fromspace, RtToken tospace, RtInt n, RtPoint points[]), (fromspace, tospace, n, points)) \
    X(RtVoid, TransformBegin, (), ()) \
    X(RtVoid, TransformEnd, (), ()) \
    X(RtVoid, PolygonV, (RtInt nvertices, RtInt n, RtToken tokens[], RtPointer params[]), (nvertices, n, tokens, params)) \
    X(RtVoid, GeneralPolygonV, (RtInt nloops, RtInt nverts[], RtInt n, RtToken tokens[], RtPointer params[]), (nloops, nverts, n, tokens, params)) \
    X(RtVoid, PointsPolygonsV, (RtInt npolys, RtInt nverts[], RtInt verts[], RtInt n, RtToken tokens[], RtPointer params[]), (npolys, nverts, verts, n, tokens, params)) \
    X(RtVoid, PointsGeneralPolygonsV, (RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[], RtInt n, RtToken tokens[], RtPointer params[]), (npolys, nloops, nverts, verts, n, tokens, params)) \
    X(RtVoid, Basis, (RtBasis ubasis, RtInt ustep, RtBasis vbasis, RtInt vstep), (ubasis, ustep, vbasis, vstep)) \
    X(RtVoid, PatchV, (RtToken type, RtInt n, RtToken tokens[], RtPointer params[]), (type, n, tokens, params)) \
    X(RtVoid, PatchMeshV, (RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, RtInt n, RtToken tokens[], RtPointer params[]), (type, nu, uwrap, nv, vwrap, n, tokens, params)) \
    X(RtVoid, NuPatchV, (RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax, RtInt nv, RtInt vorder, RtFloat vknot[], RtFloat vmin, RtFloat vmax, RtInt n, RtToken tokens[], RtPointer params[]), (nu, uorder, uknot, umin, umax, nv, vorder, vknot, vmin, vmax, n, tokens, params)) \
    X(RtVoid, TrimCurve, (RtInt nloops, RtInt ncurves[], RtInt order[], RtFloat knot[], RtFloat amin[], RtFloat amax[], RtInt n[], RtFloat u[], RtFloat v[], RtFloat w[]), (nloops, ncurves, order, knot, amin, amax, n, u, v, w)) \
    X(RtVoid, SphereV, (RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[]), (radius, zmin, zmax, thetamax, n, tokens, params)) \
    X(RtVoid, ConeV, (RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[]), (height, radius, thetamax, n, tokens, params)) \
    X(RtVoid, CylinderV, (RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[]), (radius, zmin, zmax, thetamax, n, tokens, params)) \
    X(RtVoid, HyperboloidV, (RtPoint point1, RtPoint point2, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[]), (point1, point2, thetamax, n, tokens, params)) \
    X(RtVoid, ParaboloidV, (RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[]), (rmax, zmin, zmax, thetamax, n, tokens, params)) \
    X(RtVoid, DiskV, (RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[]), (height, radius, thetamax, n, tokens, params)) \
    X(RtVoid, TorusV, (RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[]), (majorrad, minorrad, phimin, phimax, thetamax, n, tokens, params)) \
    X(RtVoid, CurvesV, (RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, RtInt n, RtToken tokens[], RtPointer params[]), (type, ncurves, nvertices, wrap, n, tokens, params)) \
    X(RtVoid, PointsV, (RtInt npoints, RtInt n, RtToken tokens[], RtPointer params[]), (npoints, n, tokens, params)) \
    X(RtVoid, SubdivisionMeshV, (RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[], RtInt ntags, RtToken tags[], RtInt nargs[], RtInt intargs[], RtFloat floatargs[], RtInt n, RtToken tokens[], RtPointer params[]), (scheme, nfaces, nvertices, vertices, ntags, tags, nargs, intargs, floatargs, n, tokens, params)) \
    X(RtVoid, BlobbyV, (RtInt nleaf, RtInt ncode, RtInt code[], RtInt nflt, RtFloat flt[], RtInt nstr, RtToken str[], RtInt n, RtToken tokens[], RtPointer params[]), (nleaf, ncode, code, nflt, flt, nstr, str, n, tokens, params)) \
    X(RtVoid, ProcDelayedReadArchive, (RtPointer data, RtFloat detail), (data, detail)) \
    X(RtVoid, ProcRunProgram, (RtPointer data, RtFloat detail), (data, detail)) \
    X(RtVoid, ProcDynamicLoad, (RtPointer data, RtFloat detail), (data, detail)) \
    X(RtVoid, ProcFree, (RtPointer data), (data)) \
    X(RtVoid, GeometryV, (RtToken type, RtInt n, RtToken tokens[], RtPointer params[]), (type, n, tokens, params)) \
    X(RtVoid, SolidBegin, (RtToken operation), (operation)) \
    X(RtVoid, SolidEnd, (), ()) \
    X(RtObjectHandle, ObjectBegin, (), ()) \
    X(RtVoid, ObjectEnd, (), ()) \
    X(RtVoid, ObjectInstance, (RtObjectHandle handle), (handle)) \
    X(RtVoid, MotionBeginV, (RtInt n, RtFloat times[]), (n, times)) \
    X(RtVoid, MotionEnd, (), ()) \
    X(RtVoid, MakeTextureV, (RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter, RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[]), (pic, tex, swrap, twrap, filter, swidth, twidth, n, tokens, params)) \
    X(RtVoid, MakeBumpV, (RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter, RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[]), (pic, tex, swrap, twrap, filter, swidth, twidth, n, tokens, params)) \
    X(RtVoid, MakeLatLongEnvironmentV, (RtString pic, RtString tex, RtFilterFunc filter, RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[]), (pic, tex, filter, swidth, twidth, n, tokens, params)) \
    X(RtVoid, MakeCubeFaceEnvironmentV, (RtString px, RtString nx, RtString py, RtString ny, RtString pz, RtString nz, RtString tex, RtFloat fov, RtFilterFunc filter, RtFloat swidth, RtFloat twidth, RtInt n, RtToken tokens[], RtPointer params[]), (px, nx, py, ny, pz, nz, tex, fov, filter, swidth, twidth, n, tokens, params)) \
    X(RtVoid, MakeShadowV, (RtString pic, RtString tex, RtInt n, RtToken tokens[], RtPointer params[]), (pic, tex, n, tokens, params)) \
    X(RtVoid, ReadArchiveV, (RtToken name, RtArchiveCallback callback, RtInt n, RtToken tokens[], RtPointer params[]), (name, callback, n, tokens, params)) \
    X(RtToken, Declare, (const char *name, const char *declaration), (name, declaration)) \

// Forwarded after the binding has done its part (choosing the back end,
// giving the back end its own procedural functions).
#define VELK_RI_SPECIAL(X) \
    X(RtVoid, Begin, (RtToken name), (name)) \
    X(RtVoid, End, (), ()) \
    X(RtVoid, Procedural, (RtPointer data, RtBound bound, RtProcSubdivFunc subdivfunc, RtProcFreeFunc freefunc), (data, bound, subdivfunc, freefunc)) \

#define VELK_RI_PROCEDURES(X) VELK_RI_FORWARDED(X) VELK_RI_SPECIAL(X)

// The varargs forms that gather (token, value) pairs up to a null token:
// result, name, fixed parameters, fixed arguments, the last fixed argument.
#define VELK_RI_PAIR_FORMS(X) \
    X(RtVoid, Projection, (RtToken name), (name), name) \
    X(RtVoid, Imager, (RtToken name), (name), name) \
    X(RtVoid, Display, (RtToken name, RtToken type, RtToken mode), (name, type, mode), mode) \
    X(RtVoid, Hider, (RtToken type), (type), type) \
    X(RtVoid, Option, (RtToken name), (name), name) \
    X(RtLightHandle, LightSource, (RtToken name), (name), name) \
    X(RtLightHandle, AreaLightSource, (RtToken name), (name), name) \
    X(RtVoid, Surface, (RtToken name), (name), name) \
    X(RtVoid, Atmosphere, (RtToken name), (name), name) \
    X(RtVoid, Interior, (RtToken name), (name), name) \
    X(RtVoid, Exterior, (RtToken name), (name), name) \
    X(RtVoid, Attribute, (RtToken name), (name), name) \
    X(RtVoid, Deformation, (RtToken name), (name), name) \
    X(RtVoid, Displacement, (RtToken name), (name), name) \
    X(RtVoid, Polygon, (RtInt nvertices), (nvertices), nvertices) \
    X(RtVoid, GeneralPolygon, (RtInt nloops, RtInt nverts[]), (nloops, nverts), nverts) \
    X(RtVoid, PointsPolygons, (RtInt npolys, RtInt nverts[], RtInt verts[]), (npolys, nverts, verts), verts) \
    X(RtVoid, PointsGeneralPolygons, (RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[]), (npolys, nloops, nverts, verts), verts) \
    X(RtVoid, Patch, (RtToken type), (type), type) \
    X(RtVoid, PatchMesh, (RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap), (type, nu, uwrap, nv, vwrap), vwrap) \
    X(RtVoid, NuPatch, (RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax, RtInt nv, RtInt vorder, RtFloat vknot[], RtFloat vmin, RtFloat vmax), (nu, uorder, uknot, umin, umax, nv, vorder, vknot, vmin, vmax), vmax) \
    X(RtVoid, Sphere, (RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax), (radius, zmin, zmax, thetamax), thetamax) \
    X(RtVoid, Cone, (RtFloat height, RtFloat radius, RtFloat thetamax), (height, radius, thetamax), thetamax) \
    X(RtVoid, Cylinder, (RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax), (radius, zmin, zmax, thetamax), thetamax) \
    X(RtVoid, Hyperboloid, (RtPoint point1, RtPoint point2, RtFloat thetamax), (point1, point2, thetamax), thetamax) \
    X(RtVoid, Paraboloid, (RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax), (rmax, zmin, zmax, thetamax), thetamax) \
    X(RtVoid, Disk, (RtFloat height, RtFloat radius, RtFloat thetamax), (height, radius, thetamax), thetamax) \
    X(RtVoid, Torus, (RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax), (majorrad, minorrad, phimin, phimax, thetamax), thetamax) \
    X(RtVoid, Curves, (RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap), (type, ncurves, nvertices, wrap), wrap) \
    X(RtVoid, Points, (RtInt npoints), (npoints), npoints) \
    X(RtVoid, SubdivisionMesh, (RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[], RtInt ntags, RtToken tags[], RtInt nargs[], RtInt intargs[], RtFloat floatargs[]), (scheme, nfaces, nvertices, vertices, ntags, tags, nargs, intargs, floatargs), floatargs) \
    X(RtVoid, Blobby, (RtInt nleaf, RtInt ncode, RtInt code[], RtInt nflt, RtFloat flt[], RtInt nstr, RtToken str[]), (nleaf, ncode, code, nflt, flt, nstr, str), str) \
    X(RtVoid, Geometry, (RtToken type), (type), type) \
    X(RtVoid, MakeTexture, (RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter, RtFloat swidth, RtFloat twidth), (pic, tex, swrap, twrap, filter, swidth, twidth), twidth) \
    X(RtVoid, MakeBump, (RtString pic, RtString tex, RtToken swrap, RtToken twrap, RtFilterFunc filter, RtFloat swidth, RtFloat twidth), (pic, tex, swrap, twrap, filter, swidth, twidth), twidth) \
    X(RtVoid, MakeLatLongEnvironment, (RtString pic, RtString tex, RtFilterFunc filter, RtFloat swidth, RtFloat twidth), (pic, tex, filter, swidth, twidth), twidth) \
    X(RtVoid, MakeCubeFaceEnvironment, (RtString px, RtString nx, RtString py, RtString ny, RtString pz, RtString nz, RtString tex, RtFloat fov, RtFilterFunc filter, RtFloat swidth, RtFloat twidth), (px, nx, py, ny, pz, nz, tex, fov, filter, swidth, twidth), twidth) \
    X(RtVoid, MakeShadow, (RtString pic, RtString tex), (pic, tex), tex) \
    X(RtVoid, ReadArchive, (RtToken name, RtArchiveCallback callback), (name, callback), callback) \

