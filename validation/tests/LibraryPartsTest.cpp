// The small parts every check leans on: build-number arithmetic at its boundaries, the error handler's
// repeat test, message filling and number lists.
#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/ErrorHandler.h"
#include "validation/MessageText.h"
#include "validation/RuleRegistry.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

using namespace TETLib;

TEST(BuildNumberTest, EachSiteRoundsItsOwnWayAtItsBoundaries)
{
    const struct
    {
        float build;
        int32_t whole, rounded, half;
    } cases[] = {
        {1.3f, 130, 130, 130},
        {2.8f, 280, 280, 280},
        {2.89f, 289, 289, 289},
        {2.9f, 290, 290, 290},
        {2.9f + 0.001f, 290, 290, 290},
        {3.49f, 349, 349, 349},
        {3.495f, 349, 349, 350},
        {3.5f, 350, 350, 350},
        {3.7f, 370, 370, 370},
        {3.71f, 371, 371, 371},
        {-0.5f, -50, -49, -49},
        {NAN, 0, 0, 0},
        {1e30f, INT_MAX, INT_MAX, INT_MAX},
        {-1e30f, INT_MIN, INT_MIN, INT_MIN},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(Build::WholeHundredths(c.build), c.whole) << c.build;
        EXPECT_EQ(Build::RoundedHundredths(c.build), c.rounded) << c.build;
        EXPECT_EQ(Build::HalfRoundedHundredths(c.build), c.half) << c.build;
    }
    // The upload rule lets 2.8 itself pass.
    EXPECT_EQ(Build::UploadHundredths(2.8f), 280);
    EXPECT_EQ(Build::UploadHundredths(2.79f), 279);
    // Float gates.
    EXPECT_FALSE(Build::IsBelow(3.4f, Build::kGate3_4));
    EXPECT_TRUE(Build::IsBelow(3.39f, Build::kGate3_4));
    EXPECT_TRUE(Build::IsBelow(3.48f, Build::kGate3_49));
    EXPECT_FALSE(Build::IsBelow(3.49f, Build::kGate3_49));
    EXPECT_TRUE(Build::HundredthsBelow(3.09f, Build::kEmptySoundString));
    EXPECT_FALSE(Build::HundredthsBelow(3.1f, Build::kEmptySoundString));
}

TEST(ErrorHandlerTest, RepeatsAreDroppedButNeverLowerASeverity)
{
    ErrorHandler h;
    auto* a = reinterpret_cast<Container*>(0x10);
    auto* b = reinterpret_cast<Container*>(0x20);
    const Orvo::PString text("same text");
    EXPECT_TRUE(h.Warning(text, a));
    EXPECT_FALSE(h.Warning(text, a));  // a repeat for the same owner
    EXPECT_TRUE(h.Warning(text, b));   // another owner
    EXPECT_FALSE(h.Message(text));     // without owner: any record with the text
    EXPECT_TRUE(h.Error(text, a));     // more severe: raises the warning, which stays in its place
    ASSERT_EQ(h.GetMessages().size(), 2u);
    EXPECT_EQ(h.GetMessages()[0]->severity, kSeverityError);
    EXPECT_FALSE(h.Warning(text, a));  // less severe than the error now recorded
    EXPECT_FALSE(h.IsNewMessage(text));
    EXPECT_TRUE(h.Error(Orvo::PString("other"), a));
    h.RemoveContainerMessage(a);  // every record of the owner goes, none keeps its address
    ASSERT_EQ(h.GetMessages().size(), 1u);
    EXPECT_EQ(h.GetMessages()[0]->container, b);
    h.RemoveContainerMessage(nullptr);  // no owner is nobody's
    EXPECT_EQ(h.GetMessages().size(), 1u);
}

TEST(MessageTextTest, PlaceholdersFillFromTheTextOnlyAndFormatsTakeOnlyWhatTheyAreGiven)
{
    EXPECT_EQ(FillMessage("A $(X) B $(Y) $(X) $(Z)", {{"X", "$(Y)"}, {"Y", "y"}}), "A $(Y) B y $(X) $(Z)");
    EXPECT_EQ(FillMessage("$(X)$(X)", {{"X", "1"}}), "1$(X)");
    // A key missing from the interface texts reads as itself, here as its own format.
    EXPECT_EQ(FormatMessage("%s-%d-%q-%%-%s-%d", {"a", 5}), "a-5-%q-%--");
}

TEST(NumberListTest, SpacesAndCommasEndNumbers)
{
    const struct
    {
        const char* text;
        std::vector<float> numbers;
    } cases[] = {
        {"1,2,3", {1, 2, 3}}, {"1, 2", {1, 0, 2}}, {"5", {5}}, {"1,,2", {1, 0, 2}}, {"", {0}}, {"x,0.5", {0, 0.5f}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseNumberList(c.text), c.numbers) << c.text;
    EXPECT_EQ(ParseIntegerList("3 4"), (std::vector<int>{3, 4}));
}

}  // namespace
