#include "shading/minimise.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Clears the slots after each test.
class Minimise : public testing::Test {
protected:
    void TearDown() override { set_objective(nullptr); }
};

} // namespace

TEST_F(Minimise, PenaltiesWeighThousandfold)
{
    EXPECT_EQ(penalty_objective(nullptr), 0.0f);
    set_objective([](const float *p) { return p[0]; }, nullptr,
                  [](const float *p) { return p[1] > 0 ? p[1] : 0.0f; });
    float p[2] = {2.0f, 0.5f};
    EXPECT_FLOAT_EQ(penalty_objective(p), 502.0f);
    set_objective([](const float *p) { return p[0]; }, [](const float *) { return 0.25f; },
                  [](const float *) { return 0.5f; });
    EXPECT_FLOAT_EQ(penalty_objective(p), 752.0f);

    float a[2] = {1, 2}, b[2] = {3, -1}, out[2];
    reflect_point(a, b, out, 2);
    EXPECT_EQ(out[0], 5.0f);
    EXPECT_EQ(out[1], -4.0f);
}

TEST_F(Minimise, StartPointWhenNothingImproves)
{
    set_objective([](const float *) { return 1.0f; });
    float start[2] = {0.3f, -0.7f}, steps[2] = {0.0625f, 0.0625f}, result[2];
    int iterations = -1;
    EXPECT_EQ(pattern_search(start, steps, result, 2, 200, 0.0001f, &iterations), 1.0f);
    EXPECT_EQ(iterations, 10);
    EXPECT_EQ(result[0], start[0]);
    EXPECT_EQ(result[1], start[1]);
    EXPECT_FLOAT_EQ(steps[0], 0.0625f / 1024);   // scaled in place

    float small[2] = {0.0001f, 1.0f};
    EXPECT_EQ(pattern_search(start, small, result, 2, 200, 0.0001f, &iterations), 1.0f);
    EXPECT_EQ(iterations, 0);
    EXPECT_EQ(result[0], start[0]);
}

TEST_F(Minimise, FindsAMinimumUnderAPenalty)
{
    // Minimum of the bowl at (3, -2), but the penalty keeps u within [0, 1].
    set_objective([](const float *p) { return (p[0] - 3) * (p[0] - 3) + (p[1] + 2) * (p[1] + 2); },
                  [](const float *p) { return p[0] > 1 ? p[0] - 1 : (p[0] < 0 ? -p[0] : 0.0f); });
    float start[2] = {0.5f, 0.5f}, steps[2] = {0.1f, 0.1f}, result[2];
    int iterations = 0;
    pattern_search(start, steps, result, 2, 200, 0.0001f, &iterations);
    EXPECT_NEAR(result[0], 1.0f, 1e-3);
    EXPECT_NEAR(result[1], -2.0f, 1e-3);
    EXPECT_GT(iterations, 0);
    EXPECT_LE(iterations, 200);
}

TEST_F(Minimise, IterationLimitNeverWorsensTheAnswer)
{
    set_objective([](const float *p) { return std::fabs(p[0] - 0.3f); });
    float start[1] = {0.0f}, result[1];
    float last = 1e30f;
    for (int limit = 1; limit < 30; ++limit) {
        float steps[1] = {0.25f};
        float value = pattern_search(start, steps, result, 1, limit, 1e-6f);
        EXPECT_EQ(value, penalty_objective(result));
        // One more iteration never gives a worse answer.
        EXPECT_LE(value, last) << limit;
        last = value;
    }
}
