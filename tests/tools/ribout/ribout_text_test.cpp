// The ASCII text of the requests, byte for byte.
#include <gtest/gtest.h>

#include "ri_common/ri.h"
#include "tests/tools/ribout/ribout_support.h"

using ribtest::written;

TEST(RiboutText, QuadricsAndUniformParameterLists)
{
    EXPECT_EQ(written([] { RiSphere(1, -1, 1, 360, RI_NULL); }), "Sphere 1 -1 1 360\n");
    RtFloat ks = 0.5f;
    EXPECT_EQ(written([&] { RiSurface("plastic", "Ks", &ks, RI_NULL); }), "Surface \"plastic\" \"Ks\" [0.5]\n");
    RtPoint p1 = {0.5f, 0, -1}, p2 = {1, 0, 1};
    EXPECT_EQ(written([&] { RiHyperboloid(p1, p2, 360, RI_NULL); }), "Hyperboloid 0.5 0 -1 1 0 1 360\n");
    EXPECT_EQ(written([] { RiTorus(1, 0.25f, 0, 360, 90, RI_NULL); }), "Torus 1 0.25 0 360 90\n");
    // Values by declared type: strings bracketed without a trailing blank,
    // integers each followed by one, arrays by their length.
    RtString names[2] = {"a.rib", "b"};
    RtInt origin[2] = {3, 4};
    RtFloat st[2] = {0.25f, 0.75f};
    RiDeclare("pair", "string[2]");
    EXPECT_EQ(written([&] { RiOption("x", "pair", names, "origin", origin, RI_NULL); }),
              "Option \"x\" \"pair\" [\"a.rib\" \"b\"] \"origin\" [3 4 ]\n");
    EXPECT_EQ(written([&] { RiAttribute("a", "st", st, RI_NULL); }), "Attribute \"a\" \"st\" [0.25 0.75]\n");
    // Quotes, backslashes and line ends in strings are escaped.
    RtString odd = "say \"hi\"\\\r\n";
    EXPECT_EQ(written([&] { RiSurface("a\"b", "string s", &odd, RI_NULL); }),
              "Surface \"a\\\"b\" \"string s\" [\"say \\\"hi\\\"\\\\\\r\\n\"]\n");
}

TEST(RiboutText, ArchiveRecords)
{
    EXPECT_EQ(written([] {
                  RiArchiveRecord("comment", "made by %s\nfor %d", "me", 2);
                  RiArchiveRecord("structure", "Scene %s", "hall");
                  RiArchiveRecord("verbatim", "Sphere 1 -1 1 360\n");
              }),
              "#made by me\n#for 2\n##Scene hall\nSphere 1 -1 1 360\n");
}

TEST(RiboutText, PrimitiveListsAreCountedByStorageClass)
{
    RtFloat p[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    RtFloat one = 1;
    RtColor cs[4] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
    EXPECT_EQ(written([&] { RiPolygon(4, "P", p, "Cs", cs, "constantwidth", &one, RI_NULL); }),
              "Polygon \"P\" [0 0 0 1 0 0 1 1 0 0 1 0] \"Cs\" [1 0 0 0 1 0 0 0 1 1 1 1] \"constantwidth\" [1]\n");
    RtInt nverts[2] = {3, 3}, verts[6] = {0, 1, 2, 0, 2, 3};
    RtFloat uni[2] = {5, 6};
    RiDeclare("k", "uniform float");
    EXPECT_EQ(written([&] { RiPointsPolygons(2, nverts, verts, "P", p, "k", uni, RI_NULL); }),
              "PointsPolygons[3 3 ] [0 1 2 0 2 3 ]  \"P\" [0 0 0 1 0 0 1 1 0 0 1 0] \"k\" [5 6]\n");
    RtInt loops[1] = {1}, lverts[1] = {4}, lv[4] = {0, 1, 2, 3};
    EXPECT_EQ(written([&] { RiPointsGeneralPolygons(1, loops, lverts, lv, "P", p, RI_NULL); }),
              "PointsGeneralPolygons[1 ][4 ][0 1 2 3 ]  \"P\" [0 0 0 1 0 0 1 1 0 0 1 0]\n");
    EXPECT_EQ(written([&] { RiGeneralPolygon(1, lverts, "P", p, RI_NULL); }),
              "GeneralPolygon[4 ]  \"P\" [0 0 0 1 0 0 1 1 0 0 1 0]\n");
    EXPECT_EQ(written([&] { RiPoints(4, "P", p, RI_NULL); }), "Points  \"P\" [0 0 0 1 0 0 1 1 0 0 1 0]\n");
}

TEST(RiboutText, MeshAndCurveCountsFollowTheBasisSteps)
{
    RtFloat p[3 * 28] = {};
    RiDeclare("u1", "uniform float");
    RiDeclare("v1", "varying float");
    RtFloat vals[28] = {};
    // Bicubic 7 x 4 with the Bezier step 3: (7 - 4) / 3 + 1 = 2 patches and 3
    // varying values across u; periodic v: 4 / 3 = 1 patch and 1 value.
    std::string text = written([&] {
        RiBasis(RiBezierBasis, RI_BEZIERSTEP, RiBezierBasis, RI_BEZIERSTEP);
        RiPatchMesh("bicubic", 7, "nonperiodic", 4, "periodic", "u1", vals, "v1", vals, RI_NULL);
    });
    EXPECT_EQ(text, "Basis \"bezier\" 3 \"bezier\" 3\n"
                    "PatchMesh \"bicubic\" 7 \"nonperiodic\" 4 \"periodic\" \"u1\" [0 0] \"v1\" [0 0 0]\n");
    // Steps start at 3 in a new context; a B-spline v basis has step 1.
    RtInt nv[2] = {4, 5};
    text = written([&] { RiCurves("cubic", 2, nv, "nonperiodic", "u1", vals, "v1", vals, RI_NULL); });
    EXPECT_EQ(text, "Curves \"cubic\"[4 5 ] \"nonperiodic\"  \"u1\" [0 0] \"v1\" [0 0 0 0]\n");
    text = written([&] {
        RiBasis(RiBezierBasis, 3, RiBSplineBasis, 1);
        RiCurves("cubic", 2, nv, "nonperiodic", "u1", vals, RI_NULL);
        RiCurves("linear", 1, nv, "periodic", "u1", vals, "v1", vals, RI_NULL);
    });
    EXPECT_EQ(text, "Basis \"bezier\" 3 \"b-spline\" 1\n"
                    "Curves \"cubic\"[4 5 ] \"nonperiodic\"  \"u1\" [0 0 0]\n"
                    "Curves \"linear\"[4 ] \"periodic\"  \"u1\" [0 0 0 0] \"v1\" [0 0 0 0]\n");
    EXPECT_EQ(written([&] { RiCurves("linear", 0, nullptr, "periodic", "P", p, RI_NULL); }),
              "Curves \"linear\"[] \"periodic\"  \"P\" []\n");
    // A basis that is none of the standard ones is written as its matrix.
    RtBasis own = {{1, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    EXPECT_EQ(written([&] { RiBasis(own, 2, RiPowerBasis, 4); }),
              "Basis [1 0 0 0 0 2 0 0 0 0 1 0 0 0 0 1] 2 \"power\" 4\n");
}

TEST(RiboutText, PatchesNurbsAndTrimCurves)
{
    RtFloat vals[16] = {};
    RiDeclare("v1", "varying float");
    RiDeclare("x1", "vertex float");
    EXPECT_EQ(written([&] { RiPatch("bilinear", "x1", vals, "v1", vals, RI_NULL); }),
              "Patch \"bilinear\" \"x1\" [0 0 0 0] \"v1\" [0 0 0 0]\n");
    EXPECT_EQ(written([&] { RiPatch("bicubic", "x1", vals, RI_NULL); }),
              "Patch \"bicubic\" \"x1\" [0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0]\n");
    RtFloat knots[6] = {0, 0, 0, 1, 1, 1};
    RiDeclare("u1", "uniform float");
    // 3 x 3 control points of order 3: 1 x 1 segments, 2 x 2 varying values.
    EXPECT_EQ(written([&] { RiNuPatch(3, 3, knots, 0, 1, 3, 3, knots, 0, 1, "u1", vals, "v1", vals, RI_NULL); }),
              "NuPatch 3 3 [0 0 0 1 1 1] 0.000000 1.000000 3 3 [0 0 0 1 1 1] 0.000000 1.000000  \"u1\" [0] \"v1\" "
              "[0 0 0 0]\n");
    RtInt ncurves[1] = {2}, order[2] = {2, 3}, n[2] = {2, 3};
    RtFloat tk[10] = {0, 0, 1, 1, 0, 0, 0, 1, 1, 1}, mn[2] = {0, 0}, mx[2] = {1, 1};
    RtFloat u[5] = {0, 1, 1, 0.5f, 0}, v[5] = {0, 0, 1, 1, 0}, w[5] = {1, 1, 1, 1, 1};
    EXPECT_EQ(written([&] { RiTrimCurve(1, ncurves, order, tk, mn, mx, n, u, v, w); }),
              "TrimCurve [2 ][2 3 ][0 0 1 1 0 0 0 1 1 1] [0 0] [1 1] [2 3 ][0 1 1 0.5 0] [0 0 1 1 0] [1 1 1 1 1]\n");
}

TEST(RiboutText, OptionsAndTextureMaking)
{
    EXPECT_EQ(written([] {
                  RiFormat(640, 480, 1);
                  RiScreenWindow(-1, 1, -0.75f, 0.75f);
                  RiPixelFilter(RiCatmullRomFilter, 4, 4);
                  RiQuantize("rgba", 255, 0, 255, 0.5f);
                  RiDisplay("out.tif", "file", "rgb", RI_NULL);
                  RiExposure(1, 2.2f);
              }),
              "Format 640 480 1\nScreenWindow -1 1 -0.75 0.75\nPixelFilter \"catmull-rom\" 4 4\n"
              "Quantize \"rgba\" 255 0 255 0.5\nDisplay \"out.tif\" \"file\" \"rgb\"\nExposure 1 2.2\n");
    RtString down = "down";
    EXPECT_EQ(written([&] {
                  RiMakeTexture("a.tif", "a.tx", "periodic", "clamp", RiBoxFilter, 1, 1, "resize", &down, RI_NULL);
                  RiMakeCubeFaceEnvironment("1", "2", "3", "4", "5", "6", "c.tx", 90, RiGaussianFilter, 2, 2, RI_NULL);
                  RiMakeShadow("d.z", "s.tx", RI_NULL);
              }),
              "MakeTexture \"a.tif\" \"a.tx\" \"periodic\" \"clamp\" \"box\" 1 1 \"resize\" [\"down\"]\n"
              "MakeCubeFaceEnvironment \"1\" \"2\" \"3\" \"4\" \"5\" \"6\" \"c.tx\" 90 \"gaussian\" 2 2\n"
              "MakeShadow \"d.z\" \"s.tx\"\n");
}

TEST(RiboutText, TransformationsAndBlocks)
{
    RtMatrix m = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 2, 3, 1}};
    EXPECT_EQ(written([&] {
                  RiTranslate(1, 2, 3);
                  RiRotate(90, 0, 0, 1);
                  RiScale(1, 2, 3);
                  RiSkew(45, 0, 1, 0, 1, 0, 0);
                  RiConcatTransform(m);
                  RiMotionBegin(3, 0.0, 0.5, 1.0);
                  RiMotionEnd();
                  RiSolidBegin("difference");
                  RiSolidEnd();
                  RiTextureCoordinates(0, 0, 1, 0, 0, 1, 1, 1);
                  RiErrorHandler(RiErrorIgnore);
                  RiErrorHandler(RiErrorPrint);
              }),
              "Translate 1 2 3 \nRotate 90 0 0 1 \nScale 1 2 3\nSkew 45   0 1 0   1 0 0\n"
              "ConcatTransform [1 0 0 0 0 1 0 0 0 0 1 0 1 2 3 1]\nMotionBegin [ 0 0.5 1]\nMotionEnd\n"
              "SolidBegin \"difference\"\nSolidEnd\nTextureCoordinates [ 0 0 1 0 0 1 1 1 ]\n"
              "ErrorHandler \"ignore\"\nErrorHandler \"print\"\n");
}

TEST(RiboutText, OtherPrimitives)
{
    RtInt nv[1] = {4}, v[4] = {0, 1, 2, 3}, nargs[2] = {1, 1}, ia[1] = {2};
    RtFloat fa[1] = {10};
    RtToken tags[1] = {"crease"};
    RtFloat p[12] = {};
    EXPECT_EQ(written([&] { RiSubdivisionMesh("catmull-clark", 1, nv, v, 1, tags, nargs, ia, fa, "P", p, RI_NULL); }),
              "SubdivisionMesh \"catmull-clark\" [4 ] [0 1 2 3 ] [\"crease\" ] [1 1 ] [2 ] [10] \"P\" "
              "[0 0 0 0 0 0 0 0 0 0 0 0]\n");
    EXPECT_EQ(written([&] { RiSubdivisionMesh("catmull-clark", 1, nv, v, 0, nullptr, nullptr, nullptr, nullptr, RI_NULL); }),
              "SubdivisionMesh \"catmull-clark\" [4 ] [0 1 2 3 ]\n");
    RtInt code[2] = {1001, 0};
    RtFloat flt[2] = {10, 0};
    RtToken none[1] = {"x"};
    EXPECT_EQ(written([&] { RiBlobby(1, 2, code, 2, flt, 1, none, RI_NULL); }),
              "Blobby 1 [1001 0 ] [10 0] [\"x\" ]\n");
    RtBound b = {-1, 1, -1, 1, -1, 1};
    RtString args[2] = {"gen", "1 2"};
    EXPECT_EQ(written([&] {
                  RiProcedural(args, b, RiProcDelayedReadArchive, RiProcFree);
                  RiProcedural(args, b, RiProcDynamicLoad, RiProcFree);
              }),
              "Procedural \"DelayedReadArchive\" [\"gen\"] [-1 1 -1 1 -1 1]\n"
              "Procedural \"DynamicLoad\" [\"gen\" \"1 2\"] [-1 1 -1 1 -1 1]\n");
}
