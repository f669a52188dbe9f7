#include <gtest/gtest.h>

#include <cmath>

#include "ri/renderer.h"
#include "ri_common/rierror.h"
#include "ri/tokens.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/recording_renderer.h"

namespace {

using velktest::CurrentRecorder;
using velktest::ErrorCapture;

TEST(Blocks, LevelsFollowTheBlocks)
{
    CurrentRecorder r;
    EXPECT_EQ(r->level, (uint32_t)LEVEL_GLOBAL);
    RiFrameBegin(3);
    EXPECT_EQ(r->level, (uint32_t)(LEVEL_GLOBAL | LEVEL_FRAME));
    RiWorldBegin();
    EXPECT_EQ(r->level, (uint32_t)(LEVEL_GLOBAL | LEVEL_FRAME | LEVEL_WORLD));
    EXPECT_EQ(r->attribute_depth, 2);
    RiWorldEnd();
    RiFrameEnd();
    EXPECT_EQ(r->level, (uint32_t)LEVEL_GLOBAL);
    EXPECT_EQ(r->attribute_depth, 0);
    EXPECT_EQ(r->transformation_depth, 0);
    std::vector<std::string> want = {"frame_begin 3", "world_begin", "render_world", "world_end", "frame_end"};
    EXPECT_EQ(r->calls, want);
}

TEST(Blocks, StrayEndsReturnAfterTheirError)
{
    CurrentRecorder r;
    ErrorCapture errors;   // a handler that returns, like "ignore"
    RiFrameEnd();
    RiWorldEnd();
    EXPECT_EQ(errors.count(), 2u);
    EXPECT_EQ(errors.reports[0].message, "RiFrameEnd called without corresponding RiFrameBegin");
    EXPECT_EQ(errors.reports[1].message, "RiWorldEnd called at inappropriate level");
    EXPECT_TRUE(r->calls.empty());   // nothing rendered, nothing popped
    errors.clear();
    RiAttributeEnd();
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].message, "Attribute stack underflow");
    EXPECT_EQ(errors.reports[0].severity, RIE_ERROR);
    errors.clear();
    RiWorldBegin();
    RiWorldBegin();
    EXPECT_EQ(errors.reports.at(0).message, "RiWorldBegin called at inappropriate level");
    EXPECT_EQ(errors.reports.at(0).severity, RIE_SEVERE);
    RiFrameEnd();
    EXPECT_EQ(errors.reports.at(1).message, "RiFrameEnd called without corresponding RiFrameBegin");
    RiWorldEnd();
    EXPECT_EQ(r->level, (uint32_t)LEVEL_GLOBAL);
    EXPECT_EQ(r->attribute_depth, 0);
}

TEST(Blocks, AttributeStackOverflowIsRefused)
{
    CurrentRecorder r;
    ErrorCapture errors;
    for (int i = 0; i < 129; i++) RiAttributeBegin();
    EXPECT_EQ(r->attribute_depth, 128);
    EXPECT_TRUE(errors.has_message("Attribute stack overflow"));
    for (int i = 0; i < 128; i++) RiAttributeEnd();
    EXPECT_EQ(r->attribute_depth, 0);
}

TEST(Blocks, WithoutRendererEveryProcedureReturns)
{
    ASSERT_EQ(current_renderer, nullptr);
    ErrorCapture errors;
    RiWorldBegin();
    RiAttributeBegin();
    RiTranslate(1, 2, 3);
    RiSphereV(1, -1, 1, 360, 0, nullptr, nullptr);
    RiFormat(1, 1, 1);
    RtColor red = {1, 0, 0};
    RiColor(red);
    EXPECT_EQ(RiObjectBegin(), nullptr);
    RiEnd();
    for (auto &e : errors.reports) EXPECT_TRUE(e.code == RIE_NOTSTARTED || e.code == RIE_NESTING);
    EXPECT_GE(errors.count(), 7u);
}

TEST(Blocks, EndDestroysTheRenderer)
{
    ErrorCapture errors;
    auto *r = new velktest::RecordingRenderer;
    current_renderer = r;
    RiEnd();
    EXPECT_EQ(current_renderer, nullptr);
    EXPECT_TRUE(errors.reports.empty());
}

TEST(Primitives, EveryOperationIsReachedWithItsArguments)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiWorldBegin();
    RtToken Ptok = "P";
    float P[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
    RtPointer Pv = P;
    RtInt nv[2] = {4, 3}, verts[4] = {0, 1, 2, 3}, nl[1] = {1}, code[1] = {1004};
    RtFloat knots[8] = {0, 0, 0, 0, 1, 1, 1, 1}, flt[2] = {1, 2};
    RtPoint p1 = {1, 0, 0}, p2 = {0, 1, 2};
    RtBound bound = {-1, 1, -1, 1, -1, 1};
    RiConeV(2, 1, 360, 0, nullptr, nullptr);
    RiCylinderV(1, -1, 1, 360, 0, nullptr, nullptr);
    RiDiskV(0, 1, 360, 0, nullptr, nullptr);
    RiHyperboloidV(p1, p2, 360, 0, nullptr, nullptr);
    RiParaboloidV(1, 0, 1, 360, 0, nullptr, nullptr);
    RiSphereV(1, -1, 1, 360, 0, nullptr, nullptr);
    RiTorusV(1, 0.25f, 0, 360, 360, 0, nullptr, nullptr);
    RiPolygonV(4, 1, &Ptok, &Pv);
    RiGeneralPolygonV(1, nv, 1, &Ptok, &Pv);
    RiPointsPolygonsV(1, nv, verts, 1, &Ptok, &Pv);
    RiPointsGeneralPolygonsV(1, nl, nv, verts, 1, &Ptok, &Pv);
    RiPatchV("bilinear", 1, &Ptok, &Pv);
    RiPatchV("bicubic", 1, &Ptok, &Pv);
    RiPatchMeshV("bilinear", 2, "nonperiodic", 2, "nonperiodic", 1, &Ptok, &Pv);
    RiNuPatchV(4, 4, knots, 0, 1, 4, 4, knots, 0, 1, 1, &Ptok, &Pv);
    RiCurvesV("linear", 1, nv, "nonperiodic", 1, &Ptok, &Pv);
    RiPointsV(4, 1, &Ptok, &Pv);
    RiSubdivisionMeshV("catmull-clark", 1, nv, verts, 0, nullptr, nullptr, nullptr, nullptr, 1, &Ptok, &Pv);
    RiBlobbyV(1, 1, code, 2, flt, 0, nullptr, 0, nullptr, nullptr);
    RiProcedural((RtPointer) "data", bound, nullptr, nullptr);
    RiWorldEnd();
    EXPECT_TRUE(errors.reports.empty());
    std::vector<std::string> want = {
        "world_begin",
        "cone 2 1 360 0",
        "cylinder 1 -1 1 360 0",
        "disk 0 1 360 0",
        "hyperboloid 1 2 360 0",
        "paraboloid 1 0 1 360 0",
        "sphere 1 -1 1 360 0",
        "torus 1 0.25 0 360 360 0",
        "polygon 4 1",
        "general_polygon 1 4 1",
        "points_polygons 1 4 0 1",
        "points_general_polygons 1 1 4 0 1",
        "bilinear_patch 0 1 0 1 1",
        "bicubic_patch 0 1 0 1 1",
        "patch_mesh bilinear 2 nonperiodic 2 nonperiodic 1",
        "nu_patch 4 4 0 0 1 4 4 0 0 1 1",
        "curves linear 1 4 nonperiodic 1",
        "points 4 1",
        "subdivision_mesh catmull-clark 1 4 0 0 1",
        "blobby 1 1 1004 2 0 0",
        "procedural data -1 1",
        "render_world",
        "world_end"};
    EXPECT_EQ(r->calls, want);
}

TEST(Primitives, RefusedOutsideTheWorldWhateverTheMotionBits)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiSphereV(1, -1, 1, 360, 0, nullptr, nullptr);
    RiMotionBegin(2, 0.0, 1.0);
    RiSphereV(1, -1, 1, 360, 0, nullptr, nullptr);
    RiSphereV(2, -1, 1, 360, 0, nullptr, nullptr);
    RiMotionEnd();
    EXPECT_TRUE(r->calls.empty());
    EXPECT_EQ(errors.reports.at(0).code, RIE_NOTPRIMS);
    EXPECT_EQ(errors.reports.at(0).severity, RIE_WARNING);
    EXPECT_EQ(errors.reports.at(0).message, "");
}

TEST(Primitives, PatchRules)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiWorldBegin();
    RtToken Cs = "Cs";
    float c[12] = {};
    RtPointer cv = c;
    RiPatchV("bilinear", 1, &Cs, &cv);   // no position: ignored silently
    EXPECT_TRUE(errors.reports.empty());
    RtToken P = "vertex point P";
    RiPatchV("trilinear", 1, &P, &cv);
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].message, "Unknown patch type: \"trilinear\"\n");
    RtToken Pw = "Pw";
    RiPatchV("bilinear", 1, &Pw, &cv);
    RiWorldEnd();
    EXPECT_EQ(r->calls.size(), 4u);   // world_begin, one patch, render_world, world_end
    EXPECT_EQ(r->calls[1], "bilinear_patch 0 1 0 1 1");
}

TEST(Primitives, MotionBlockCountsPrimitives)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiWorldBegin();
    RiMotionBegin(2, 0.0, 1.0);
    RiSphereV(1, -1, 1, 360, 0, nullptr, nullptr);
    RiSphereV(2, -1, 1, 360, 0, nullptr, nullptr);
    RiMotionEnd();
    RtColor red = {1, 0, 0}, green = {0, 1, 0};
    RiMotionBegin(2, 0.0, 1.0);
    RiColor(red);
    RiColor(green);
    RiMotionEnd();
    EXPECT_EQ(r->attributes->color, Color(1, 0, 0));   // the first value of the block
    RtBound box = {0, 1, 0, 1, 0, 1};
    RiMotionBegin(2, 0.0, 1.0);
    RiProcedural((RtPointer) "a", box, nullptr, nullptr);
    RiProcedural((RtPointer) "b", box, nullptr, nullptr);
    RiMotionEnd();
    // A C call with more times than any table keeps its real last time.
    RiMotionBegin(12, 0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 0.95, 1.0);
    EXPECT_EQ(r->motion_time_values[1], 1.0f);
    RiMotionEnd();
    RiWorldEnd();
    ASSERT_EQ(errors.reports.size(), 2u);   // the two-key note, and the block left empty
    errors.reports.clear();
    EXPECT_TRUE(r->saw("sphere 1"));
    EXPECT_TRUE(r->saw("sphere 2"));
    EXPECT_TRUE(r->saw("procedural a"));
    EXPECT_FALSE(r->saw("procedural b"));
}

TEST(Objects, SolidAndObjectBlocks)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiWorldBegin();
    RiSolidEnd();
    EXPECT_EQ(errors.reports.at(0).message, "Unexpected SolidEnd");
    RiSolidBegin("union");
    EXPECT_EQ(r->solid_depth, 1);
    RiSolidEnd();
    EXPECT_EQ(r->solid_depth, 0);
    RtObjectHandle h = RiObjectBegin();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(RiObjectBegin(), nullptr);
    EXPECT_TRUE(errors.has_message("Nested RiObjectBegin"));
    RiSphereV(1, -1, 1, 360, 0, nullptr, nullptr);
    RiObjectEnd();
    RiObjectEnd();
    EXPECT_TRUE(errors.has_message("Bad placement of RiObjectEnd"));
    int depth = r->attribute_depth;
    RiObjectInstance(h);
    EXPECT_EQ(r->attribute_depth, depth);
    ASSERT_FALSE(r->primitive_states.empty());
    EXPECT_TRUE(r->primitive_states.back()->flags & GS_INSTANCE);
    EXPECT_FALSE(r->attributes->flags & GS_INSTANCE);
    RiWorldEnd();
    std::vector<std::string> want = {"world_begin", "solid_begin union", "solid_end", "object_begin",
                                     "sphere 1 -1 1 360 0", "object_end", "object_instance 0",
                                     "render_world", "world_end"};
    EXPECT_EQ(r->calls, want);
    // the object went with its world: its handle is refused, never followed
    errors.clear();
    RiWorldBegin();
    RiObjectInstance(h);
    RiWorldEnd();
    EXPECT_TRUE(errors.has(RIE_BADHANDLE));
    int instances = 0;
    for (auto &c : r->calls) instances += c.rfind("object_instance", 0) == 0;
    EXPECT_EQ(instances, 1);
    // and outside the world ObjectInstance is refused by its level
    errors.clear();
    RtObjectHandle global = RiObjectBegin();
    RiObjectEnd();
    RiObjectInstance(global);
    EXPECT_TRUE(errors.has(RIE_NOTPRIMS));
}

TEST(Attributes, ProceduresAndMessages)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiShadingInterpolation("smooth");
    EXPECT_TRUE(r->attributes->flags & GS_SMOOTH);
    RiShadingInterpolation("flat");
    EXPECT_EQ(errors.reports.at(0).message, "RiShadingInterpolation(): bad type");
    EXPECT_TRUE(r->attributes->flags & GS_SMOOTH);
    RiGeometricRepresentation("wire");
    EXPECT_EQ(errors.reports.at(1).message, "Bad GeometricRepresentation: \"wire\"");
    RiGeometricRepresentation("lines");
    EXPECT_EQ(r->attributes->representation, GEOREP_LINES);
    // Outside the world the detail of a bound cannot be told; a range must increase.
    RtBound box = {0, 1, 0, 1, 0, 1};
    RiDetail(box);
    EXPECT_EQ(r->attributes->detail, HUGE_VALF);
    RiDetailRange(0, 0, 10, 10);
    EXPECT_TRUE(r->attributes->flags & GS_DETAIL_RANGE);
    RiDetailRange(0, 10, 5, 20);
    EXPECT_EQ(errors.reports.at(2).code, RIE_CONSISTENCY);
    EXPECT_EQ(errors.reports.at(2).message, "RiDetailRange: 0 10 5 20 is not an increasing range");
    EXPECT_EQ(r->attributes->detail_range[2], 10);
    RiSides(1);
    EXPECT_FALSE(r->attributes->flags & GS_TWOSIDED);
    RiSides(2);
    EXPECT_TRUE(r->attributes->flags & GS_TWOSIDED);
    RiMatte(1);
    EXPECT_TRUE(r->attributes->flags & GS_MATTE);
    RiShadingRate(0.01f);
    EXPECT_FLOAT_EQ(r->attributes->shading_rate_root, 0.35355338f);
    RiTextureCoordinates(0, 0, 2, 0, 0, 2, 2, 2);
    EXPECT_TRUE(r->attributes->flags & GS_TEXCOORDS);
    EXPECT_EQ(r->attributes->texture_coords[7], 2);
    RtColor c = {0.5f, 0.5f, 0.5f};
    RiOpacity(c);
    EXPECT_EQ(r->attributes->opacity, Color(0.5f));
    RiDisplayV("out.tif", "file", "rgb", 0, nullptr, nullptr);
    EXPECT_EQ(r->last(), "display out.tif file rgb 0");
    EXPECT_TRUE(r->saw("sides_changed"));
    EXPECT_TRUE(r->saw("representation_changed"));
}

TEST(Attributes, BasisAndTrimCurves)
{
    CurrentRecorder r;
    ErrorCapture errors;
    RiBasis(RiBSplineBasis, RI_BSPLINESTEP, RiCatmullRomBasis, RI_CATMULLROMSTEP);
    EXPECT_EQ(r->attributes->ubasis, &RiBSplineBasis[0][0]);
    EXPECT_EQ(r->attributes->vstep, 1);
    EXPECT_EQ(r->matrices.used(), 0);
    RtBasis mine = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}};
    RiWorldBegin();
    RiBasis(mine, 2, RiBezierBasis, 3);
    EXPECT_EQ(r->matrices.used(), 1);
    EXPECT_NE(r->attributes->ubasis, &mine[0][0]);
    EXPECT_EQ(r->attributes->ubasis[15], 16);
    RiBasis(mine, 0, mine, 3);
    EXPECT_TRUE(errors.has(RIE_RANGE));
    EXPECT_EQ(r->attributes->ustep, 2);
    RiTrimCurve(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(r->attributes->trim_loops.is_set());
    RiWorldEnd();
    EXPECT_EQ(r->matrices.used(), 0);   // freed with the world
}

} // namespace
