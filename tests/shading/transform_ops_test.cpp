#include <gtest/gtest.h>

#include "ri_common/ri.h"
#include "shading_shaderfile/slstack.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/recording_renderer.h"
#include "tests/shading/sl_support.h"

using sltest::param_triple;

namespace {

void expect_near(const Point &a, const Point &b)
{
    EXPECT_LT((a - b).length(), 1e-4f) << a << " vs " << b;
}

// A 200 x 100 perspective camera (fov 90) five units behind the world origin,
// and a coordinate system "squash" (scale 2, 1, 1).
struct CameraScene {
    velktest::RecordingRenderer r;
    Renderer *saved = current_renderer;
    CameraScene()
    {
        current_renderer = &r;
        RiFormat(200, 100, 1);
        RtFloat fov = 90;
        RiProjection(const_cast<char *>("perspective"), "fov", &fov, RI_NULL);
        RiTranslate(0, 0, 5);
        RiWorldBegin();
        RiTransformBegin();
        RiScale(2, 1, 1);
        RiCoordinateSystem(const_cast<char *>("squash"));
        RiTransformEnd();
    }
    ~CameraScene()
    {
        RiWorldEnd();
        current_renderer = saved;
    }
};

} // namespace

TEST(TransformOps, NamedSpacesAndMatrices)
{
    CameraScene scene;
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "spaces",
        "surface spaces(string nowhere = \"nowhere\";\n"
        "               output point cam = 0, back = 0, ras = 0, ndc = 0, scr = 0, sq = 0, bad = 0, bym = 0;\n"
        "               output vector vcam = 0; output normal nsq = 0)\n"
        "{\n"
        "    cam = transform(\"camera\", P); back = transform(\"camera\", \"world\", cam);\n"
        "    vcam = vtransform(\"camera\", I);\n"
        "    ras = transform(\"raster\", point(0, 0, 3)); ndc = transform(\"NDC\", point(0, 0, 3));\n"
        "    scr = transform(\"screen\", point(4, 1, 3));\n"
        "    sq = transform(\"squash\", P); nsq = ntransform(\"squash\", N);\n"
        "    bad = transform(nowhere, P);\n"
        "    bym = transform(matrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1), \"squash\", P);\n"
        "}\n");
    ASSERT_NE(s, nullptr);
    ShadingPoint sv;
    sv.Ps = Point(1, 2, 3);
    sv.I = Point(0, 0, 1);
    sv.Ns = Point(1, 1, 0);
    velktest::ErrorCapture errors;
    int depth = slstack.depth(), sdepth = slstack.string_depth();
    auto block = shadertest::run(s, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(slstack.string_depth(), sdepth);
    expect_near(param_triple(s, block, "cam"), Point(1, 2, 8));
    expect_near(param_triple(s, block, "back"), Point(1, 2, 3));
    expect_near(param_triple(s, block, "vcam"), Point(0, 0, 1));
    Point ras = param_triple(s, block, "ras");   // on the camera axis: the middle of the image
    EXPECT_NEAR(ras.x, 100, 1e-3f);
    EXPECT_NEAR(ras.y, 50, 1e-3f);
    Point ndc = param_triple(s, block, "ndc");
    EXPECT_NEAR(ndc.x, 0.5f, 1e-5f);
    EXPECT_NEAR(ndc.y, 0.5f, 1e-5f);
    Point scr = param_triple(s, block, "scr");   // fov 90: x and y divide by the depth
    EXPECT_NEAR(scr.x, 0.5f, 1e-5f);
    EXPECT_NEAR(scr.y, 0.125f, 1e-5f);
    expect_near(param_triple(s, block, "sq"), Point(0.5f, 2, 3));
    expect_near(param_triple(s, block, "nsq"), Point(2, 1, 0));   // by the transposed inverse
    expect_near(param_triple(s, block, "bym"), Point(12, 22, 33));
    EXPECT_EQ(param_triple(s, block, "bad"), Point(1, 2, 3));
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_LIMIT);
    EXPECT_EQ(errors.reports[0].severity, RIE_ERROR);
    EXPECT_EQ(errors.reports[0].message, "illegal transform space in shader: \"nowhere\"");
}

TEST(TransformOps, SpaceCodes)
{
    CameraScene scene;
    RiTranslate(0, 1, 0);
    ShadingPoint sv;
    sv.ssx = current_renderer->transformation;
    sv.Ps = Point(1, 2, 3);
    velktest::TempDir dir;
    velktest::ErrorCapture errors;
    struct Case {
        const char *op, *code;
        Point expected;
        bool reported;
    } cases[] = {
        {"transform", "4", Point(1, 2, 3), false},    {"transform", "1", Point(1, 1, 3), false},
        {"transform", "101", Point(1, 3, 3), false},  {"transform", "3", Point(1, 2, 8), false},
        {"vtransform", "1", Point(1, 2, 3), false},   {"transform", "7", Point(1, 2, 3), true},
        {"vtransform", "101", Point(1, 2, 3), true},
    };
    int n = 0;
    for (const Case &c : cases) {
        std::string name = "code" + std::to_string(n++);
        // The code is on top of the point.
        Shader *s = shadertest::load_text(dir, name, "surface " + name + "\ncode\n\tpushv\tP \n\tpushif\t" +
                                                         c.code + "\n\t" + c.op + "\n\tpopv\tCi \n\treturn\n");
        ASSERT_NE(s, nullptr);
        errors.clear();
        shadertest::run(s, sv);
        expect_near(sv.Ci, c.expected);
        EXPECT_EQ(errors.count(), c.reported ? 1u : 0u) << c.op << " " << c.code;
        if (c.reported) {
            EXPECT_EQ(errors.reports[0].message, std::string("illegal transform space in shader: \"") + c.code + "\"");
        }
    }
}
