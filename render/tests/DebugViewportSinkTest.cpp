// The program's debug viewport sink: laid out as built, keeping nothing of what it is given, and one
// instance for the process that Publish makes the engine's debug viewport.
#include "engine/DebugViewport.h"
#include "engine/tests/DebugRecorder.h"
#include "render/DebugTextList.h"
#include "render/VLDebugVp.h"

#include <gtest/gtest.h>

namespace {

void ExpectNothingKept(const VLDebugVp& sink)
{
    for (uint32_t table = 0; table < VLDebugVp::kPrimitiveTables; ++table)
        for (uint32_t slot = 0; slot < VLDebugVp::kColourSlots; ++slot)
        {
            EXPECT_EQ(sink.GetPrimitives(table, slot).Count(), 0u) << table << " " << slot;
            EXPECT_EQ(sink.GetPrimitives(table, slot).Capacity(), 0u) << table << " " << slot;
        }
    EXPECT_EQ(sink.GetTexts().Count(), 0u);
    EXPECT_EQ(sink.GetTexts().Capacity(), 0u);
}

}  // namespace

TEST(DebugViewportSink, BuiltWithItsColoursTwiceAnEmptyTextListGrowingBy1000AndEnabled)
{
    const VLDebugVp sink;
    const uint32_t colours[] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFF00FFu};
    for (uint32_t slot = 0; slot < VLDebugVp::kColourSlots; ++slot)
    {
        EXPECT_EQ(sink.GetColour(slot), colours[slot]) << slot;
        EXPECT_EQ(sink.GetDefaultColour(slot), colours[slot]) << slot;
    }
    EXPECT_EQ(sink.GetColour(VLDebugVp::kColourSlots), 0u);  // no slot past the four
    ExpectNothingKept(sink);
    EXPECT_EQ(sink.GetTexts().Step(), 1000u);
    EXPECT_EQ(sink.GetEnabledFlag(), 1u);
    EXPECT_TRUE(sink.IsEnabled());
}

TEST(DebugViewportSink, KeepsNothingOfWhatItIsGiven)
{
    VLDebugVp sink;
    const float points[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    for (int i = 0; i < 2000; ++i)
    {
        sink.BeginFrame();
        sink.SetColourSlot(uint32_t(i % 5));
        sink.DrawPrimitives(0, points, 0x10000, 2, 2, 0xFF123456u);
        sink.DrawPrimitives(1, points, 0, 3, 3, 0xFF123456u);
        sink.DrawLine({1, 2, 3}, {4, 5, 6}, 0xFF000000u);
        sink.DrawBox({0, 0, 0}, {1, 1, 1}, 0xFF000000u);
        sink.DrawText({0, 0, 0}, "label", 0xFF000000u);
        sink.EndFrame();
    }
    ExpectNothingKept(sink);
    EXPECT_TRUE(sink.IsEnabled());
    for (uint32_t slot = 0; slot < VLDebugVp::kColourSlots; ++slot)
        EXPECT_EQ(sink.GetColour(slot), sink.GetDefaultColour(slot)) << slot;
}

TEST(DebugViewportSink, PublishMakesOneInstanceTheEnginesDebugViewport)
{
    Orvo::DebugRecorder other;
    Orvo::PublishedDebugViewport published(&other);  // what the process had before is put back
    VLDebugVp& first = VLDebugVp::Publish();
    EXPECT_EQ(Orvo::GetDebugViewport(), &first);
    Orvo::SetDebugViewport(&other);
    VLDebugVp& again = VLDebugVp::Publish();
    EXPECT_EQ(&again, &first);
    EXPECT_EQ(Orvo::GetDebugViewport(), &first);
}

TEST(DebugTextList, GrowsByItsStepOrAnEighthOfItsCount)
{
    DebugTextList texts(1);
    texts.SetSize(0, 1000);
    EXPECT_EQ(texts.Capacity(), 0u);
    texts.SetSize(1);
    EXPECT_EQ(texts.Capacity(), 1000u);
    texts.SetSize(1001);
    EXPECT_EQ(texts.Capacity(), 2000u);
    texts.SetSize(10);  // a smaller count keeps the storage
    EXPECT_EQ(texts.Count(), 10u);
    EXPECT_EQ(texts.Capacity(), 2000u);

    DebugTextList eighth(0);
    eighth.SetSize(100);
    EXPECT_EQ(eighth.Capacity(), 100u);  // the growth (4) is less than asked for
    eighth.SetSize(101);
    EXPECT_EQ(eighth.Capacity(), 112u);
    DebugTextList one(1);
    one.SetSize(1);
    one.SetSize(2);
    EXPECT_EQ(one.Capacity(), 2u);
}
