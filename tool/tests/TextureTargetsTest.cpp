// Texture target lists as the command host and export-package read them.
#include "textures/TextureTargets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Names(const PStringArray& list)
{
    std::vector<std::string> out;
    for (const Orvo::PString& s : list) out.push_back(s.str());
    return out;
}

using V = std::vector<std::string>;

TEST(TextureTargetsTest, NamesAreLowerCasedTrimmedAndAliased)
{
    EXPECT_EQ(Names(ParseTextureTargetList("Velmar; DXTC")), (V{"velmar", "dxtc"}));
    EXPECT_EQ(ParseTextureTargetList("Velmar; DXTC"), ParseTextureTargetList("velmar;dxtc"));
    EXPECT_EQ(Names(ParseTextureTargetList("S3TC;etc")), (V{"dxtc", "etc1"}));
    EXPECT_EQ(Names(ParseTextureTargetList("  atc  ;ETC1;pvrtc;s3tc;dxtc")),
              (V{"atc", "etc1", "pvrtc", "dxtc", "dxtc"}));
    // Only the blank is trimmed; unknown names pass as they are.
    EXPECT_EQ(Names(ParseTextureTargetList("\tios ;Made-Up")), (V{"\tios", "made-up"}));
}

TEST(TextureTargetsTest, AnEmptyNameEndsTheList)
{
    EXPECT_TRUE(ParseTextureTargetList("").IsEmpty());
    EXPECT_TRUE(ParseTextureTargetList(";dxtc").IsEmpty());
    EXPECT_TRUE(ParseTextureTargetList("   ;dxtc").IsEmpty());
    EXPECT_EQ(Names(ParseTextureTargetList("dxtc;;etc1")), (V{"dxtc"}));
    EXPECT_EQ(Names(ParseTextureTargetList("dxtc;")), (V{"dxtc"}));
}

}  // namespace
