#include "platform/CrashExit.h"

#include <gtest/gtest.h>

#include "PlatformTestSupport.h"
#include "platform/Process.h"

using namespace Platform;
using PlatformTest::HelperPath;
using PlatformTest::ReadFile;
using PlatformTest::TempDir;

TEST(CrashExitTest, FaultsEscapingExceptionsAndExitProcessEndWithTheirCodeAndFlushedOutput)
{
    TempDir dir;
    struct
    {
        const char *args, *out, *err;  // err null: not checked
        int code;
    } cases[] = {{"crash fault", "before the crash ", nullptr, 156},  // -100 in the low 8 bits
                 {"crash throw", "before the crash ", nullptr, 156},
                 {"crash overflow", "before the crash ", nullptr, 156},
                 {"exit-flush 3", "buffered-stdio ", "buffered-stderr", 3}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.args);
        // Output goes to files, so stdio buffers it fully: only a flush makes it appear.
        std::string cmd = "'" + HelperPath() + "' " + c.args + " >'" + (dir / "o") + "' 2>'" + (dir / "e") + "'";
        LaunchResult r = LaunchProcess("/bin/sh", {"-c", cmd}, {}, kLaunchWait);
        ASSERT_TRUE(r);
        EXPECT_EQ(r.exitCode, c.code);
        EXPECT_EQ(ReadFile(dir / "o"), c.out);
        if (c.err)
        {
            EXPECT_EQ(ReadFile(dir / "e"), c.err);
        }
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
