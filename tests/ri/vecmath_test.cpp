#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "ri_common/vecmath.h"

namespace {

void expect_matrix_near(const Matrix4 &a, const Matrix4 &b, float tol = 1e-5f)
{
    for (int i = 0; i < 16; i++) EXPECT_NEAR(a[i], b[i], tol) << "element " << i;
}

TEST(VecMath, NormalizeThresholds)
{
    EXPECT_EQ(normalize(Point(0, 0, 0)), Point(0, 0, 0));
    EXPECT_EQ(normalize(Point(1e-13f, 0, 0)), Point(0, 0, 0));
    float v[3] = {1e-13f, 0, 0};
    EXPECT_FLOAT_EQ(vnormalize(v), 1e-13f);
    EXPECT_EQ(v[0], 1e-13f);   // left unchanged
    Point p(3, 0, 4);
    EXPECT_FLOAT_EQ(p.normalize(), 5);
    EXPECT_FLOAT_EQ(p.x, 0.6f);
    EXPECT_EQ(clamp(NAN, 0, 1), 0);
}

TEST(VecMath, RowVectorsAndProductOrder)
{
    Matrix4 t(1.0f), s(1.0f);
    t.at(3, 0) = 5;            // translate x by 5
    s.at(0, 0) = 2;            // scale x by 2
    // row vectors: P x (T x S) translates first, then scales
    EXPECT_EQ(Point(1, 0, 0) * (t * s), Point(12, 0, 0));
    EXPECT_EQ(Point(1, 0, 0) * (s * t), Point(7, 0, 0));
    // the column form uses the transposed layout
    EXPECT_EQ(t.transpose() * Point(1, 0, 0), Point(6, 0, 0));
    float out[16];
    concat_matrix(t.m, s.m, 1);   // t = s x t
    EXPECT_EQ(Point(1, 0, 0) * t, Point(7, 0, 0));
    identity_matrix(out);
    EXPECT_EQ(Matrix4(out)[15], 1);
}

TEST(VecMath, InverseWithFullPivoting)
{
    Matrix4 swap(0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    float det = 0;
    Matrix4 inv = swap.inverse(&det);
    EXPECT_FLOAT_EQ(det, -1);
    expect_matrix_near(inv, swap);

    Matrix4 m(2, 0, 1, 0, 1, 3, 0, 0, 0, 1, 4, 0, 5, -2, 7, 1);
    float d = 0;
    Matrix4 mi = m.inverse(&d);
    EXPECT_NEAR(d, 2 * 12 - 0 + 1 * 1, 1e-4);   // 3x3 determinant; last column is (0,0,0,1)
    expect_matrix_near(m * mi, Matrix4(1.0f));
    expect_matrix_near(mi * m, Matrix4(1.0f));
}

TEST(VecMath, SingularInverseIsZeroNotGarbage)
{
    Matrix4 flat(1.0f);
    flat.at(0, 0) = 0;   // Scale 0 1 1
    float out[16];
    EXPECT_EQ(invert_matrix(flat.m, out), 0);
    for (float e : out) EXPECT_EQ(e, 0);
    Matrix4 zero;
    float det = 5;
    Matrix4 zi = zero.inverse(&det);
    EXPECT_EQ(det, 0);
    for (float e : zi.m) EXPECT_FALSE(std::isnan(e));
    Matrix4 nan(1.0f);
    nan.at(1, 1) = NAN;
    Matrix4 ni = nan.inverse(&det);
    EXPECT_EQ(det, 0);
    for (float e : ni.m) EXPECT_FALSE(std::isnan(e));
}

TEST(VecMath, Rotations)
{
    const double a = 0.7;
    expect_matrix_near(RotateMatrix4(2 * M_PI + a, Point(0, 0, 2), 1), RotateMatrix4(a, Point(0, 0, 1), 1));
    expect_matrix_near(RotateMatrix4(a, Point(1, 2, 3), 0), RotateMatrix4(a, Point(1, 2, 3), 1).transpose());
    // a quarter turn about z takes x to y for row vectors
    float m[16], z[3] = {0, 0, 1}, out[3];
    axis_rotation_matrix(m, (float)(M_PI / 2), z);
    float x[3] = {1, 0, 0};
    point_times_matrix(x, m, out);
    EXPECT_NEAR(out[0], 0, 1e-6);
    EXPECT_NEAR(out[1], 1, 1e-6);
    float big[16];
    axis_rotation_matrix(big, (float)(M_PI / 2 + 4 * M_PI), z);
    for (int i = 0; i < 16; i++) EXPECT_NEAR(big[i], m[i], 1e-5);
    // the three-angle form: 90 degrees about z alone
    float v[3] = {0, 0, 90}, r[16];
    simple_transform_matrix(r, v, 2);
    EXPECT_NEAR(r[1], -1, 1e-6);
    EXPECT_NEAR(r[4], 1, 1e-6);
}

TEST(VecMath, HomogeneousDivideOnlyWhenNeeded)
{
    Matrix4 persp(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0);
    float p[3] = {2, 4, 2}, out[3];
    point_times_matrix(p, persp.m, out);
    EXPECT_FLOAT_EQ(out[0], 1);
    EXPECT_FLOAT_EQ(out[1], 2);
    Matrix4 affine(1.0f);
    affine.at(3, 2) = 3;
    point_times_matrix(p, affine.m, out);
    EXPECT_FLOAT_EQ(out[2], 5);
    point_times_matrix(p, nullptr, out);
    EXPECT_FLOAT_EQ(out[2], 2);
    float vec[3] = {1, 1, 1};
    vector_times_matrix(vec, affine.m, out);
    EXPECT_FLOAT_EQ(out[2], 1);   // no translation
    float at_eye[3] = {0, 0, 0};
    point_times_matrix(at_eye, persp.m, out);   // w = 0: no inf/NaN
    EXPECT_FALSE(std::isnan(out[0]) || std::isinf(out[0]));
}

TEST(VecMath, Bounds)
{
    Bound b = EMPTY_BOUND;
    b.extend(Point(1, 2, 3));
    EXPECT_EQ(b[0], 1); EXPECT_EQ(b[1], 1);
    EXPECT_EQ(b[4], 3); EXPECT_EQ(b[5], 3);
    Bound a(Point(0, 0, 0), Point(1, 1, 1)), c(Point(2, 0, 0), Point(1, 1, 1));
    EXPECT_EQ(a.corner(5), Point(1, 0, 1));
    EXPECT_FLOAT_EQ(a.diagonal(), std::sqrt(3.0f));
    Matrix4 t(1.0f);
    t.at(3, 0) = 10;
    Bound moved = a * t;
    EXPECT_EQ(moved[0], 10);
    EXPECT_EQ(moved[1], 11);
    Bound sum = EMPTY_BOUND + Point(4, 5, 6);
    EXPECT_EQ(sum[2], 5);
    a.merge(c);
    EXPECT_EQ(a[1], 2);
}

TEST(VecMath, StreamForms)
{
    std::ostringstream out;
    out << Point(1, 2.5f, -3) << ' ' << Bound(0, 1, 2, 3, 4, 5);
    EXPECT_EQ(out.str(), "[ 1 2.5 -3 ] [ 0 1 2 3 4 5 ]");
    Point p;
    std::istringstream in1("[ 1 2 3 ]  4 5 6");
    in1 >> p;
    EXPECT_EQ(p, Point(1, 2, 3));
    in1 >> p;
    EXPECT_EQ(p, Point(4, 5, 6));
    EXPECT_FALSE(in1.fail());
    std::istringstream in2("[ 1 2 3 4");
    in2 >> p;
    EXPECT_TRUE(in2.fail());
    DPoint d;
    std::istringstream in3("[1 2 3]");
    in3 >> d;
    EXPECT_FALSE(in3.fail());
    EXPECT_EQ(d.z, 3);
}

} // namespace
