#include "platform/CrashExit.h"

#include <gtest/gtest.h>

#include "PlatformTestSupport.h"
#include "platform/Process.h"

using namespace Platform;
using PlatformTest::HelperPath;
using PlatformTest::ReadFile;
using PlatformTest::TempDir;

TEST(CrashExitTest, FaultsAndEscapingExceptionsEndWithTheCodeAndFlushedOutput)
{
    TempDir dir;
    for (const char* how : {"fault", "throw", "overflow"})
    {
        std::string out = dir / (std::string(how) + ".txt");
        // Output goes to a file, so stdio buffers it fully: only a flush makes it appear.
        std::string cmd = "'" + HelperPath() + "' crash " + how + " >'" + out + "'";
        LaunchResult r = LaunchProcess("/bin/sh", {"-c", cmd}, {}, kLaunchWait);
        ASSERT_TRUE(r) << how;
        EXPECT_EQ(r.exitCode, 156) << how;  // -100 in the low 8 bits
        EXPECT_EQ(ReadFile(out), "before the crash ") << how;
    }
}

TEST(CrashExitTest, InstallAndRemoveRestoreTheDispositions)
{
    struct sigaction before
    {
    }, during{}, after{};
    sigaction(SIGSEGV, nullptr, &before);
    ASSERT_TRUE(InstallCrashExit(-100));
    ASSERT_TRUE(InstallCrashExit(7));  // a second install only changes the code
    sigaction(SIGSEGV, nullptr, &during);
    EXPECT_NE(during.sa_handler, before.sa_handler);
    RemoveCrashExit();
    sigaction(SIGSEGV, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    RemoveCrashExit();
}
