// Content archives through the real tool and daemon: createcdp, installcdp through the command host the
// daemon starts, damaged archives, package export and its name rules, and how the command host ends.
#include "E2EFixture.h"

#include "platform/Process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <tuple>

namespace e2e {
namespace {

const char kSignalBox[] = "<kuid:900001:100>";
const char kPlatform[] = "<kuid:900001:101>";

class ArchiveE2E : public DaemonRootTest
{
protected:
    void SetUp() override
    {
        DaemonRootTest::SetUp();
        if (HasFatalFailure()) return;
        // The signal box and its platform, which hold no textures: installing assets with textures starts a
        // command host to compile them, and these tests count the hosts the daemon starts.
        std::filesystem::create_directories(root_.Path("work/first"));
        for (const char* sample : {"signal-box", "platform-mesh"})
            std::filesystem::copy(InstallRoot::SamplesDir() + "/" + sample,
                                  root_.Path(std::string("work/first/") + sample),
                                  std::filesystem::copy_options::recursive);
        RunResult install = Run({"installfrompath", "first"});
        ASSERT_EQ(install.exitCode, 0) << install.out;
    }
    std::string StatusLine(const std::string& kuid) const { return Lines(Run({"status", kuid}).out)[0]; }
    std::vector<int> Hosts() const { return Platform::FindProcessesByPath(root_.Tool()); }

    bool NothingLeft() const
    {
        return Hosts().empty() && Platform::FindProcessesByPath(root_.Path("bin/VADDaemon")).empty();
    }
};

TEST_F(ArchiveE2E, DeletedAssetComesBackFromItsArchive)
{
    const std::string signalConfig = Run({"printconfig", kSignalBox}).out;
    const std::string platformConfig = Run({"printconfig", kPlatform}).out;

    RunResult create = Run({"createcdp", "Out.cdp", kSignalBox, "900001:101", kSignalBox});
    EXPECT_EQ(create.exitCode, 0);
    EXPECT_EQ(create.out, kOK);
    ASSERT_TRUE(root_.Exists("work/Out.cdp"));

    ASSERT_EQ(Run({"delete", kSignalBox}).exitCode, 0);
    EXPECT_EQ(StatusLine(kSignalBox), std::string("- ") + kSignalBox + " : Unknown AssetID.");
    EXPECT_TRUE(Hosts().empty());

    RunResult install = Run({"installcdp", "Out.cdp"});
    EXPECT_EQ(install.exitCode, 0) << install.out;
    EXPECT_EQ(install.out, std::string("+ ") + kSignalBox + " : Asset " + kSignalBox + " was installed.\n+ " +
                               kPlatform + " : Asset " + kPlatform + " was installed.\n" + kOK);
    // The daemon started one command host for the job, which stays for the next.
    EXPECT_EQ(Hosts().size(), 1u);

    EXPECT_EQ(StatusLine(kSignalBox), std::string("+ ") + kSignalBox + " : eIadlmf : BD : Sample Signal Box");
    EXPECT_EQ(Run({"printconfig", kSignalBox}).out, signalConfig);
    // The asset that was still installed is replaced and committed, not left open for editing.
    EXPECT_EQ(StatusLine(kPlatform), std::string("+ ") + kPlatform + " : eIadlmf : MESH : Sample Platform Mesh");
    EXPECT_EQ(Run({"printconfig", kPlatform}).out, platformConfig);

    // Closing the daemon ends its command host too.
    EXPECT_EQ(Run({"closevaddaemon"}).exitCode, 0);
    EXPECT_TRUE(Eventually([&] { return NothingLeft(); }));
}

TEST_F(ArchiveE2E, AnAssetOpenForEditingIsRefusedAndItsEditKeptWhileTheRestInstalls)
{
    ASSERT_EQ(Run({"createcdp", "both.cdp", kSignalBox, kPlatform}).exitCode, 0);
    ASSERT_EQ(Run({"edit", kSignalBox}).exitCode, 0);
    const std::string edit = "UserData/editing/kuid 900001 100";
    std::string config = root_.ReadFile(edit + "/config.txt");
    const size_t name = config.find("Sample Signal Box");
    ASSERT_NE(name, std::string::npos) << config;
    config.replace(name, 17, "Edited Signal Box");
    root_.WriteFile(edit + "/config.txt", config);
    root_.WriteFile(edit + "/note.txt", "the user's own file");
    std::map<std::string, std::string> before;
    for (const std::string& f : FilesBelow(root_.Path(edit))) before[f] = root_.ReadFile(edit + "/" + f);

    RunResult install = Run({"installcdp", "both.cdp"});
    EXPECT_EQ(install.exitCode, 255) << install.out;
    EXPECT_NE(install.out.find(std::string("- ") + kSignalBox + " : Asset " + kSignalBox + " is open for editing.\n"),
              std::string::npos)
        << install.out;
    EXPECT_NE(install.out.find(std::string("+ ") + kPlatform + " : Asset " + kPlatform + " was installed.\n"),
              std::string::npos)
        << install.out;
    EXPECT_EQ(install.out.find("OK (0 Errors"), std::string::npos) << install.out;

    // The edit is exactly as it was, still open, and nothing of it went to the backups.
    std::map<std::string, std::string> after;
    for (const std::string& f : FilesBelow(root_.Path(edit))) after[f] = root_.ReadFile(edit + "/" + f);
    EXPECT_EQ(after, before);
    EXPECT_EQ(StatusLine(kSignalBox).rfind(std::string("+ ") + kSignalBox + " : EI", 0), 0u) << StatusLine(kSignalBox);
    if (root_.Exists("UserData/backups"))
    {
        for (const std::string& f : FilesBelow(root_.Path("UserData/backups")))
            EXPECT_EQ(f.find("uncommitted edit"), std::string::npos) << f;
    }

    // Its commit installs the user's change.
    RunResult commit = Run({"commit", kSignalBox});
    EXPECT_EQ(commit.exitCode, 0) << commit.out;
    EXPECT_NE(Run({"printconfig", kSignalBox}).out.find("Edited Signal Box"), std::string::npos);
    EXPECT_EQ(root_.ReadFile("UserData/local/kuid 900001 100/note.txt"), "the user's own file");
}

TEST_F(ArchiveE2E, DamagedArchiveInstallsNothing)
{
    ASSERT_EQ(Run({"createcdp", "good.cdp", kSignalBox}).exitCode, 0);
    const std::string good = root_.ReadFile("work/good.cdp");
    ASSERT_GT(good.size(), 40u);
    ASSERT_EQ(Run({"delete", kSignalBox}).exitCode, 0);

    // The first chunk claims more bytes than the body holds.
    std::string badChunk = good;
    badChunk[19] = char(0x7F);
    const std::string damaged = "Content could not be read, as the CDP file is damaged";
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"cut.cdp", good.substr(0, good.size() - 7), damaged},
        {"chunk.cdp", badChunk, damaged},
        {"grown.cdp", good + "extra", damaged},
        {"text.cdp", "kuid <kuid:900001:100>\n", "Content could not be read, as the file is not a valid CDP"},
    };
    for (const auto& [name, bytes, reason] : cases)
    {
        root_.WriteFile(std::string("work/") + name, bytes);
        RunResult r = Run({"installcdp", name});
        EXPECT_EQ(r.exitCode, 255) << name;
        EXPECT_EQ(r.out, "- NULLKUID : The package '" + root_.Path(std::string("work/") + name) +
                             "' cannot be read.\n- NULLKUID : " + reason + "\nOK (2 Errors, 0 Warnings)\n")
            << name;
        EXPECT_EQ(StatusLine(kSignalBox), std::string("- ") + kSignalBox + " : Unknown AssetID.") << name;
    }
    EXPECT_FALSE(root_.Exists("UserData/local/kuid 900001 100"));
    EXPECT_FALSE(root_.Exists("UserData/editing/kuid 900001 100"));
}

TEST_F(ArchiveE2E, ExportPackage)
{
    // An asset without textures exports for any targets; its copy's textures (none) are converted by the
    // command host's texture-convert job.
    RunResult dxtc = Run({"export-package", "dxtc", "pkg", kSignalBox});
    EXPECT_EQ(dxtc.exitCode, 0) << dxtc.out;
    EXPECT_EQ(dxtc.out, kOK);
    EXPECT_TRUE(root_.Exists("UserData/packages/pkg/pkg.cdp"));
    EXPECT_FALSE(root_.Exists("UserData/packages/pkg.export-partial"));

    RunResult plain = Run({"export-package", "", "pkg12345", "base", "trains", kSignalBox, kPlatform});
    EXPECT_EQ(plain.exitCode, 0) << plain.out;
    EXPECT_EQ(plain.out, kOK);
    ASSERT_TRUE(root_.Exists("UserData/packages/pkg12345/pkg12345.cdp"));
    const std::string manifest = root_.ReadFile("UserData/packages/pkg12345/package.txt");
    EXPECT_NE(manifest.find("\"base\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("\"trains\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find(std::string("assets\t") + kSignalBox + "," + kPlatform), std::string::npos) << manifest;
}

TEST_F(ArchiveE2E, CommandHostEndsCleanlyOnSignals)
{
    // A host started by hand ends its loop on SIGTERM and finishes the run normally.
    std::unique_ptr<RunningProgram> host = root_.Start({"vadcommandhost"});
    ASSERT_TRUE(Eventually([&] { return HostsRegistered(root_) >= 1; }));
    host->SignalGroup(SIGTERM);
    RunResult r = host->Wait();
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kOK);

    // The host the daemon starts for a job ends the same way, and leaves no process behind.
    ASSERT_EQ(Run({"createcdp", "a.cdp", kSignalBox}).exitCode, 0);
    ASSERT_EQ(Run({"installcdp", "a.cdp"}).exitCode, 0);
    std::vector<int> started = Hosts();
    ASSERT_EQ(started.size(), 1u);
    kill(started[0], SIGINT);
    EXPECT_TRUE(Eventually([&] { return Hosts().empty(); }));
    // The next job gets a new host.
    EXPECT_EQ(Run({"installcdp", "a.cdp"}).exitCode, 0);
    EXPECT_EQ(Hosts().size(), 1u);
}

}  // namespace
}  // namespace e2e
