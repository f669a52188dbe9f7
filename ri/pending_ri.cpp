// TEMPORARY: do-nothing definitions of the RI procedures that the request
// table and the start-up call while their real bodies are being written
// elsewhere, so that raylume links. Delete each one as its real definition
// lands; never add one for a procedure defined in another file.
#include <cstdlib>

#include "ri/reader_state.h"
#include "ri/ri.h"
#include "ri/stdtokens.h"

extern "C" {

RtBasis RiBezierBasis = {{-1, 3, -3, 1}, {3, -6, 3, 0}, {-3, 3, 0, 0}, {1, 0, 0, 0}};
RtBasis RiBSplineBasis = {{-1.0f / 6, 3.0f / 6, -3.0f / 6, 1.0f / 6},
                          {3.0f / 6, -6.0f / 6, 3.0f / 6, 0},
                          {-3.0f / 6, 0, 3.0f / 6, 0},
                          {1.0f / 6, 4.0f / 6, 1.0f / 6, 0}};
RtBasis RiCatmullRomBasis = {{-0.5f, 1.5f, -1.5f, 0.5f}, {1, -2.5f, 2, -0.5f}, {-0.5f, 0, 0.5f, 0}, {0, 1, 0, 0}};
RtBasis RiHermiteBasis = {{2, 1, -2, 1}, {-3, -2, 3, -1}, {0, 1, 0, 0}, {1, 0, 0, 0}};
RtBasis RiPowerBasis = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

RtVoid RiBegin(RtToken) { predeclare_tokens(); }
RtVoid RiEnd(void) {}
RtVoid RiFrameBegin(RtInt) {}
RtVoid RiFrameEnd(void) {}
RtVoid RiWorldBegin(void) {}
RtVoid RiWorldEnd(void) {}
RtVoid RiFormat(RtInt, RtInt, RtFloat) {}
RtVoid RiFrameAspectRatio(RtFloat) {}
RtVoid RiScreenWindow(RtFloat, RtFloat, RtFloat, RtFloat) {}
RtVoid RiCropWindow(RtFloat, RtFloat, RtFloat, RtFloat) {}
RtVoid RiProjectionV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiClipping(RtFloat, RtFloat) {}
RtVoid RiDepthOfField(RtFloat, RtFloat, RtFloat) {}
RtVoid RiShutter(RtFloat, RtFloat) {}
RtVoid RiPixelVariance(RtFloat) {}
RtVoid RiPixelSamples(RtFloat, RtFloat) {}
RtVoid RiPixelFilter(RtFilterFunc, RtFloat, RtFloat) {}
RtVoid RiExposure(RtFloat, RtFloat) {}
RtVoid RiImagerV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiQuantize(RtToken, RtInt, RtInt, RtInt, RtFloat) {}
RtVoid RiDisplayV(RtToken, RtToken, RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiHiderV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiColorSamples(RtInt, RtFloat[], RtFloat[]) {}
RtVoid RiRelativeDetail(RtFloat) {}
RtVoid RiOption(RtToken, ...) {}
RtVoid RiOptionV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiAttributeBegin(void) {}
RtVoid RiAttributeEnd(void) {}
RtVoid RiColor(RtColor) {}
RtVoid RiOpacity(RtColor) {}
RtVoid RiTextureCoordinates(RtFloat, RtFloat, RtFloat, RtFloat, RtFloat, RtFloat, RtFloat, RtFloat) {}
RtLightHandle RiLightSourceV(RtToken, RtInt, RtToken[], RtPointer[]) { return 0; }
RtLightHandle RiAreaLightSourceV(RtToken, RtInt, RtToken[], RtPointer[]) { return 0; }
RtVoid RiIlluminate(RtLightHandle, RtBoolean) {}
RtVoid RiSurfaceV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiAtmosphereV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiInteriorV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiExteriorV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiShadingRate(RtFloat) {}
RtVoid RiShadingInterpolation(RtToken) {}
RtVoid RiMatte(RtBoolean) {}
RtVoid RiBound(RtBound) {}
RtVoid RiDetail(RtBound) {}
RtVoid RiDetailRange(RtFloat, RtFloat, RtFloat, RtFloat) {}
RtVoid RiGeometricApproximation(RtToken, RtFloat) {}
RtVoid RiGeometricRepresentation(RtToken) {}
RtVoid RiOrientation(RtToken) {}
RtVoid RiReverseOrientation(void) {}
RtVoid RiSides(RtInt) {}
RtVoid RiAttribute(RtToken, ...) {}
RtVoid RiAttributeV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiIdentity(void) {}
RtVoid RiTransform(RtMatrix) {}
RtVoid RiConcatTransform(RtMatrix) {}
RtVoid RiPerspective(RtFloat) {}
RtVoid RiTranslate(RtFloat, RtFloat, RtFloat) {}
RtVoid RiRotate(RtFloat, RtFloat, RtFloat, RtFloat) {}
RtVoid RiScale(RtFloat, RtFloat, RtFloat) {}
RtVoid RiSkew(RtFloat, RtFloat, RtFloat, RtFloat, RtFloat, RtFloat, RtFloat) {}
RtVoid RiDeformationV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiDisplacementV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiCoordinateSystem(RtToken) {}
RtVoid RiCoordSysTransform(RtToken) {}
RtPoint *RiTransformPoints(RtToken, RtToken, RtInt, RtPoint[]) { return 0; }
RtVoid RiTransformBegin(void) {}
RtVoid RiTransformEnd(void) {}
RtVoid RiPolygonV(RtInt, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiGeneralPolygonV(RtInt, RtInt[], RtInt, RtToken[], RtPointer[]) {}
RtVoid RiPointsPolygonsV(RtInt, RtInt[], RtInt[], RtInt, RtToken[], RtPointer[]) {}
RtVoid RiPointsGeneralPolygonsV(RtInt, RtInt[], RtInt[], RtInt[], RtInt, RtToken[], RtPointer[]) {}
RtVoid RiBasis(RtBasis, RtInt, RtBasis, RtInt) {}
RtVoid RiPatchV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiPatchMeshV(RtToken, RtInt, RtToken, RtInt, RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiNuPatchV(RtInt, RtInt, RtFloat[], RtFloat, RtFloat, RtInt, RtInt, RtFloat[], RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiTrimCurve(RtInt, RtInt[], RtInt[], RtFloat[], RtFloat[], RtFloat[], RtInt[], RtFloat[], RtFloat[], RtFloat[]) {}
RtVoid RiSphereV(RtFloat, RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiConeV(RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiCylinderV(RtFloat, RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiHyperboloidV(RtPoint, RtPoint, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiParaboloidV(RtFloat, RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiDiskV(RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiTorusV(RtFloat, RtFloat, RtFloat, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiCurvesV(RtToken, RtInt, RtInt[], RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiPointsV(RtInt, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiSubdivisionMeshV(RtToken, RtInt, RtInt[], RtInt[], RtInt, RtToken[], RtInt[], RtInt[], RtFloat[], RtInt, RtToken[], RtPointer[]) {}
RtVoid RiBlobbyV(RtInt, RtInt, RtInt[], RtInt, RtFloat[], RtInt, RtToken[], RtInt, RtToken[], RtPointer[]) {}
// A procedural that is not made hands its data back to its free function.
RtVoid RiProcedural(RtPointer data, RtBound, RtProcSubdivFunc, RtProcFreeFunc freefunc) {
    if (freefunc) freefunc(data);
}
RtVoid RiProcDelayedReadArchive(RtPointer, RtFloat) {}
RtVoid RiProcRunProgram(RtPointer, RtFloat) {}
RtVoid RiProcDynamicLoad(RtPointer, RtFloat) {}
RtVoid RiProcFree(RtPointer data) { std::free(data); }
RtVoid RiGeometryV(RtToken, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiSolidBegin(RtToken) {}
RtVoid RiSolidEnd(void) {}
RtObjectHandle RiObjectBegin(void) { return 0; }
RtVoid RiObjectEnd(void) {}
RtVoid RiObjectInstance(RtObjectHandle) {}
RtVoid RiMotionBeginV(RtInt, RtFloat[]) {}
RtVoid RiMotionEnd(void) {}
RtVoid RiMakeTextureV(RtString, RtString, RtToken, RtToken, RtFilterFunc, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiMakeBumpV(RtString, RtString, RtToken, RtToken, RtFilterFunc, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiMakeLatLongEnvironmentV(RtString, RtString, RtFilterFunc, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiMakeCubeFaceEnvironmentV(RtString, RtString, RtString, RtString, RtString, RtString, RtString, RtFloat, RtFilterFunc, RtFloat, RtFloat, RtInt, RtToken[], RtPointer[]) {}
RtVoid RiMakeShadowV(RtString, RtString, RtInt, RtToken[], RtPointer[]) {}

} // extern "C"

// Front-end state the reader asks for (until the renderer state exists).
void current_basis_steps(int &ustep, int &vstep) { ustep = vstep = 3; }
const char *current_archive_path() { return nullptr; }
int current_verbosity() { return 1; }
void options_set_window_position(int, int) {}
void options_set_ascii_preview() {}
void options_set_ray_server() {}
void options_set_output_name(RtToken) {}
