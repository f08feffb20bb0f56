#include "assetdb/PatternList.h"
#include "assetdb/PStringArray.h"

#include <gtest/gtest.h>

TEST(PatternListTest, MatchesAlternativesOfTermsAndNegatedTerms)
{
    EXPECT_TRUE(MatchPatternList("TR;TV;LOC;ELEC", "LOCO|TR|TV|TEND|ROLL"));
    EXPECT_FALSE(MatchPatternList("TR;TV;LOC;ELEC", "LOCO"));
    EXPECT_TRUE(MatchPatternList("TX;ENV", "TX;ENV"));
    EXPECT_FALSE(MatchPatternList("TX", "TX;ENV"));
    EXPECT_TRUE(MatchPatternList("TX", "TX;-ENV"));
    EXPECT_FALSE(MatchPatternList("TX;ENV", "TX;-ENV"));
    EXPECT_TRUE(MatchPatternList("TR;CMP;BOGY", "TR|TV|TEND|ROLL"));  // an earlier row wins in a table walk
    EXPECT_TRUE(MatchPatternList("TR;CMP;BOGY", "TR;CMP;BOGY"));
    EXPECT_FALSE(MatchPatternList("TRX", "TR"));       // whole codes only
    EXPECT_FALSE(MatchPatternList("tr", "TR"));        // exact case
    EXPECT_TRUE(MatchPatternList(" TR ; TV ", "TV"));  // blanks around codes
    EXPECT_FALSE(MatchPatternList("", "LOCO"));
    EXPECT_TRUE(MatchPatternList("", "-LOCO"));
}

TEST(PatternListTest, NullListsAndEmptyPatterns)
{
    EXPECT_TRUE(MatchPatternList("TR", nullptr));
    EXPECT_TRUE(MatchPatternList(nullptr, nullptr));
    EXPECT_FALSE(MatchPatternList(nullptr, "TR"));
    EXPECT_FALSE(MatchPatternList(nullptr, "-TR"));
    EXPECT_TRUE(MatchPatternList("TR", ""));
    EXPECT_TRUE(MatchPatternList("TR", "|;|"));
}

TEST(PatternListTest, AppendsOnlyMissingPrefixedTerms)
{
    Orvo::String out;
    AppendMissingPatternTerms("TR;TV", "steam;diesel", "#", out);
    EXPECT_EQ(out.View(), "TR;TV;#steam;#diesel");
    AppendMissingPatternTerms("TR;#steam", "steam|diesel;steam", "#", out);
    EXPECT_EQ(out.View(), "TR;#steam;#diesel");
    AppendMissingPatternTerms("", "a", "#", out);
    EXPECT_EQ(out.View(), "#a");
    AppendMissingPatternTerms("TR", "", "#", out);
    EXPECT_EQ(out.View(), "TR");
    AppendMissingPatternTerms("TR", ";;|", "#", out);
    EXPECT_EQ(out.View(), "TR");
}

TEST(PatternListTest, CategoryClassLookup)
{
    EXPECT_EQ(LookupCategoryClassCodes("traincar", "TR").View(), "TR");
    EXPECT_EQ(LookupCategoryClassCodes("", "oa").View(), "OA");  // codes without regard to case
    EXPECT_EQ(LookupCategoryClassCodes("scenery", " BIN ").View(), "BIN");
    EXPECT_TRUE(LookupCategoryClassCodes("scenery", "QQ").IsEmpty());
    EXPECT_TRUE(LookupCategoryClassCodes("scenery", "").IsEmpty());
    EXPECT_TRUE(LookupCategoryClassCodes("scenery", "TR;TV").IsEmpty());
}
