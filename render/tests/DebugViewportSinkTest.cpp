// The program's debug viewport sink: laid out as built, and keeping nothing of what it is given.
#include "render/VLDebugVp.h"

#include <gtest/gtest.h>

TEST(DebugViewportSink, BuiltWithItsColoursTwiceAndEnabledItKeepsNothingOfWhatItIsGiven)
{
    VLDebugVp sink;
    const uint32_t colours[] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFF00FFu};
    auto expectAsBuilt = [&] {
        for (uint32_t slot = 0; slot < VLDebugVp::kColourSlots; ++slot)
        {
            EXPECT_EQ(sink.GetColour(slot), colours[slot]) << slot;
            EXPECT_EQ(sink.GetDefaultColour(slot), colours[slot]) << slot;
            for (uint32_t table = 0; table < VLDebugVp::kPrimitiveTables; ++table)
                EXPECT_EQ(sink.GetPrimitives(table, slot).Capacity(), 0u) << table << " " << slot;
        }
        EXPECT_EQ(sink.GetTexts().Capacity(), 0u);
        EXPECT_EQ(sink.GetTexts().Step(), 1000u);
        EXPECT_EQ(sink.GetEnabledFlag(), 1u);
        EXPECT_TRUE(sink.IsEnabled());
    };
    expectAsBuilt();

    const float points[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    for (int i = 0; i < 2000; ++i)  // past a growth step of every list
    {
        sink.BeginFrame();
        sink.SetColourSlot(uint32_t(i % 4));
        sink.DrawPrimitives(0, points, 0x10000, 2, 2, 0xFF123456u);
        sink.DrawPrimitives(1, points, 0, 3, 3, 0xFF123456u);
        sink.DrawLine({1, 2, 3}, {4, 5, 6}, 0xFF000000u);
        sink.DrawBox({0, 0, 0}, {1, 1, 1}, 0xFF000000u);
        sink.DrawText({0, 0, 0}, "label", 0xFF000000u);
        sink.EndFrame();
    }
    expectAsBuilt();
}

TEST(DebugTextList, GrowsByItsStepOrAnEighthOfItsCount)
{
    DebugTextList texts(1);
    texts.SetSize(0, 1000);
    EXPECT_EQ(texts.Capacity(), 0u);
    texts.SetSize(1);
    EXPECT_EQ(texts.Capacity(), 1000u);
    DebugTextList eighth(0);
    eighth.SetSize(100);
    eighth.SetSize(101);
    EXPECT_EQ(eighth.Capacity(), 112u);
}
