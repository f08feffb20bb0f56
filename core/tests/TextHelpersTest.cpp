#include "core/TextHelpers.h"

#include "engine/PString.h"
#include "engine/String.h"

#include <gtest/gtest.h>

TEST(TextHelpersTest, ExpandTextMacroReplacesEveryMacroWithoutRegardToCase)
{
    Orvo::String text("$(FILE) and $(file) but not $(FILES) or $(FILE");
    EXPECT_EQ(ExpandTextMacro(text, "File", "a.txt"), 2);
    EXPECT_EQ(text, "a.txt and a.txt but not $(FILES) or $(FILE");

    // A value holding the macro is not expanded again.
    Orvo::String loop("[$(X)]");
    EXPECT_EQ(ExpandTextMacro(loop, "$(x)", "$(X)$(X)"), 1);
    EXPECT_EQ(loop, "[$(X)$(X)]");

    Orvo::String empty("$() stays");
    EXPECT_EQ(ExpandTextMacro(empty, "", "v"), 0);
    EXPECT_EQ(empty, "$() stays");

    Orvo::String gone("<$(A)>");
    EXPECT_EQ(ExpandTextMacro(gone, "A", ""), 1);
    EXPECT_EQ(gone, "<>");
}

TEST(TextHelpersTest, ReplaceFirstOccurrenceTouchesOnlyTheFirst)
{
    Orvo::String text("$(TAG) in $(TAG)");
    EXPECT_TRUE(ReplaceFirstOccurrence(text, "$(TAG)", "kind"));
    EXPECT_EQ(text, "kind in $(TAG)");
    EXPECT_TRUE(ReplaceFirstOccurrence(text, "$(TAG)", nullptr));
    EXPECT_EQ(text, "kind in ");
    EXPECT_FALSE(ReplaceFirstOccurrence(text, "$(TAG)", "x"));
    EXPECT_FALSE(ReplaceFirstOccurrence(text, "", "x"));
    EXPECT_FALSE(ReplaceFirstOccurrence(text, nullptr, "x"));
    EXPECT_FALSE(ReplaceFirstOccurrence(text, "$(tag)", "x")) << "the search is exact";
    EXPECT_EQ(text, "kind in ");

    Orvo::String numbers("$(N) of $(F)");
    EXPECT_TRUE(ReplaceFirstOccurrenceFormatted(numbers, "$(N)", "%d", 42));
    EXPECT_TRUE(ReplaceFirstOccurrenceFormatted(numbers, "$(F)", "%.2f", 2.5));
    EXPECT_FALSE(ReplaceFirstOccurrenceFormatted(numbers, "$(Z)", "%d", 1));
    EXPECT_EQ(numbers, "42 of 2.50");
}

TEST(TextHelpersTest, NamesAndCase)
{
    Orvo::PString kind("Scenery-TrackSide");
    PStringToLower(kind);
    EXPECT_EQ(kind, Orvo::PString("scenery-trackside"));
    Orvo::PString lower("mesh");
    const Orvo::PStringNode* node = lower.Node();
    PStringToLower(lower);
    EXPECT_EQ(lower.Node(), node);

    EXPECT_TRUE(IsDotOrDotDot("."));
    EXPECT_TRUE(IsDotOrDotDot(".."));
    EXPECT_FALSE(IsDotOrDotDot("..."));
    EXPECT_FALSE(IsDotOrDotDot(""));

    EXPECT_TRUE(IsTextureTxtName("body.texture.txt"));
    EXPECT_TRUE(IsTextureTxtName("BODY.Texture.TXT"));
    EXPECT_TRUE(IsTextureTxtName(".texture.txt"));
    EXPECT_FALSE(IsTextureTxtName("texture.txt"));
    EXPECT_FALSE(IsTextureTxtName("body.texture"));
    EXPECT_FALSE(IsTextureTxtName("body.texture.txt.bak"));
}
