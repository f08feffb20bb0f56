#include "assetdb/VADDaemonLaunch.h"

#include "TestSupport.h"

#include "assetdb/VADProtocol.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

// A daemon no longer waited for is reaped when it ends, but killed after it served it did not fail to start;
// one still waited for did.
TEST(VADLaunchedDaemons, ADaemonEndedAfterTheWaitingIsNoFailureToStart)
{
    TempFolder dir;
    const std::string exe = dir.P("VADDaemon");
    std::ofstream(exe) << "#!/bin/sh\nexec sleep 60\n";
    std::filesystem::permissions(exe, std::filesystem::perms::owner_all);
    VADLaunchedDaemons daemons;
    auto killAndReap = [&] {
        const std::vector<int> running = daemons.Running();
        EXPECT_EQ(running.size(), 1u);
        for (int pid : running) kill(pid, SIGKILL);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!daemons.Running().empty() && std::chrono::steady_clock::now() < end) (void)daemons.Reap();
        return daemons.Reap();
    };
    daemons.Launch(exe, dir.path);
    daemons.StopListening();
    EXPECT_FALSE(killAndReap());
    EXPECT_EQ(daemons.Failure(), "");
    EXPECT_TRUE(daemons.Running().empty());

    daemons.Launch(exe, dir.path);
    EXPECT_TRUE(killAndReap());
    EXPECT_EQ(daemons.Failure(), "The asset database daemon could not start: it was ended by signal 9");
}
