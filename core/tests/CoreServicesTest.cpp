#include "core/CodePageText.h"
#include "core/CoreStartup.h"
#include "core/CoreThreads.h"
#include "core/CoreTime.h"
#include "core/FatalError.h"
#include "core/LogPrintf.h"
#include "core/MainThreadWork.h"
#include "core/VelmarEx.h"
#include "core/tests/TestFolder.h"

#include "engine/PString.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

TEST(CodePageTextTest, ConvertsInPlaceAndReportsTheSizeNeeded)
{
    char buffer[16] = "caf\xC3\xA9";
    EXPECT_EQ(ConvertCodePageInPlace(buffer, sizeof buffer, 65001, 1252), 0);
    EXPECT_STREQ(buffer, "caf\xE9");
    EXPECT_EQ(ConvertCodePageInPlace(buffer, sizeof buffer, 1252, 0), 0) << "code page 0 is UTF-8 here";
    EXPECT_STREQ(buffer, "caf\xC3\xA9");

    // The result needs 6 bytes with its terminating zero: a 5-byte buffer is left as it was.
    char small[5] = "\xE9\xE9\xE9\xE9";
    small[3] = '\0';
    EXPECT_EQ(ConvertCodePageInPlace(small, sizeof small, 1252, 65001), 7);
    EXPECT_STREQ(small, "\xE9\xE9\xE9");

    char wide[16] = "ab";
    EXPECT_EQ(ConvertCodePageInPlace(wide, sizeof wide, 65001, 1200), 0);
    EXPECT_EQ(std::memcmp(wide, "a\0b\0\0\0", 6), 0);
    EXPECT_EQ(ConvertCodePageInPlace(wide, sizeof wide, 1200, 65001), 0);
    EXPECT_STREQ(wide, "ab");

    char unknown[8] = "abc";
    EXPECT_EQ(ConvertCodePageInPlace(unknown, sizeof unknown, 65001, 99999), -1);
    char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_EQ(ConvertCodePageInPlace(unterminated, sizeof unterminated, 65001, 1252), -1);
    EXPECT_EQ(ConvertCodePageInPlace(nullptr, 4, 65001, 1252), -1);
}

TEST(CodePageTextTest, FromUtf8FailureLeavesPlainAscii)
{
    char ok[8] = "\xC3\xA9t\xC3\xA9";
    EXPECT_EQ(ConvertFromUTF8InPlace(ok, sizeof ok, 1252), 0);
    EXPECT_STREQ(ok, "\xE9t\xE9");

    char tight[4] = "\xC3\xA9";
    EXPECT_EQ(ConvertFromUTF8InPlace(tight, 3, 1200), 4) << "needs more than the buffer";
    EXPECT_STREQ(tight, "\xC3\xA9");

    char broken[8] = "a\xC3(\xFFz";
    EXPECT_EQ(ConvertFromUTF8InPlace(broken, sizeof broken, 1252), -1);
    EXPECT_STREQ(broken, "a?(?z");

    // Characters the target cannot hold become "?" without failing.
    char han[8] = "x\xE4\xB8\xAD";
    EXPECT_EQ(ConvertFromUTF8InPlace(han, sizeof han, 1252), 0);
    EXPECT_STREQ(han, "x?");
}

TEST(ErrorReportTest, LogErrorAndThrowThrowsOnlyWhenAsked)
{
    static std::vector<std::string> lines;
    lines.clear();
    SetLogLineObserver([](const char* line) { lines.push_back(line); });
    EXPECT_NO_THROW(LogErrorAndThrow(OnError::Log, "Unable to load texture '%s' from '%s'", "a.tga", "local"));
    try
    {
        LogErrorAndThrow(OnError::Throw, "code %d", 7);
        ADD_FAILURE() << "nothing thrown";
    }
    catch (const Orvo::Exception& e)
    {
        EXPECT_STREQ(e.what(), "code 7");
        EXPECT_NE(dynamic_cast<const VelmarEx*>(&e), nullptr);
    }
    SetLogLineObserver(nullptr);
    EXPECT_EQ(lines, (std::vector<std::string>{"Unable to load texture 'a.tga' from 'local'", "code 7"}));
}

TEST(ErrorReportDeathTest, FatalErrorShowsTheMessageAndExitsWithOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Without StartPad beside the executable the message goes to standard error.
    const std::filesystem::path folder = Platform::ExecutableFolder();
    const std::filesystem::path startPad = folder / "StartPad";
    std::filesystem::remove(startPad);
    EXPECT_EXIT(FatalError("DataManager::Instance> datamanger not initialised"), ::testing::ExitedWithCode(1),
                "Error: DataManager::Instance> datamanger not initialised");

    // With it, StartPad is started with "--fail" and the message.
    const std::filesystem::path record = folder / "StartPad.args";
    std::filesystem::remove(record);
    {
        std::ofstream script(startPad);
        script << "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$2\" > \"" << record.string() << ".tmp\"\n"
               << "mv \"" << record.string() << ".tmp\" \"" << record.string() << "\"\n";
    }
    std::filesystem::permissions(startPad, std::filesystem::perms::owner_all);
    EXPECT_EXIT(FatalError("bad %s", "thing"), ::testing::ExitedWithCode(1), "");
    std::string args;
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(record); }));
    std::getline(std::ifstream(record), args);
    EXPECT_EQ(args, "--fail|bad thing");
    std::filesystem::remove(startPad);
    std::filesystem::remove(record);
}

TEST(CoreStartupTest, ApplicationRecordsTheMainThread)
{
    InitialiseCoreServices();
    InitialiseCoreServices();
    std::thread other([] {
        InitialiseApplication();
        EXPECT_TRUE(IsMainThread());
    });
    other.join();
    EXPECT_FALSE(IsMainThread());
    EXPECT_NE(SetMainThread(), 0u);
    EXPECT_TRUE(IsMainThread());
}

TEST(CoreStartupTest, GarbageIsCollectedOnTheMainThreadOnly)
{
    SetMainThread();
    auto interned = [] { Orvo::PString("velmar-garbage-probe"); };
    interned();
    std::thread other([] { CollectGarbageOnMainThread(); });
    other.join();
    const size_t before = Orvo::PStringCache::Instance().Count();
    MainThreadUpdate();  // runs the collection the other thread asked for
    EXPECT_LT(Orvo::PStringCache::Instance().Count(), before);
}
