// One installation reached through two paths: its root bind-mounted at a second path while the daemon of the
// first serves it. The tool run through the second path cannot reach that daemon (its discovery block names
// the path it serves), and its own daemon finds the root locked: the tool says so at once, naming the path
// that is served.
#include "E2EFixture.h"

#include "platform/Process.h"
#include "platform/tests/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace e2e {
namespace {

const std::string kSignalBox = "<kuid:900001:100>";

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(BindMountE2E, ACommandThroughAnotherPathToAServedRootNamesThePathServed)
{
    InstallRoot root;
    ASSERT_EQ(root.Run({"installfrompath", InstallRoot::SamplesDir() + "/signal-box"}).exitCode, 0);
    const int daemon = root.DaemonPid();
    ASSERT_GT(daemon, 0);
    PlatformTest::TempDir mountPoint;
    ASSERT_FALSE(mountPoint.path().empty());
    const std::string second = std::filesystem::canonical(mountPoint.path()).string();

    // $1 mounted at $2 as well, and the commands run from there.
    const std::string mount = "mount --bind \"$1\" \"$2\" || exit " + std::to_string(kMountRefused) +
                              "\n"
                              "cd \"$2\" || exit 78\n";
    const std::vector<std::string> args{root.Root(), second, kSignalBox};
    const RunResult r = RunInMountNamespace(mount + "exec ./bin/VelmarUtil status \"$3\"\n", args);
    if (CannotMakeMountNamespace(r)) GTEST_SKIP() << "a bind mount cannot be made here: " << r.err;
    EXPECT_EQ(r.exitCode, 255) << r.out << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "- Failed to open asset database\n"
                     "- The asset database daemon could not start: this installation is served by the asset "
                     "database daemon of '" +
                         root.Root() + "' (process " + std::to_string(daemon) + "): '" + second +
                         "' is the same folder reached through another path; run the tool from '" + root.Root() +
                         "', or close that daemon first\n"
                         "- Init failed\n");

    // The first path is served as before, by the same daemon.
    const RunResult first = root.Run({"status", kSignalBox});
    EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
    const std::string status = FirstLine(first.out);
    EXPECT_EQ(status.rfind("+ " + kSignalBox + " : ", 0), 0u) << status;
    EXPECT_NE(status.find(" : Sample Signal Box"), std::string::npos) << status;
    EXPECT_EQ(root.DaemonPid(), daemon);

    // With that daemon closed, the second path gets a daemon of its own, which is closed, and waited for
    // (the root lock free), before the mount goes.
    ASSERT_EQ(root.Run({"closevaddaemon"}).exitCode, 0);
    ASSERT_TRUE(Eventually([&] { return !Platform::IsProcessAlive(daemon); }));
    const RunResult own = RunInMountNamespace(mount + "./bin/VelmarUtil status \"$3\" || exit 79\n"
                                                      "./bin/VelmarUtil closevaddaemon >/dev/null || exit 80\n"
                                                      "exec flock assets.tdx.lock true\n",
                                              args);
    EXPECT_EQ(own.exitCode, 0) << own.out << own.err;
    EXPECT_EQ(FirstLine(own.out), status);
}

}  // namespace
}  // namespace e2e
