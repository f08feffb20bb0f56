#include "platform/StandardStreams.h"

#include <gtest/gtest.h>

#include "PlatformTestSupport.h"
#include "platform/Process.h"

using namespace Platform;
using PlatformTest::HelperPath;
using PlatformTest::ReadFile;
using PlatformTest::TempDir;

namespace {

// Runs the helper through sh with `redirections`; its exit code.
int RunHelperWith(const std::string& args, const std::string& redirections)
{
    LaunchResult r =
        LaunchProcess("/bin/sh", {"-c", "exec '" + HelperPath() + "' " + args + " " + redirections}, {}, kLaunchWait);
    return r ? r.exitCode : -1;
}

}  // namespace

// A write to standard output or error that failed turns an exit value of 0 into the failure value, whichever stream
// it was and whether it failed at a flush before the end or at the end; a failed output is said on standard error.
TEST(StandardStreamsTest, AFailedWriteToEitherStreamFailsTheExit)
{
    TempDir dir;
    const std::string out = dir / "o", err = dir / "e";
    const std::string said = "Failed to write the standard output: No space left on device\n";
    const struct
    {
        const char *args, *redirections;
        int code;
        std::string out, err;  // empty: not checked (the stream is not the file)
    } cases[] = {
        {"exit-flush 0", ">/dev/full", 1, "", "buffered-stderr" + said},
        {"exit-flush 3", ">/dev/full", 3, "", "buffered-stderr" + said},
        {"exit-flush 0", "2>/dev/full", 1, "buffered-stdio ", ""},
        {"exit-flush 0", "2>&-", 1, "buffered-stdio ", ""},
        {"exit-flush 0", "", 0, "buffered-stdio ", "buffered-stderr"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.args) + " " + c.redirections);
        EXPECT_EQ(RunHelperWith(c.args, ">'" + out + "' 2>'" + err + "' " + c.redirections), c.code);
        if (!c.out.empty())
        {
            EXPECT_EQ(ReadFile(out), c.out);
        }
        if (!c.err.empty())
        {
            EXPECT_EQ(ReadFile(err), c.err);
        }
    }
}

// A standard descriptor the process was started without is taken before anything else opens a file, and it is not
// one the process was given.
TEST(StandardStreamsTest, AClosedStandardDescriptorIsTakenBeforeAnythingOpensAndIsNotGiven)
{
    TempDir dir;
    const std::string report = dir / "r";
    const struct
    {
        const char* redirections;
        const char* expected;
    } cases[] = {{"", "3 open+given open+given open+given"},
                 {"<&-", "3 closed open+given open+given"},
                 {">&- 2>&-", "3 open+given closed closed"},
                 {"<&- >&- 2>&-", "3 closed closed closed"}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.redirections);
        ASSERT_EQ(RunHelperWith("start-streams '" + report + "'", c.redirections), 0);
        EXPECT_EQ(ReadFile(report), c.expected);
    }
}
