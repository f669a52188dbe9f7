#include "tests/tools/ribwriter/scene.h"

#include "ri_common/ri.h"

namespace ribtest {

namespace {

RtMatrix SHEAR = {{1, 0, 0, 0}, {0.5f, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
RtMatrix MOVE = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 5, 1}};

void options(const char *display)
{
    RtFloat fov = 40;
    RtInt origin[2] = {0, 0};
    RtColor ncolor[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    RtString resize = "up";
    RiErrorHandler(RiErrorPrint);
    RiMakeTexture("in.tif", "out.tx", "periodic", "clamp", RiBoxFilter, 1, 1, "resize", &resize, RI_NULL);
    RiMakeBump("in.tif", "bump.tx", "black", "black", RiTriangleFilter, 2, 2, RI_NULL);
    RiMakeLatLongEnvironment("in.tif", "env.tx", RiGaussianFilter, 2, 2, RI_NULL);
    RiMakeCubeFaceEnvironment("px.tif", "nx.tif", "py.tif", "ny.tif", "pz.tif", "nz.tif", "cube.tx", 95,
                              RiCatmullRomFilter, 4, 4, RI_NULL);
    RiMakeShadow("depth.z", "shadow.tx", RI_NULL);
    RiDeclare("tint", "uniform color");
    RiOption("searchpath", "archive", &resize, RI_NULL);
    RiFrameBegin(1);
    RiFormat(8, 6, 1);
    RiFrameAspectRatio(1.25f);
    RiScreenWindow(-1.25f, 1.25f, -1, 1);
    RiCropWindow(0, 1, 0, 1);
    RiProjection("perspective", "fov", &fov, RI_NULL);
    RiClipping(0.25f, 1000);
    RiDepthOfField(22, 0.5f, 10);
    RiShutter(0, 1);
    RiPixelVariance(0.0625f);
    RiPixelSamples(2, 2);
    RiPixelFilter(RiSincFilter, 2, 2);
    RiExposure(1, 2.25f);
    RiImager("background", "tint", ncolor[1], RI_NULL);
    RiQuantize("rgba", 255, 0, 255, 0.5f);
    RiDisplay(display, "file", "rgba", "origin", origin, RI_NULL);
    RiHider("hidden", RI_NULL);
    RiColorSamples(3, &ncolor[0][0], &ncolor[0][0]);
    RiRelativeDetail(1.5f);
}

void attributes()
{
    RtColor red = {1, 0, 0}, grey = {0.5f, 0.5f, 0.5f};
    RtBound box = {-1, 1, -1, 1, -1, 1};
    RtFloat intensity = 4, km = 0.25f;
    RtString name = "piece \"7\" of c:\\set\nsecond line";
    RtPoint from = {0, 2.5f, -3};
    RtLightHandle point = RiLightSource("pointlight", "intensity", &intensity, "from", from, RI_NULL);
    RtLightHandle area = RiAreaLightSource("arealight", "intensity", &intensity, RI_NULL);
    RiIlluminate(area, 0);
    RiIlluminate(point, 1);
    RiAttributeBegin();
    RiAttribute("identifier", "name", &name, RI_NULL);
    RiColor(red);
    RiOpacity(grey);
    RiTextureCoordinates(0, 0, 1, 0, 0, 1, 1, 1);
    RiShadingRate(0.5f);
    RiShadingInterpolation("smooth");
    RiMatte(0);
    RiBound(box);
    RiDetail(box);
    RiDetailRange(0, 0, 100, 200);
    RiGeometricApproximation("flatness", 0.5f);
    RiGeometricRepresentation("primitive");
    RiOrientation("lh");
    RiReverseOrientation();
    RiSides(2);
    RiSurface("plastic", "Ks", &km, "uniform float Km", &km, RI_NULL);
    RiAtmosphere("fog", RI_NULL);
    RiInterior("water", RI_NULL);
    RiExterior("air", RI_NULL);
    RiDisplacement("bumpy", "amplitude", &km, RI_NULL);
    RiDeformation("twist", RI_NULL);
}

void transformations()
{
    RtPoint pts[2] = {{1, 2, 3}, {4, 5, 6}};
    RiTransformBegin();
    RiIdentity();
    RiTransform(MOVE);
    RiConcatTransform(SHEAR);
    RiPerspective(45);
    RiTranslate(0.5f, -1, 2);
    RiRotate(90, 0, 0, 1);
    RiScale(2, 2, 0.5f);
    RiSkew(30, 0, 1, 0, 1, 0, 0);
    RiCoordinateSystem("lamp");
    RiCoordSysTransform("lamp");
    RiTransformPoints("object", "world", 2, pts);
    RiTransformEnd();
}

void quadrics()
{
    RtPoint p1 = {0.5f, 0, -1}, p2 = {1, 0, 1};
    RtFloat s[4] = {0, 0.25f, 0.5f, 1};
    RiSphere(1, -1, 1, 360, "s", s, RI_NULL);
    RiCone(2, 1, 270, RI_NULL);
    RiCylinder(1, -1, 1, 360, RI_NULL);
    RiHyperboloid(p1, p2, 360, RI_NULL);
    RiParaboloid(1, 0, 2, 180, RI_NULL);
    RiDisk(0, 1, 360, RI_NULL);
    RiTorus(1, 0.25f, 0, 360, 360, RI_NULL);
}

void polygons()
{
    RtFloat square[12] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    RtFloat holed[24] = {-2, -2, 0, 2, -2, 0, 2, 2, 0, -2, 2, 0, -1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
    RtColor cs[4] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
    RtInt loops[2] = {4, 4}, one_loop[1] = {2}, two[2] = {3, 3}, verts[6] = {0, 1, 2, 0, 2, 3};
    RtInt quad_verts[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    RiPolygon(4, "P", square, "Cs", cs, RI_NULL);
    RiGeneralPolygon(2, loops, "P", holed, RI_NULL);
    RiPointsPolygons(2, two, verts, "P", square, RI_NULL);
    RiPointsGeneralPolygons(1, one_loop, loops, quad_verts, "P", holed, RI_NULL);
}

void patches()
{
    RtFloat grid[48], knots[8] = {0, 0, 0, 0, 1, 1, 1, 1}, hgrid[64];
    for (int i = 0; i < 16; ++i) {
        grid[3 * i] = static_cast<RtFloat>(i % 4);
        grid[3 * i + 1] = static_cast<RtFloat>(i / 4);
        grid[3 * i + 2] = 0;
        for (int k = 0; k < 3; ++k) hgrid[4 * i + k] = grid[3 * i + k];
        hgrid[4 * i + 3] = 1;
    }
    RtInt ncurves[1] = {1}, order[1] = {2}, n[1] = {2};
    RtFloat tknots[4] = {0, 0, 1, 1}, tmin[1] = {0}, tmax[1] = {1}, u[2] = {0, 1}, v[2] = {0, 1}, w[2] = {1, 1};
    RiBasis(RiBezierBasis, RI_BEZIERSTEP, RiBSplineBasis, RI_BSPLINESTEP);
    RiPatch("bicubic", "P", grid, RI_NULL);
    RiPatch("bilinear", "P", grid, RI_NULL);
    RiPatchMesh("bilinear", 4, "nonperiodic", 4, "nonperiodic", "P", grid, RI_NULL);
    RiPatchMesh("bicubic", 4, "nonperiodic", 4, "periodic", "P", grid, RI_NULL);
    RiTrimCurve(1, ncurves, order, tknots, tmin, tmax, n, u, v, w);
    RiNuPatch(4, 4, knots, 0, 1, 4, 4, knots, 0, 1, "Pw", hgrid, RI_NULL);
}

void others()
{
    RtFloat line[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    RtFloat width = 0.125f;
    RtInt nv[1] = {4};
    RtInt faces[1] = {4}, fverts[4] = {0, 1, 2, 3}, nargs[4] = {0, 0, 1, 1}, intargs[1] = {2};
    RtFloat floatargs[1] = {10};
    RtToken tags[2] = {"interpolateboundary", "crease"};
    RtInt code[8] = {1001, 0, 1004, 0, 1, 0, 0, 0};
    RtFloat blob[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    RtToken nostrings[1] = {"none"};
    RtBound bound = {-1, 1, -1, 1, -1, 1};
    RtString archive[1] = {"part.rib"};
    RtString program[2] = {"gen", "1 2"};
    RiCurves("cubic", 1, nv, "nonperiodic", "P", line, "constantwidth", &width, RI_NULL);
    RiCurves("linear", 1, nv, "periodic", "P", line, RI_NULL);
    RiPoints(4, "P", line, RI_NULL);
    RiSubdivisionMesh("catmull-clark", 1, faces, fverts, 2, tags, nargs, intargs, floatargs, "P", line, RI_NULL);
    RiBlobby(1, 8, code, 16, blob, 1, nostrings, RI_NULL);
    RiGeometry("teapot", RI_NULL);
    RiProcedural(archive, bound, RiProcDelayedReadArchive, RiProcFree);
    RiProcedural(program, bound, RiProcRunProgram, RiProcFree);
    RiProcedural(program, bound, RiProcDynamicLoad, RiProcFree);
    RiReadArchive("part.rib", nullptr, RI_NULL);
}

} // namespace

void write_every_request(const char *display)
{
    options(display);
    RiWorldBegin();
    attributes();
    transformations();
    RtObjectHandle object = RiObjectBegin();
    RiSphere(0.5f, -0.5f, 0.5f, 360, RI_NULL);
    RiObjectEnd();
    RiMotionBegin(2, 0.0, 1.0);
    RiTranslate(0, 0, 1);
    RiTranslate(0, 0, 2);
    RiMotionEnd();
    RiObjectInstance(object);
    RiSolidBegin("union");
    quadrics();
    RiSolidEnd();
    polygons();
    patches();
    others();
    RiAttributeEnd();
    RiWorldEnd();
    RiFrameEnd();
}

void write_render_scene(const char *display)
{
    RtFloat fov = 45, intensity = 12;
    RtPoint from = {0, 2, -2};
    RtFloat floor[12] = {-3, -1, -1, 3, -1, -1, 3, -1, 6, -3, -1, 6};
    RtColor red = {1, 0.25f, 0.25f};
    RiFormat(24, 16, 1);
    RiPixelSamples(1, 1);
    RiQuantize("rgba", 255, 0, 255, 0);
    RiDisplay(display, "file", "rgb", RI_NULL);
    RiProjection("perspective", "fov", &fov, RI_NULL);
    RiTranslate(0, 0, 4);
    RiWorldBegin();
    RiLightSource("pointlight", "intensity", &intensity, "from", from, RI_NULL);
    RiAttributeBegin();
    RiColor(red);
    RiSurface("matte", RI_NULL);
    RiSphere(1, -1, 1, 360, RI_NULL);
    RiAttributeEnd();
    RiPolygon(4, "P", floor, RI_NULL);
    RiWorldEnd();
}

} // namespace ribtest
