#include "core/TextHelpers.h"

#include "engine/PString.h"
#include "engine/String.h"

#include <gtest/gtest.h>

TEST(TextHelpersTest, ExpandTextMacroReplacesEveryMacroWithoutRegardToCase)
{
    struct Case
    {
        const char *text, *name, *value;
        int count;
        const char* want;
    } cases[] = {
        {"$(FILE) and $(file) but not $(FILES) or $(FILE", "File", "a.txt", 2,
         "a.txt and a.txt but not $(FILES) or $(FILE"},
        {"[$(X)]", "$(x)", "$(X)$(X)", 1, "[$(X)$(X)]"},  // a value holding the macro is not expanded again
        {"$() stays", "", "v", 0, "$() stays"},
        {"<$(A)>", "A", "", 1, "<>"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        Orvo::String text(c.text);
        EXPECT_EQ(ExpandTextMacro(text, c.name, c.value), c.count);
        EXPECT_EQ(text, c.want);
    }
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

    EXPECT_TRUE(IsTextureTxtName("body.texture.txt"));
    EXPECT_TRUE(IsTextureTxtName("BODY.Texture.TXT"));
    EXPECT_TRUE(IsTextureTxtName(".texture.txt"));
    EXPECT_FALSE(IsTextureTxtName("texture.txt"));
    EXPECT_FALSE(IsTextureTxtName("body.texture"));
    EXPECT_FALSE(IsTextureTxtName("body.texture.txt.bak"));
}
