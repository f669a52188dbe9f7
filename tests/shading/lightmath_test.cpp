#include <gtest/gtest.h>

#include <cmath>

#include "shading/lightmath.h"

TEST(LightMath, ReflectRefractFaceforward)
{
    Point N(0, 0, 1), I = normalize(Point(1, 0, -1));
    EXPECT_EQ(faceforward(N, I), N);
    EXPECT_EQ(faceforward(N, -I), -N);
    Point R = reflect(I, N);
    EXPECT_FLOAT_EQ(R.x, I.x);
    EXPECT_FLOAT_EQ(R.z, -I.z);
    // Entering a denser medium bends towards the normal; the same index
    // leaves the direction alone.
    Point T = refract(I, N, 1 / 1.5f);
    EXPECT_LT(T.x, I.x);
    EXPECT_NEAR(T.length(), 1, 1e-5f);
    Point same = refract(I, N, 1);
    EXPECT_NEAR(same.x, I.x, 1e-6f);
    EXPECT_NEAR(same.z, I.z, 1e-6f);
    // Total internal reflection.
    Point glancing = normalize(Point(1, 0, -0.2f));
    EXPECT_EQ(refract(glancing, N, 1.5f), Point(0, 0, 0));
    // Leaving the surface takes the reciprocal index: back along the way in.
    Point back = refraction_direction(-T, N, 1 / 1.5f);
    EXPECT_NEAR(back.x, -I.x, 1e-5f);
    EXPECT_NEAR(back.z, -I.z, 1e-5f);
}

TEST(LightMath, FresnelNeverGivesNaN)
{
    Point N(0, 0, 1);
    FresnelTerms head_on = fresnel(Point(0, 0, -1), N, 1 / 1.5f);
    EXPECT_NEAR(head_on.Kr, 0.04f, 1e-3f);
    EXPECT_NEAR(head_on.Kt, (1 - head_on.Kr) / (1.5f * 1.5f), 1e-5f);
    EXPECT_EQ(head_on.R, Point(0, 0, 1));
    // Total internal reflection: everything reflected, T is I.
    Point glancing = normalize(Point(1, 0, -0.2f));
    FresnelTerms tir = fresnel(glancing, N, 1.5f);
    EXPECT_EQ(tir.Kr, 1);
    EXPECT_EQ(tir.Kt, 0);
    EXPECT_EQ(tir.T, glancing);
    // eta 0, grazing incidence at eta 1, and a NaN index.
    for (auto f : {fresnel(Point(0, 0, -1), N, 0), fresnel(Point(1, 0, 0), N, 1),
                   fresnel(Point(1, 0, 0), N, 0.5f), fresnel(Point(0, 0, -1), N, NAN)}) {
        EXPECT_TRUE(std::isfinite(f.Kr) && std::isfinite(f.Kt));
        EXPECT_GE(f.Kr, 0);
        EXPECT_TRUE(std::isfinite(f.T.x) && std::isfinite(f.T.z));
    }
}

TEST(LightMath, SpecularBrdfAndSplineSegment)
{
    Point N(0, 0, 1), V(0, 0, 1);
    Color head_on = specularbrdf(Point(0, 0, 1), N, V, 0.5f, false);
    EXPECT_FLOAT_EQ(head_on.x, 1);
    Point L = normalize(Point(1, 0, 1));
    float x = dot(N, normalize(V + L));
    EXPECT_FLOAT_EQ(specularbrdf(L, N, V, 0.5f, false).y, std::pow(x, 2.0f));
    // The alternative model scales the roughness by 0.1.
    EXPECT_FLOAT_EQ(specularbrdf(L, N, V, 0.5f, true).y, std::pow(x, 20.0f));
    // A half vector facing away gives black.
    EXPECT_EQ(specularbrdf(Point(0, 0, -1), N, Point(0, 0, -1), 0.5f, false), Color(0, 0, 0));
    EXPECT_FLOAT_EQ(spline_segment(3, 7, -2, 5, 0), 7);
    EXPECT_FLOAT_EQ(spline_segment(3, 7, -2, 5, 1), -2);
    EXPECT_FLOAT_EQ(spline_segment(0, 1, 2, 3, 0.5f), 1.5f);   // a straight line stays straight
}
