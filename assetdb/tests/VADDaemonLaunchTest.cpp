#include "assetdb/VADDaemonLaunch.h"

#include "assetdb/VADProtocol.h"

#include <gtest/gtest.h>

#include <string>

TEST(VADDaemonStartFailure, TheLastLineTheDaemonSaidIsItsReason)
{
    const std::string could = "The asset database daemon could not start: ";
    EXPECT_EQ(VADDaemonStartFailure(kVADDaemonExitLocked, "VADDaemon: another daemon serves /r\n"), "");
    EXPECT_EQ(VADDaemonStartFailure(2, "noise\nVADDaemon: 'a b' cannot be created: No space left on device\n\n"),
              could + "'a b' cannot be created: No space left on device");
    EXPECT_EQ(VADDaemonStartFailure(128 + 11, ""), could + "it was ended by signal 11");
    // What reaches the console is one bounded line of printable text.
    EXPECT_EQ(VADDaemonStartFailure(2, "VADDaemon: a\tb\x1b[2J"), could + "a?b?[2J");
    EXPECT_EQ(VADDaemonStartFailure(3, std::string(100000, 'x')), could + std::string(512, 'x') + "...");
}
