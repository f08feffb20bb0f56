#include "core/ConfigFile.h"

#include "core/tests/TestFolder.h"

#include "engine/ConfigFileBound.h"
#include "engine/File.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

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
    TestFolder folder("velmar-configfile");
    ASSERT_TRUE(folder.IsValid());
    const std::string dir = folder.Str();
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
    TestFolder folder("velmar-configfile");
    ASSERT_TRUE(folder.IsValid());
    const std::string dir = folder.Str();
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
    // A FIFO without a writer and a device are no configuration files, and are not waited on.
    ASSERT_EQ(mkfifo((dir + "/fifo.txt").c_str(), 0600), 0);
    EXPECT_EQ(LoadConfigFileEx(t, dir, "fifo.txt"), ConfigFileResult::kNotRegular);
    EXPECT_EQ(LoadConfigFileEx(t, "", "/dev/zero", "txt"), ConfigFileResult::kNotRegular);

    EXPECT_FALSE(SaveConfigFile(t, "", dir + "/no/such/folder/x.txt"));
}

TEST(ConfigFile, FilesPastTheBoundAreRefusedUnreadButPackagesAreNot)
{
    TestFolder folder("velmar-configfile");
    ASSERT_TRUE(folder.IsValid());
    const std::string dir = folder.Str();
    // Sparse files: their size is what counts, nothing of them is read.
    auto sized = [&](const std::string& name, uint64_t size) {
        std::filesystem::resize_file(dir + "/" + name, size);
        return name;
    };
    const uint64_t past = Orvo::kMaxConfigFileBytes + 1;
    for (const char* name : {"config.txt", "config.chump"})
    {
        Orvo::File::WriteFile(dir + "/" + name, "");
        TDBTagRef t = TDBTagRef::NewContainer();
        EXPECT_EQ(LoadConfigFileEx(t, dir, sized(name, past)), ConfigFileResult::kTooLarge) << name;
        EXPECT_EQ(t.Get(), nullptr);
    }
    // A format name makes a file of another name a configuration file, bound and all.
    Orvo::File::WriteFile(dir + "/KeywordsDump.dat", "");
    TDBTagRef kw;
    EXPECT_EQ(LoadConfigFileEx(kw, dir, sized("KeywordsDump.dat", past), "txt"), ConfigFileResult::kTooLarge);
    // A package of that size is read (these zeros are no package).
    Orvo::File::WriteFile(dir + "/big.cdp", "");
    EXPECT_EQ(LoadConfigFileEx(kw, dir, sized("big.cdp", past)), ConfigFileResult::kNotValid);
    // The message names the file and the bound.
    EXPECT_EQ(Orvo::ConfigFileTooLargeText("/a/config.txt"),
              "'/a/config.txt' is larger than 32 MiB (33554432 bytes), the most a configuration file may hold; it "
              "was not read");
}

TEST(ConfigFile, SavesOfOneFileAtOnceEachLandWhole)
{
    TestFolder folder("velmar-configfile");
    ASSERT_TRUE(folder.IsValid());
    const std::string dir = folder.Str();
    TDBTagRef trees[2];
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 200; ++k) trees[i].SetChildInt("item" + std::to_string(k), i);

    std::atomic<int> failedSaves{0};
    auto saver = [&](int which) {
        for (int n = 0; n < 40; ++n)
            if (!SaveConfigFile(trees[which], dir, "shared.txt")) ++failedSaves;
    };
    std::thread a(saver, 0), b(saver, 1);
    a.join();
    b.join();
    EXPECT_EQ(failedSaves.load(), 0);
    TDBTagRef back;
    ASSERT_TRUE(LoadConfigFile(back, dir, "shared.txt"));
    EXPECT_EQ(back.GetChildCount(), 200u);
    const int v = back.GetChildInt("item0", -1);
    EXPECT_TRUE(v == 0 || v == 1);
    EXPECT_EQ(back.GetChildInt("item199", -1), v);
    // No copies are left beside the file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
}
