#include <gtest/gtest.h>

#include "ri/ri.h"
#include "ri/transformation.h"
#include "shading/slstack.h"
#include "tests/ri/error_capture.h"
#include "tests/ri/recording_renderer.h"
#include "tests/shading/sl_support.h"

using sltest::param_triple;

namespace {

void expect_near(const Point &a, const Point &b)
{
    EXPECT_NEAR(a.x, b.x, 1e-4f) << a << " vs " << b;
    EXPECT_NEAR(a.y, b.y, 1e-4f) << a << " vs " << b;
    EXPECT_NEAR(a.z, b.z, 1e-4f) << a << " vs " << b;
}

// A 200 x 100 perspective camera (fov 90) five units behind the world
// origin, with a coordinate system "squash" (scale 2, 1, 1) and "moved"
// (translate 0, 0, 3) in the world.
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
        RiTransformBegin();
        RiTranslate(0, 0, 3);
        RiCoordinateSystem(const_cast<char *>("moved"));
        RiTransformEnd();
    }
    ~CameraScene()
    {
        RiWorldEnd();
        current_renderer = saved;
    }
};

} // namespace

TEST(TransformOps, NamedSpaces)
{
    CameraScene scene;
    velktest::TempDir dir;
    Shader *s = sltest::compile(dir, "spaces",
        "surface spaces(string nowhere = \"nowhere\";\n"
        "               output point cam = 0, back = 0, ras = 0, ndc = 0, scr = 0, sq = 0, bad = 0,\n"
        "                      frommoved = 0, bymatrix = 0, bymatrixfrom = 0;\n"
        "               output vector vcam = 0; output normal nsq = 0)\n"
        "{\n"
        "    cam = transform(\"camera\", P);\n"
        "    back = transform(\"camera\", \"world\", cam);\n"
        "    vcam = vtransform(\"camera\", I);\n"
        "    ras = transform(\"raster\", point(0, 0, 3));\n"
        "    ndc = transform(\"NDC\", point(0, 0, 3));\n"
        "    scr = transform(\"screen\", point(4, 1, 3));\n"
        "    sq = transform(\"squash\", P);\n"
        "    nsq = ntransform(\"squash\", N);\n"
        "    frommoved = transform(\"moved\", \"current\", point(1, 1, 1));\n"
        "    bad = transform(nowhere, P);\n"
        "    matrix m = matrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1);\n"
        "    bymatrix = transform(m, P);\n"
        "    bymatrixfrom = transform(m, \"moved\", P);\n"
        "}\n");
    ASSERT_NE(s, nullptr);
    Intersection sv;
    sv.Ps = Point(1, 2, 3);
    sv.I = Point(0, 0, 1);
    sv.Ns = Point(1, 1, 0);
    int depth = slstack.depth(), sdepth = slstack.string_depth();
    velktest::ErrorCapture errors;
    auto block = shadertest::run(s, sv);
    EXPECT_EQ(slstack.depth(), depth);
    EXPECT_EQ(slstack.string_depth(), sdepth);
    expect_near(param_triple(s, block, "cam"), Point(1, 2, 8));
    expect_near(param_triple(s, block, "back"), Point(1, 2, 3));
    expect_near(param_triple(s, block, "vcam"), Point(0, 0, 1));
    // On the camera axis: the middle of the image.
    Point ras = param_triple(s, block, "ras");
    EXPECT_NEAR(ras.x, 100, 1e-3f);
    EXPECT_NEAR(ras.y, 50, 1e-3f);
    Point ndc = param_triple(s, block, "ndc");
    EXPECT_NEAR(ndc.x, 0.5f, 1e-5f);
    EXPECT_NEAR(ndc.y, 0.5f, 1e-5f);
    // fov 90 at camera depth 8: x and y divide by the depth.
    Point scr = param_triple(s, block, "scr");
    EXPECT_NEAR(scr.x, 0.5f, 1e-5f);
    EXPECT_NEAR(scr.y, 0.125f, 1e-5f);
    expect_near(param_triple(s, block, "sq"), Point(0.5f, 2, 3));
    // Normals by the transposed inverse: stays perpendicular to the squashed surface.
    expect_near(param_triple(s, block, "nsq"), Point(2, 1, 0));
    expect_near(param_triple(s, block, "frommoved"), Point(1, 1, 4));
    // An unknown space is reported and the value passes unchanged.
    EXPECT_EQ(param_triple(s, block, "bad"), Point(1, 2, 3));
    ASSERT_EQ(errors.count(), 1u);
    EXPECT_EQ(errors.reports[0].code, RIE_LIMIT);
    EXPECT_EQ(errors.reports[0].severity, RIE_ERROR);
    EXPECT_EQ(errors.reports[0].message, "illegal transform space in shader: \"nowhere\"");
    expect_near(param_triple(s, block, "bymatrix"), Point(11, 22, 33));
    expect_near(param_triple(s, block, "bymatrixfrom"), Point(11, 22, 36));
}

TEST(TransformOps, SpaceCodes)
{
    CameraScene scene;
    velktest::TempDir dir;
    // transform with a numeric code: the code is on top of the point.
    auto code_shader = [&](const char *name, const char *op, const char *code) {
        return shadertest::load_text(dir, name,
            std::string("surface ") + name + "\ncode\n\tpushv\tP \n\tpushif\t" + code + "\n\t" + op +
            "\n\tpopv\tCi \n\treturn\n");
    };
    RiTranslate(0, 1, 0);
    TransformationRef shader_space = current_renderer->transformation;
    Intersection sv;
    sv.ssx = shader_space;
    sv.Ps = Point(1, 2, 3);
    velktest::ErrorCapture errors;
    struct Case {
        const char *op, *code;
        Point expected;
    } cases[] = {
        {"transform", "4", Point(1, 2, 3)},
        {"transform", "1", Point(1, 1, 3)},      // into shader space
        {"transform", "101", Point(1, 3, 3)},    // out of shader space
        {"transform", "3", Point(1, 2, 8)},      // into camera space
        {"vtransform", "1", Point(1, 2, 3)},     // vectors ignore the translation
        {"vtransform", "0", Point(1, 2, 3)},
        {"ntransform", "3", Point(1, 2, 3)},
    };
    int n = 0;
    for (const Case &c : cases) {
        std::string name = "code" + std::to_string(n++);
        Shader *s = code_shader(name.c_str(), c.op, c.code);
        ASSERT_NE(s, nullptr);
        sv.Ci = Point(-1, -1, -1);
        shadertest::run(s, sv);
        expect_near(sv.Ci, c.expected);
    }
    EXPECT_EQ(errors.count(), 0u);
    for (const char *bad : {"transform 7", "vtransform 101", "ntransform 102"}) {
        std::string text(bad);
        std::string op = text.substr(0, text.find(' ')), code = text.substr(text.find(' ') + 1);
        Shader *s = code_shader(("bad" + code + op).c_str(), op.c_str(), code.c_str());
        ASSERT_NE(s, nullptr);
        errors.clear();
        shadertest::run(s, sv);
        EXPECT_EQ(sv.Ci, Point(1, 2, 3)) << bad;
        ASSERT_EQ(errors.count(), 1u) << bad;
        EXPECT_EQ(errors.reports[0].message, "illegal transform space in shader: \"" + code + "\"");
    }
}
