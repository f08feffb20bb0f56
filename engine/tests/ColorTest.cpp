#include "engine/Color.h"

#include <gtest/gtest.h>

#include <limits>

using Orvo::Color;

TEST(ColorTest, ProductMultipliesEachComponentAlphaIncluded)
{
    const Color c = Color(0.5f, 1.0f, 2.0f, 0.25f) * Color(0.5f, 0.0f, 0.5f, 4.0f);
    EXPECT_EQ(c, Color(0.25f, 0.0f, 1.0f, 1.0f));
}

TEST(ColorTest, ClampLimitsToUnitRange)
{
    Color c(1.5f, -0.25f, 0.5f, 7.0f);
    c.Clamp();
    EXPECT_EQ(c, Color(1.0f, 0.0f, 0.5f, 1.0f));

    Color edges(0.0f, 1.0f, -0.0f, 1.0f);
    edges.Clamp();
    EXPECT_EQ(edges, Color(0.0f, 1.0f, 0.0f, 1.0f));

    Color nan(std::numeric_limits<float>::quiet_NaN(), 0.5f, 0.5f, 0.5f);
    nan.Clamp();
    EXPECT_EQ(nan.r, 0.0f);
}
