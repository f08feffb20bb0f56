// One installation reached through two paths: its root bind-mounted at a second path while the daemon of the
// first serves it. The tool run through the second path cannot reach that daemon (its discovery block names
// the path it serves), and its own daemon finds the root locked: the tool says so at once, naming the path
// that is served.
#include "E2EFixture.h"

#include "platform/tests/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace e2e {
namespace {

const std::string kSignalBox = "<kuid:900001:100>";

TEST(BindMountE2E, ACommandThroughAnotherPathToAServedRootNamesThePathServed)
{
    InstallRoot root;
    ASSERT_EQ(root.Run({"installfrompath", InstallRoot::SamplesDir() + "/signal-box"}).exitCode, 0);
    const int daemon = root.DaemonPid();
    ASSERT_GT(daemon, 0);
    PlatformTest::TempDir mountPoint;
    ASSERT_FALSE(mountPoint.path().empty());
    const std::string second = std::filesystem::canonical(mountPoint.path()).string();

    // $1 mounted at $2 as well, and the command run from there.
    const std::string script = "mount --bind \"$1\" \"$2\" || exit " + std::to_string(kMountRefused) +
                               "\ncd \"$2\" && exec ./bin/VelmarUtil status \"$3\"\n";
    const RunResult r = RunInMountNamespace(script, {root.Root(), second, kSignalBox});
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
    EXPECT_EQ(first.out.rfind("+ " + kSignalBox + " : ", 0), 0u) << first.out;
    EXPECT_NE(first.out.find(" : Sample Signal Box\n"), std::string::npos) << first.out;
    EXPECT_EQ(root.DaemonPid(), daemon);
}

}  // namespace
}  // namespace e2e
