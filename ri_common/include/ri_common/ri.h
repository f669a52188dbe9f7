// The RenderMan Interface 3.1 procedures and types as this toolkit exports them.
// Programs export these with C linkage so that plug-in libraries (procedurals,
// shadeops, display drivers) can call back into the renderer.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef short RtBoolean;
typedef int RtInt;
typedef float RtFloat;
typedef const char *RtToken;
typedef const char *RtString;
typedef RtFloat RtColor[3];
typedef RtFloat RtPoint[3];
typedef RtFloat RtVector[3];
typedef RtFloat RtNormal[3];
typedef RtFloat RtHpoint[4];
typedef RtFloat RtMatrix[4][4];
typedef RtFloat RtBasis[4][4];
typedef RtFloat RtBound[6];
typedef void *RtPointer;
typedef void RtVoid;
typedef RtPointer RtObjectHandle;
typedef RtPointer RtLightHandle;
typedef RtPointer RtContextHandle;

typedef RtFloat (*RtFilterFunc)(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);
typedef RtVoid (*RtErrorHandler)(RtInt code, RtInt severity, const char *message);
typedef RtVoid (*RtProcSubdivFunc)(RtPointer data, RtFloat detail);
typedef RtVoid (*RtProcFreeFunc)(RtPointer data);
typedef RtVoid (*RtArchiveCallback)(RtToken type, const char *format, ...);

#define RI_NULL ((RtToken)0)
#define RI_TRUE 1
#define RI_FALSE 0
#define RI_INFINITY 1.0e38f
#define RI_EPSILON 1.0e-10f

/* The standard tokens of the C binding, X(variable, text); each holds its
   text, interned by the renderer once RiBegin has run. */
#define VELK_RI_TOKENS(X) \
    X(RI_FRAMEBUFFER, "framebuffer") \
    X(RI_FILE, "file") \
    X(RI_RGB, "rgb") \
    X(RI_RGBA, "rgba") \
    X(RI_RGBZ, "rgbz") \
    X(RI_RGBAZ, "rgbaz") \
    X(RI_A, "a") \
    X(RI_Z, "z") \
    X(RI_AZ, "az") \
    X(RI_PERSPECTIVE, "perspective") \
    X(RI_ORTHOGRAPHIC, "orthographic") \
    X(RI_HIDDEN, "hidden") \
    X(RI_PAINT, "paint") \
    X(RI_CONSTANT, "constant") \
    X(RI_SMOOTH, "smooth") \
    X(RI_FLATNESS, "flatness") \
    X(RI_FOV, "fov") \
    X(RI_AMBIENTLIGHT, "ambientlight") \
    X(RI_POINTLIGHT, "pointlight") \
    X(RI_DISTANTLIGHT, "distantlight") \
    X(RI_SPOTLIGHT, "spotlight") \
    X(RI_INTENSITY, "intensity") \
    X(RI_LIGHTCOLOR, "lightcolor") \
    X(RI_FROM, "from") \
    X(RI_TO, "to") \
    X(RI_CONEANGLE, "coneangle") \
    X(RI_CONEDELTAANGLE, "conedeltaangle") \
    X(RI_BEAMDISTRIBUTION, "beamdistribution") \
    X(RI_MATTE, "matte") \
    X(RI_METAL, "metal") \
    X(RI_SHINYMETAL, "shinymetal") \
    X(RI_PLASTIC, "plastic") \
    X(RI_PAINTEDPLASTIC, "paintedplastic") \
    X(RI_KA, "Ka") \
    X(RI_KD, "Kd") \
    X(RI_KS, "Ks") \
    X(RI_ROUGHNESS, "roughness") \
    X(RI_KR, "Kr") \
    X(RI_TEXTURENAME, "texturename") \
    X(RI_SPECULARCOLOR, "specularcolor") \
    X(RI_DEPTHCUE, "depthcue") \
    X(RI_FOG, "fog") \
    X(RI_BUMPY, "bumpy") \
    X(RI_MINDISTANCE, "mindistance") \
    X(RI_MAXDISTANCE, "maxdistance") \
    X(RI_BACKGROUND, "background") \
    X(RI_DISTANCE, "distance") \
    X(RI_AMPLITUDE, "amplitude") \
    X(RI_RASTER, "raster") \
    X(RI_SCREEN, "screen") \
    X(RI_CAMERA, "camera") \
    X(RI_WORLD, "world") \
    X(RI_OBJECT, "object") \
    X(RI_CURRENT, "current") \
    X(RI_SHADER, "shader") \
    X(RI_EYE, "eye") \
    X(RI_NDC, "NDC") \
    X(RI_INSIDE, "inside") \
    X(RI_OUTSIDE, "outside") \
    X(RI_LH, "lh") \
    X(RI_RH, "rh") \
    X(RI_P, "P") \
    X(RI_PZ, "Pz") \
    X(RI_PW, "Pw") \
    X(RI_N, "N") \
    X(RI_NP, "Np") \
    X(RI_CS, "Cs") \
    X(RI_OS, "Os") \
    X(RI_S, "s") \
    X(RI_T, "t") \
    X(RI_ST, "st") \
    X(RI_BILINEAR, "bilinear") \
    X(RI_BICUBIC, "bicubic") \
    X(RI_LINEAR, "linear") \
    X(RI_CUBIC, "cubic") \
    X(RI_PRIMITIVE, "primitive") \
    X(RI_INTERSECTION, "intersection") \
    X(RI_UNION, "union") \
    X(RI_DIFFERENCE, "difference") \
    X(RI_WRAP, "wrap") \
    X(RI_NOWRAP, "nowrap") \
    X(RI_PERIODIC, "periodic") \
    X(RI_NONPERIODIC, "nonperiodic") \
    X(RI_CLAMP, "clamp") \
    X(RI_BLACK, "black") \
    X(RI_IGNORE, "ignore") \
    X(RI_PRINT, "print") \
    X(RI_ABORT, "abort") \
    X(RI_HANDLER, "handler") \
    X(RI_COMMENT, "comment") \
    X(RI_STRUCTURE, "structure") \
    X(RI_VERBATIM, "verbatim") \
    X(RI_WIDTH, "width") \
    X(RI_CONSTANTWIDTH, "constantwidth") \
    X(RI_IDENTIFIER, "identifier") \
    X(RI_NAME, "name")
#define VELK_DECLARE_RI_TOKEN(var, text) extern RtToken var;
VELK_RI_TOKENS(VELK_DECLARE_RI_TOKEN)
#undef VELK_DECLARE_RI_TOKEN

/* Error codes and severities given to error handlers */
enum RiErrorCode {
    RIE_NOERROR = 0, RIE_NOMEM = 1, RIE_SYSTEM = 2, RIE_NOFILE = 3, RIE_BADFILE = 4,
    RIE_VERSION = 5, RIE_DISKFULL = 6,
    RIE_INCAPABLE = 11, RIE_UNIMPLEMENT = 12, RIE_LIMIT = 13, RIE_BUG = 14,
    RIE_NOTSTARTED = 23, RIE_NESTING = 24, RIE_NOTOPTIONS = 25, RIE_NOTATTRIBS = 26,
    RIE_NOTPRIMS = 27, RIE_ILLSTATE = 28, RIE_BADMOTION = 29, RIE_BADSOLID = 30,
    RIE_BADTOKEN = 41, RIE_RANGE = 42, RIE_CONSISTENCY = 43, RIE_BADHANDLE = 44,
    RIE_NOSHADER = 45, RIE_MISSINGDATA = 46, RIE_SYNTAX = 47, RIE_MATH = 61
};
enum RiErrorSeverity { RIE_INFO = 0, RIE_WARNING = 1, RIE_ERROR = 2, RIE_SEVERE = 3 };

/* Standard bases for RiBasis and their steps */
extern RtBasis RiBezierBasis, RiBSplineBasis, RiCatmullRomBasis, RiHermiteBasis, RiPowerBasis;
#define RI_BEZIERSTEP ((RtInt)3)
#define RI_BSPLINESTEP ((RtInt)1)
#define RI_CATMULLROMSTEP ((RtInt)1)
#define RI_HERMITESTEP ((RtInt)2)
#define RI_POWERSTEP ((RtInt)4)

/* Blocks and context */
RtContextHandle RiGetContext(void);
RtVoid RiContext(RtContextHandle handle);
RtVoid RiBegin(RtToken name);
RtVoid RiEnd(void);
RtVoid RiFrameBegin(RtInt number);
RtVoid RiFrameEnd(void);
RtVoid RiWorldBegin(void);
RtVoid RiWorldEnd(void);

/* Options */
RtVoid RiFormat(RtInt xres, RtInt yres, RtFloat aspect);
RtVoid RiFrameAspectRatio(RtFloat aspect);
RtVoid RiScreenWindow(RtFloat left, RtFloat right, RtFloat bottom, RtFloat top);
RtVoid RiCropWindow(RtFloat xmin, RtFloat xmax, RtFloat ymin, RtFloat ymax);
RtVoid RiProjection(RtToken name, ...);
RtVoid RiProjectionV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiClipping(RtFloat hither, RtFloat yon);
RtVoid RiDepthOfField(RtFloat fstop, RtFloat focallength, RtFloat focaldistance);
RtVoid RiShutter(RtFloat smin, RtFloat smax);
RtVoid RiPixelVariance(RtFloat variation);
RtVoid RiPixelSamples(RtFloat xsamples, RtFloat ysamples);
RtVoid RiPixelFilter(RtFilterFunc filter, RtFloat xwidth, RtFloat ywidth);
RtVoid RiExposure(RtFloat gain, RtFloat gamma);
RtVoid RiImager(RtToken name, ...);
RtVoid RiImagerV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiQuantize(RtToken type, RtInt one, RtInt qmin, RtInt qmax, RtFloat ampl);
RtVoid RiDisplay(RtToken name, RtToken type, RtToken mode, ...);
RtVoid RiDisplayV(RtToken name, RtToken type, RtToken mode, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiHider(RtToken type, ...);
RtVoid RiHiderV(RtToken type, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiColorSamples(RtInt n, RtFloat nRGB[], RtFloat RGBn[]);
RtVoid RiRelativeDetail(RtFloat relativedetail);
RtVoid RiOption(RtToken name, ...);
RtVoid RiOptionV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);

/* Attributes */
RtVoid RiAttributeBegin(void);
RtVoid RiAttributeEnd(void);
RtVoid RiColor(RtColor color);
RtVoid RiOpacity(RtColor color);
RtVoid RiTextureCoordinates(RtFloat s1, RtFloat t1, RtFloat s2, RtFloat t2,
                            RtFloat s3, RtFloat t3, RtFloat s4, RtFloat t4);
RtLightHandle RiLightSource(RtToken name, ...);
RtLightHandle RiLightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);
RtLightHandle RiAreaLightSource(RtToken name, ...);
RtLightHandle RiAreaLightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiIlluminate(RtLightHandle light, RtBoolean onoff);
RtVoid RiSurface(RtToken name, ...);
RtVoid RiSurfaceV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiAtmosphere(RtToken name, ...);
RtVoid RiAtmosphereV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiInterior(RtToken name, ...);
RtVoid RiInteriorV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiExterior(RtToken name, ...);
RtVoid RiExteriorV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiShadingRate(RtFloat size);
RtVoid RiShadingInterpolation(RtToken type);
RtVoid RiMatte(RtBoolean onoff);
RtVoid RiBound(RtBound bound);
RtVoid RiDetail(RtBound bound);
RtVoid RiDetailRange(RtFloat minvis, RtFloat lowtran, RtFloat uptran, RtFloat maxvis);
RtVoid RiGeometricApproximation(RtToken type, RtFloat value);
RtVoid RiGeometricRepresentation(RtToken type);
RtVoid RiOrientation(RtToken orientation);
RtVoid RiReverseOrientation(void);
RtVoid RiSides(RtInt sides);
RtVoid RiAttribute(RtToken name, ...);
RtVoid RiAttributeV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);

/* Transformations */
RtVoid RiIdentity(void);
RtVoid RiTransform(RtMatrix transform);
RtVoid RiConcatTransform(RtMatrix transform);
RtVoid RiPerspective(RtFloat fov);
RtVoid RiTranslate(RtFloat dx, RtFloat dy, RtFloat dz);
RtVoid RiRotate(RtFloat angle, RtFloat dx, RtFloat dy, RtFloat dz);
RtVoid RiScale(RtFloat sx, RtFloat sy, RtFloat sz);
RtVoid RiSkew(RtFloat angle, RtFloat dx1, RtFloat dy1, RtFloat dz1,
              RtFloat dx2, RtFloat dy2, RtFloat dz2);
RtVoid RiDeformation(RtToken name, ...);
RtVoid RiDeformationV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiDisplacement(RtToken name, ...);
RtVoid RiDisplacementV(RtToken name, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiCoordinateSystem(RtToken space);
RtVoid RiCoordSysTransform(RtToken space);
RtPoint *RiTransformPoints(RtToken fromspace, RtToken tospace, RtInt n, RtPoint points[]);
RtVoid RiTransformBegin(void);
RtVoid RiTransformEnd(void);

/* Geometry */
RtVoid RiPolygon(RtInt nvertices, ...);
RtVoid RiPolygonV(RtInt nvertices, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiGeneralPolygon(RtInt nloops, RtInt nverts[], ...);
RtVoid RiGeneralPolygonV(RtInt nloops, RtInt nverts[], RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiPointsPolygons(RtInt npolys, RtInt nverts[], RtInt verts[], ...);
RtVoid RiPointsPolygonsV(RtInt npolys, RtInt nverts[], RtInt verts[],
                         RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiPointsGeneralPolygons(RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[], ...);
RtVoid RiPointsGeneralPolygonsV(RtInt npolys, RtInt nloops[], RtInt nverts[], RtInt verts[],
                                RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiBasis(RtBasis ubasis, RtInt ustep, RtBasis vbasis, RtInt vstep);
RtVoid RiPatch(RtToken type, ...);
RtVoid RiPatchV(RtToken type, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiPatchMesh(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, ...);
RtVoid RiPatchMeshV(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap,
                    RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiNuPatch(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax,
                 RtInt nv, RtInt vorder, RtFloat vknot[], RtFloat vmin, RtFloat vmax, ...);
RtVoid RiNuPatchV(RtInt nu, RtInt uorder, RtFloat uknot[], RtFloat umin, RtFloat umax,
                  RtInt nv, RtInt vorder, RtFloat vknot[], RtFloat vmin, RtFloat vmax,
                  RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiTrimCurve(RtInt nloops, RtInt ncurves[], RtInt order[], RtFloat knot[],
                   RtFloat amin[], RtFloat amax[], RtInt n[], RtFloat u[], RtFloat v[], RtFloat w[]);
RtVoid RiSphere(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...);
RtVoid RiSphereV(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax,
                 RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiCone(RtFloat height, RtFloat radius, RtFloat thetamax, ...);
RtVoid RiConeV(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiCylinder(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...);
RtVoid RiCylinderV(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax,
                   RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiHyperboloid(RtPoint point1, RtPoint point2, RtFloat thetamax, ...);
RtVoid RiHyperboloidV(RtPoint point1, RtPoint point2, RtFloat thetamax,
                      RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiParaboloid(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...);
RtVoid RiParaboloidV(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax,
                     RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiDisk(RtFloat height, RtFloat radius, RtFloat thetamax, ...);
RtVoid RiDiskV(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiTorus(RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax, ...);
RtVoid RiTorusV(RtFloat majorrad, RtFloat minorrad, RtFloat phimin, RtFloat phimax, RtFloat thetamax,
                RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiCurves(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, ...);
RtVoid RiCurvesV(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap,
                 RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiPoints(RtInt npoints, ...);
RtVoid RiPointsV(RtInt npoints, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiSubdivisionMesh(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[],
                         RtInt ntags, RtToken tags[], RtInt nargs[], RtInt intargs[], RtFloat floatargs[], ...);
RtVoid RiSubdivisionMeshV(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[],
                          RtInt ntags, RtToken tags[], RtInt nargs[], RtInt intargs[], RtFloat floatargs[],
                          RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiBlobby(RtInt nleaf, RtInt ncode, RtInt code[], RtInt nflt, RtFloat flt[],
                RtInt nstr, RtToken str[], ...);
RtVoid RiBlobbyV(RtInt nleaf, RtInt ncode, RtInt code[], RtInt nflt, RtFloat flt[],
                 RtInt nstr, RtToken str[], RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiProcedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivfunc, RtProcFreeFunc freefunc);
RtVoid RiProcDelayedReadArchive(RtPointer data, RtFloat detail);
RtVoid RiProcRunProgram(RtPointer data, RtFloat detail);
RtVoid RiProcDynamicLoad(RtPointer data, RtFloat detail);
RtVoid RiProcFree(RtPointer data);
RtVoid RiGeometry(RtToken type, ...);
RtVoid RiGeometryV(RtToken type, RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiSolidBegin(RtToken operation);
RtVoid RiSolidEnd(void);
RtObjectHandle RiObjectBegin(void);
RtVoid RiObjectEnd(void);
RtVoid RiObjectInstance(RtObjectHandle handle);
RtVoid RiMotionBegin(RtInt n, ...);
RtVoid RiMotionBeginV(RtInt n, RtFloat times[]);
RtVoid RiMotionEnd(void);

/* Texture making */
RtVoid RiMakeTexture(RtString pic, RtString tex, RtToken swrap, RtToken twrap,
                     RtFilterFunc filter, RtFloat swidth, RtFloat twidth, ...);
RtVoid RiMakeTextureV(RtString pic, RtString tex, RtToken swrap, RtToken twrap,
                      RtFilterFunc filter, RtFloat swidth, RtFloat twidth,
                      RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiMakeBump(RtString pic, RtString tex, RtToken swrap, RtToken twrap,
                  RtFilterFunc filter, RtFloat swidth, RtFloat twidth, ...);
RtVoid RiMakeBumpV(RtString pic, RtString tex, RtToken swrap, RtToken twrap,
                   RtFilterFunc filter, RtFloat swidth, RtFloat twidth,
                   RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiMakeLatLongEnvironment(RtString pic, RtString tex, RtFilterFunc filter,
                                RtFloat swidth, RtFloat twidth, ...);
RtVoid RiMakeLatLongEnvironmentV(RtString pic, RtString tex, RtFilterFunc filter,
                                 RtFloat swidth, RtFloat twidth,
                                 RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiMakeCubeFaceEnvironment(RtString px, RtString nx, RtString py, RtString ny,
                                 RtString pz, RtString nz, RtString tex, RtFloat fov,
                                 RtFilterFunc filter, RtFloat swidth, RtFloat twidth, ...);
RtVoid RiMakeCubeFaceEnvironmentV(RtString px, RtString nx, RtString py, RtString ny,
                                  RtString pz, RtString nz, RtString tex, RtFloat fov,
                                  RtFilterFunc filter, RtFloat swidth, RtFloat twidth,
                                  RtInt n, RtToken tokens[], RtPointer params[]);
RtVoid RiMakeShadow(RtString pic, RtString tex, ...);
RtVoid RiMakeShadowV(RtString pic, RtString tex, RtInt n, RtToken tokens[], RtPointer params[]);

/* Pixel filters */
RtFloat RiGaussianFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);
RtFloat RiBoxFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);
RtFloat RiTriangleFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);
RtFloat RiCatmullRomFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);
RtFloat RiSincFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);

/* Errors */
RtErrorHandler RiErrorHandler(RtErrorHandler handler);
RtVoid RiErrorIgnore(RtInt code, RtInt severity, const char *message);
RtVoid RiErrorPrint(RtInt code, RtInt severity, const char *message);
RtVoid RiErrorAbort(RtInt code, RtInt severity, const char *message);
extern RtInt RiLastError;

/* Archives and declarations */
RtVoid RiArchiveRecord(RtToken type, const char *format, ...);
RtVoid RiReadArchive(RtToken name, RtArchiveCallback callback, ...);
RtVoid RiReadArchiveV(RtToken name, RtArchiveCallback callback, RtInt n, RtToken tokens[], RtPointer params[]);
RtToken RiDeclare(const char *name, const char *declaration);

#ifdef __cplusplus
}
#endif
