// RIB requests reach their RI procedures with their checked arguments: a
// recording back end sees what every request turned into.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ri/ribfile.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/recording_renderer.h"
#include "tests/support/run_program.h"

namespace {

using velktest::CurrentRecorder;
using velktest::ErrorCapture;

// Reads RIB through the request loop into the current renderer.
void read_rib(const std::string &rib) {
    velktest::TempDir dir;
    std::string path = dir.write("d.rib", rib);
    read_rib_file(path.c_str(), nullptr, 1, 1);
}

std::string joined(const std::vector<std::string> &calls) {
    std::string s;
    for (const std::string &c : calls) s += c + "\n";
    return s;
}

std::string joined(const ErrorCapture &errors) {
    std::string s;
    for (const velktest::ErrorReport &e : errors.reports) s += e.message + "\n";
    return s;
}

TEST(RibDispatch, GeometryRequestsReachTheBackEnd) {
    CurrentRecorder r;
    ErrorCapture errors;
    read_rib(
        "WorldBegin\n"
        "Sphere 1 -1 1 360 \"Cs\" [1 0 0 1 0 0 1 0 0 1 0 0]\n"
        "Cone 2 1 360\nCylinder 1 0 1 360\nDisk 0 1 180\nParaboloid 1 0 1 360\n"
        "Hyperboloid 1 0 0 0 1 1 360\nTorus 1 .25 0 360 90\n"
        "Polygon \"P\" [0 0 0 1 0 0 1 1 0]\n"
        "GeneralPolygon [3 3] \"P\" [0 0 0 4 0 0 4 4 0 1 1 0 2 1 0 2 2 0]\n"
        "PointsPolygons [3 3] [0 1 2 2 1 3] \"P\" [0 0 0 1 0 0 1 1 0 0 1 0]\n"
        "PointsGeneralPolygons [1] [3] [2 1 0] \"P\" [0 0 0 1 0 0 1 1 0]\n"
        "Patch \"bilinear\" \"P\" [0 0 0 1 0 0 0 1 0 1 1 0]\n"
        "Patch \"bicubic\" \"Pz\" [0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0]\n"
        "PatchMesh \"bilinear\" 2 \"nonperiodic\" 3 \"nonperiodic\" \"P\" [0 0 0 1 0 0 0 1 0 1 1 0 0 2 0 1 2 0]\n"
        "Basis \"b-spline\" 1 \"catmull-rom\" 1\n"
        "PatchMesh \"bicubic\" 5 \"periodic\" 4 \"nonperiodic\" \"Pz\" [0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0]\n"
        "NuPatch 2 2 [0 0 1 1] 0 1 2 2 [0 0 1 1] 0 1 \"P\" [0 0 0 1 0 0 0 1 0 1 1 0]\n"
        "Curves \"linear\" [2 3] \"nonperiodic\" \"P\" [0 0 0 1 1 1 0 0 0 1 1 1 2 2 2] \"width\" [1 1 1 1 1]\n"
        "Points \"P\" [0 0 0 1 1 1] \"constantwidth\" .1\n"
        "SubdivisionMesh \"catmull-clark\" [4] [0 1 3 2] [\"interpolateboundary\" \"crease\"] [0 0 2 1] [0 1] [2.5]"
        " \"P\" [0 0 0 1 0 0 0 1 0 1 1 0]\n"
        "Blobby 2 [1001 0 1001 16 0 2 0 1] [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1] [\"\"]\n"
        "SolidBegin \"union\"\nSolidEnd\n"
        "ObjectBegin 5\nSphere 1 -1 1 360\nObjectEnd\nObjectInstance 5\n"
        "WorldEnd\n");
    EXPECT_EQ(joined(errors), "");
    EXPECT_EQ(joined(r->calls),
              "world_begin\n"
              "sphere 1 -1 1 360 1\n"
              "cone 2 1 360 0\ncylinder 1 0 1 360 0\ndisk 0 1 180 0\nparaboloid 1 0 1 360 0\n"
              "hyperboloid 1 1 360 0\ntorus 1 0.25 0 360 90 0\n"
              "polygon 3 1\n"
              "general_polygon 2 3 1\n"
              "points_polygons 2 3 0 1\n"
              "points_general_polygons 1 1 3 2 1\n"
              "bilinear_patch 0 1 0 1 1\n"
              "bicubic_patch 0 1 0 1 1\n"
              "patch_mesh bilinear 2 nonperiodic 3 nonperiodic 1\n"
              "patch_mesh bicubic 5 periodic 4 nonperiodic 1\n"
              "nu_patch 2 2 0 0 1 2 2 0 0 1 1\n"
              "curves linear 2 2 nonperiodic 2\n"
              "points 2 2\n"
              "subdivision_mesh catmull-clark 1 4 0 2 1\n"
              "blobby 2 8 1001 32 1 0\n"
              "solid_begin union\nsolid_end\n"
              "object_begin\nsphere 1 -1 1 360 0\nobject_end\nobject_instance 0\n"
              "render_world\nworld_end\n");
}

TEST(RibDispatch, StateRequestsReachTheBackEnd) {
    CurrentRecorder r;
    ErrorCapture errors;
    // Binary integers keep every digit on their way to the options.
    read_rib(std::string("Format ") + '\x83' + '\x00' + '\x12' + '\xd6' + '\x87' + " 2 1\n" +
             "FrameBegin 7\n"
             "Display \"out.tif\" \"file\" \"rgba\" \"origin\" [1 2]\n"
             "Option \"render\" \"minsamples\" 8\n"
             "Hider \"hidden\"\n"
             "WorldBegin\n"
             "Attribute \"identifier\" \"name\" \"n\"\n"
             "Color [0.5 0.25 1]\nSides 2\nGeometricRepresentation \"lines\"\n"
             "WorldEnd\nFrameEnd\n");
    EXPECT_EQ(r->options.xres, 1234567);
    EXPECT_EQ(joined(errors), "");
    EXPECT_EQ(joined(r->calls),
              "frame_begin 7\n"
              "display out.tif file rgba 1\n"
              "option render minsamples\n"
              "world_begin\n"
              "attribute identifier name\n"
              "color_changed 0.5 0.25 1\nsides_changed\nrepresentation_changed\n"
              "render_world\nworld_end\nframe_end\n");
}

TEST(RibDispatch, OptionRequestsSetTheOptions) {
    CurrentRecorder r;
    ErrorCapture errors;
    read_rib("PixelFilter \"box\" 3 4\nPixelFilter \"mitchell\" 2 2\n"
             "Quantize \"rgba\" 255 0 255 0.5\nPixelSamples [3] 5\nClipping 0.5 50\nExposure 2 1\n"
             "CropWindow 0 .5 .25 1\nRelativeDetail 0.75\nHider \"hidden\" \"jitter\" 1\n"
             "ColorSamples [1 0 0 0 1 0 0 0 1] [1 0 0 0 1 0 0 0 1]\nHider \"paint\"\n");
    EXPECT_EQ(r->options.filter, &RiBoxFilter);
    EXPECT_EQ(r->options.filter_xwidth, 3);
    EXPECT_EQ(r->options.filter_ywidth, 4);
    EXPECT_EQ(r->options.color_quant[3], 0.5f / 255);
    EXPECT_EQ(r->options.xsamples, 3);
    EXPECT_EQ(r->options.ysamples, 5);
    EXPECT_EQ(r->options.near_clip, 0.5f);
    EXPECT_EQ(r->options.exposure_gain, 2);
    EXPECT_EQ(r->options.crop[1], 0.5f);
    EXPECT_EQ(r->options.crop[2], 0.25f);
    EXPECT_EQ(r->options.relative_detail, 0.75f);
    ASSERT_EQ(errors.count(), 3u);
    EXPECT_EQ(errors.reports[0].code, RIE_BADTOKEN);   // the unknown filter, without a message
    EXPECT_EQ(errors.reports[0].message, "");
    EXPECT_EQ(errors.reports[1].message, "ColorSamples not currently implemented");
    EXPECT_EQ(errors.reports[2].message, "Painter's algorithm for hidden surface not supported");
    EXPECT_EQ(r->options.hider, 2);
    // The hidden hider's "jitter" turns jittering within the sample cells off and on.
    EXPECT_EQ(r->options.hider_jitter, 1);
    read_rib("Hider \"hidden\" \"jitter\" [0]\n");
    EXPECT_EQ(r->options.hider_jitter, 0);
    read_rib("Hider \"hidden\" \"float jitter\" 1\n");
    EXPECT_EQ(r->options.hider_jitter, 1);
}

TEST(RibDispatch, ShortListsDropTheRequest) {
    CurrentRecorder r;
    ErrorCapture errors;
    read_rib("WorldBegin\nDeclare \"Cq\" \"varying color\"\n"
             "Polygon \"P\" [0 0 0 1 0 0 1 1 0] \"Cq\" [1 0 0]\n"
             "Polygon \"P\" [0 0 0 1 0 0 1 1 0] \"Cq\" [1 0 0 1 0 0 1 0 0 1 0 0]\n"
             "Sphere 1 -1 1 360 \"Cs\" [1 0]\n"
             "WorldEnd\n");
    EXPECT_EQ(joined(r->calls), "world_begin\npolygon 3 2\nrender_world\nworld_end\n");
    EXPECT_EQ(joined(errors),
              "vertex length mismatch: Cq (found 3, expected 9)\n"
              "vertex length mismatch: Cq (found 12, expected 9)\n"
              "vertex length mismatch: Cs (found 2, expected 12)\n"
              "Bad primitive variables on Sphere\n");
}

} // namespace
