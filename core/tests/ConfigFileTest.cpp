#include "core/ConfigFile.h"

#include "engine/File.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string TestDir()
{
    std::string d = std::string(VELMAR_TEST_BINARY_DIR) + "/configfile_test";
    Orvo::File::DeleteTree(d);
    Orvo::File::Md(d);
    return d;
}
}  // namespace

TEST(ConfigFile, FormChosenByFormatNameOrExtension)
{
    EXPECT_EQ(ConfigFileFormFor("a/config.txt", ""), ConfigFileForm::kText);
    EXPECT_EQ(ConfigFileFormFor("a/config.CHUMP", ""), ConfigFileForm::kBinary);
    EXPECT_EQ(ConfigFileFormFor("x.cdp", ""), ConfigFileForm::kBinary);
    EXPECT_EQ(ConfigFileFormFor("x.cdp2", ""), ConfigFileForm::kBinary);
    EXPECT_EQ(ConfigFileFormFor("KeywordsBackup.dat", "txt"), ConfigFileForm::kText);
    EXPECT_EQ(ConfigFileFormFor("x.txt", "chump"), ConfigFileForm::kBinary);
    EXPECT_EQ(ConfigFileFormFor("x.dat", ""), ConfigFileForm::kUnknown);
    EXPECT_EQ(ConfigFileFormFor("dir.txt/file", ""), ConfigFileForm::kUnknown);
}

TEST(ConfigFile, SaveAndLoadBothFormsWithBaseFolder)
{
    const std::string dir = TestDir();
    TDBTagRef t;
    t.SetChildString("path", "C:\\Velmar\\bin\\StartPad.exe");
    t.SetChildFloat("velmar-build", 3.1f);
    t.CreateChildContainer("kuid-table").SetChildKUID("0", KUID(1, 2, 0));

    for (const char* name : {"config.txt", "config.chump", "pack.cdp"})
    {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SaveConfigFile(t, dir, name));
        TDBTagRef back;
        ASSERT_TRUE(LoadConfigFile(back, dir, name));
        EXPECT_EQ(back.GetChildString("path"), "C:\\Velmar\\bin\\StartPad.exe");
        EXPECT_FLOAT_EQ(back.GetChildFloat("velmar-build"), 3.1f);
        EXPECT_EQ(back.GetChildContainer("kuid-table").GetChildKUID("0"), KUID(1, 2, 0));
    }
    std::string text;
    ASSERT_TRUE(Orvo::File::ReadFile(dir + "/config.txt", text));
    EXPECT_EQ(text.substr(0, 4), "path");
    std::string bin;
    ASSERT_TRUE(Orvo::File::ReadFile(dir + "/config.chump", bin));
    EXPECT_EQ(bin.substr(0, 4), "ACS$");

    // A format name overrides the extension; the file is looked up in any case.
    ASSERT_TRUE(SaveConfigFile(t, "", dir + "/KeywordsBackup.dat", "txt"));
    TDBTagRef kw;
    EXPECT_TRUE(LoadConfigFile(kw, "", dir + "/keywordsbackup.DAT", "txt"));
    EXPECT_FALSE(LoadConfigFile(kw, "", dir + "/KeywordsBackup.dat", ""));
    EXPECT_TRUE(kw.IsNull());
    EXPECT_FALSE(SaveConfigFile(t, dir, "x.unknown"));
}

TEST(ConfigFile, FailuresLeaveANullTreeAndTellWhy)
{
    const std::string dir = TestDir();
    TDBTagRef t = TDBTagRef::NewContainer();
    EXPECT_EQ(LoadConfigFileEx(t, dir, "missing.txt"), ConfigFileResult::kCannotRead);
    EXPECT_EQ(t.Get(), nullptr);

    Orvo::File::WriteFile(dir + "/bad.txt", "a {\n");
    EXPECT_EQ(LoadConfigFileEx(t, dir, "bad.txt"), ConfigFileResult::kSyntaxError);
    Orvo::File::WriteFile(dir + "/text.cdp", "just some text");
    EXPECT_EQ(LoadConfigFileEx(t, dir, "text.cdp"), ConfigFileResult::kNotValid);
    std::string newer("ACS$\x02\0\0\0\0\0\0\0\0\0\0\0", 16);
    Orvo::File::WriteFile(dir + "/newer.cdp", newer);
    EXPECT_EQ(LoadConfigFileEx(t, dir, "newer.cdp"), ConfigFileResult::kNewerVersion);
    std::string damaged("ACS$\x01\0\0\0\0\0\0\0\x09\0\0\0", 16);
    Orvo::File::WriteFile(dir + "/damaged.cdp", damaged);
    EXPECT_EQ(LoadConfigFileEx(t, dir, "damaged.cdp"), ConfigFileResult::kDamaged);
    EXPECT_EQ(t.Get(), nullptr);

    EXPECT_FALSE(SaveConfigFile(t, "", dir + "/no/such/folder/x.txt"));
}
