#include "assetdb/VADDaemonLaunch.h"

#include "assetdb/VADProtocol.h"

#include <gtest/gtest.h>

#include <string>

TEST(VADDaemonStartFailure, TheLastLineTheDaemonSaidIsItsReason)
{
    const std::string could = "The asset database daemon could not start: ";
    // Not failures: a quiet end, and a root another daemon serves.
    EXPECT_EQ(VADDaemonStartFailure(0, "VADDaemon: whatever\n"), "");
    EXPECT_EQ(VADDaemonStartFailure(kVADDaemonExitLocked, "VADDaemon: another daemon serves /r\n"), "");

    EXPECT_EQ(VADDaemonStartFailure(2, "noise\nVADDaemon: 'a b' cannot be created: No space left on device\n\n"),
              could + "'a b' cannot be created: No space left on device");
    EXPECT_EQ(VADDaemonStartFailure(2, "a line of its own, no prefix"), could + "a line of its own, no prefix");
    EXPECT_EQ(VADDaemonStartFailure(2, "\n\r\n"), could + "it ended with exit code 2");
    EXPECT_EQ(VADDaemonStartFailure(128 + 11, ""), could + "it was ended by signal 11");

    // What reaches the console is one bounded line of printable text.
    EXPECT_EQ(VADDaemonStartFailure(2, std::string("VADDaemon: a\tb\x1b[2Jc\x7f")), could + "a?b?[2Jc?");
    const std::string flood = VADDaemonStartFailure(3, "VADDaemon: " + std::string(100000, 'x'));
    EXPECT_EQ(flood, could + std::string(512, 'x') + "...");
}
