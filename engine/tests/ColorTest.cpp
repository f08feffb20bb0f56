#include "engine/Color.h"

#include <gtest/gtest.h>

#include <limits>

using Orvo::Color;

TEST(ColorTest, ProductIsPerComponentAndClampLimitsToTheUnitRange)
{
    EXPECT_EQ(Color(0.5f, 1.0f, 2.0f, 0.25f) * Color(0.5f, 0.0f, 0.5f, 4.0f), Color(0.25f, 0.0f, 1.0f, 1.0f));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Color cases[][2] = {{Color(1.5f, -0.25f, 0.5f, 7.0f), Color(1.0f, 0.0f, 0.5f, 1.0f)},
                              {Color(0.0f, 1.0f, -0.0f, 1.0f), Color(0.0f, 1.0f, 0.0f, 1.0f)},
                              {Color(nan, 0.5f, nan, nan), Color(0.0f, 0.5f, 0.0f, 0.0f)}};  // NaN becomes 0
    for (const auto& [in, want] : cases)
    {
        Color c = in;
        c.Clamp();
        EXPECT_EQ(c, want) << c.r << " " << c.g << " " << c.b << " " << c.a;
    }
}
