#include <gtest/gtest.h>

#include <cmath>

#include "shading/lightmath.h"

TEST(LightMath, FresnelNeverGivesNaNAndTheSpecularLobe)
{
    Point N(0, 0, 1);
    // eta 0, grazing incidence at eta 1, a NaN index.
    for (auto f : {fresnel(Point(0, 0, -1), N, 0), fresnel(Point(1, 0, 0), N, 1),
                   fresnel(Point(0, 0, -1), N, NAN)})
        EXPECT_TRUE(std::isfinite(f.Kr) && std::isfinite(f.Kt) && std::isfinite(f.T.x));
    Point V(0, 0, 1), L = normalize(Point(1, 0, 1));
    float x = dot(N, normalize(V + L));
    EXPECT_FLOAT_EQ(specularbrdf(L, N, V, 0.5f, true).y, std::pow(x, 20.0f));   // roughness x 0.1
    EXPECT_EQ(specularbrdf(Point(0, 0, -1), N, Point(0, 0, -1), 0.5f, false), Color(0, 0, 0));
}
