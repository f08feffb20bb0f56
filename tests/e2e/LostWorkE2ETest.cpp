// Work that must not be lost or reported as done when it was not, through the real tool, daemon and command
// host: inputs the tool cannot take whole (files past their bound, FIFOs and devices, texts with a zero byte),
// package entries that name no asset, a daemon that could not be closed, edits that would join a package's
// install, a command host killed while it installs, a commit that would leave part of the edit out, an edit
// folder a commit cut short left aside, work kept because it was never committed, which backup thinning never
// takes, and what stands where an edit folder goes, kept before a command makes one there.
#include "E2EFixture.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ContentArchive.h"
#include "assetdb/VADAssetInfo.h"
#include "core/ConfigFile.h"
#include "engine/ConfigFileBound.h"
#include "platform/FileLease.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string_view>

namespace e2e {
namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A run that failed must say so: never a clean summary with a failing exit, nor the reverse.
void ExpectFailedRun(const RunResult& r)
{
    EXPECT_FALSE(r.timedOut) << r.out;
    EXPECT_EQ(r.exitCode, 255) << r.out << r.err;
    EXPECT_FALSE(Has(r.out, "OK (0 Errors")) << r.out;
}

// An asset folder "work/<name>" of `files` files, each holding `fill`.
void WriteAssetFolder(const InstallRoot& root, const std::string& name, const std::string& kuid, int files,
                      const std::string& fill)
{
    root.WriteFile("work/" + name + "/config.txt", "kuid " + kuid + "\nusername \"" + name + "\"\nkind \"scenery\"\n");
    for (int i = 0; i < files; ++i)
    {
        char file[32];
        std::snprintf(file, sizeof file, "/f%03d.txt", i);
        root.WriteFile("work/" + name + file, fill);
    }
}

// The files of an installed copy: true when every "f*.txt" holds `fill` and there are `files` of them.
bool CopyHolds(const InstallRoot& root, const std::string& folder, int files, const std::string& fill)
{
    int seen = 0;
    std::error_code ec;
    for (fs::directory_iterator it(root.Path(folder), ec), end; !ec && it != end; it.increment(ec))
    {
        const std::string name = it->path().filename().string();
        if (name.size() != 8 || name[0] != 'f') continue;
        if (ReadWholeFile(it->path().string()) != fill) return false;
        ++seen;
    }
    return seen == files;
}

// The command hosts running for the root (the tool run as "vadcommandhost").
std::vector<int> CommandHosts(const InstallRoot& root)
{
    std::vector<int> hosts;
    for (int pid : Platform::FindProcessesByPath(root.Tool()))
        if (Has(ReadWholeFile("/proc/" + std::to_string(pid) + "/cmdline"), "vadcommandhost")) hosts.push_back(pid);
    return hosts;
}

// The edit folders (not the daemon's hidden leftovers).
std::vector<std::string> EditFolders(const InstallRoot& root)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(root.Path("UserData/editing"), ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename().string()[0] != '.') found.push_back(it->path().filename().string());
    return found;
}

// The folder a result line says work "was kept in '...'", or "" when none does.
std::string KeptIn(const std::string& out, const std::string& kuid)
{
    for (const std::string& line : Lines(out))
    {
        const std::string said = "was kept in '";
        const size_t at = line.find(said);
        if (line.rfind("! " + kuid + " : ", 0) == 0 && at != std::string::npos && line.ends_with("'."))
            return line.substr(at + said.size(), line.size() - at - said.size() - 2);
    }
    return "";
}

const std::string kEdited = "<kuid:900680:1>", kEditedFolder = "UserData/editing/kuid 900680 1";

// A file whose name holds a backslash, a symbolic link and a pipe in `folder`.
void WriteEveryKindOfEntry(const InstallRoot& root, const std::string& folder)
{
    root.WriteFile(folder + "/notes\\v2.txt", "second notes");
    fs::create_symlink("notes\\v2.txt", root.Path(folder + "/latest"));
    ASSERT_EQ(mkfifo(root.Path(folder + "/pipe").c_str(), 0600), 0);
}

// The dated folders of installed copies in the backups (not the folder of uncommitted work, nor hidden names).
std::vector<std::string> DatedBackups(const InstallRoot& root)
{
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(root.Path("UserData/backups")))
        if (const std::string n = e.path().filename().string(); n[0] != '.' && n != "uncommitted") found.push_back(n);
    return found;
}

class LostWorkE2E : public DaemonRootTest
{
protected:
    // Opens `kuid` (installed from work/`name`, its edit folder `edit`) for editing with W1.txt written into it,
    // commits it with a daemon that dies once the edit folder is set aside, and saves the edit folder again with
    // W2.txt: the folder set aside is kept beside the new one at the next start.
    void LeaveAnEarlierEditFolder(const std::string& kuid, const std::string& edit, const std::string& name)
    {
        ASSERT_EQ(Run({"edit", kuid}).exitCode, 0);
        root_.WriteFile(edit + "/W1.txt", "first");
        root_.StopProcesses();
        ASSERT_TRUE(root_.StartDaemon({"-crashat=edit-aside"}));
        ExpectFailedRun(Run({"commit", kuid}));
        ASSERT_FALSE(root_.DaemonRunning());
        root_.WriteFile(edit + "/config.txt", root_.ReadFile("work/" + name + "/config.txt"));
        root_.WriteFile(edit + "/W2.txt", "second");
        ASSERT_EQ(Run({"status", kuid}).exitCode, 0);
    }
    // kEdited installed from "edited" with the sample brick texture, which each install and commit compiles.
    void InstallTextured()
    {
        WriteAssetFolder(root_, "edited", kEdited, 0, "");
        for (const char* file : {"brick.tga", "brick.texture.txt"})
            fs::copy_file(InstallRoot::SamplesDir() + "/brick-texture/" + file,
                          root_.Path(std::string("work/edited/") + file));
        ASSERT_EQ(Run({"installfrompath", "edited"}).exitCode, 0);
    }
    // The asset installed from "saved" first.
    void InstallWithAnEarlierEditFolder(const std::string& kuid, const std::string& edit)
    {
        WriteAssetFolder(root_, "saved", kuid, 1, "x");
        ASSERT_EQ(Run({"installfrompath", "saved"}).exitCode, 0);
        ASSERT_NO_FATAL_FAILURE(LeaveAnEarlierEditFolder(kuid, edit, "saved"));
    }
};

TEST_F(LostWorkE2E, ImportKeywordsTakesAKeywordsFileWholeOrNotAtAll)
{
    WriteAssetFolder(root_, "signal", "<kuid:900600:1>", 1, "x");
    WriteAssetFolder(root_, "other", "<kuid:900600:2>", 1, "x");
    ASSERT_EQ(Run({"installfrompath", "."}).exitCode, 0);
    SettingsReader reader(root_.Root());
    ASSERT_TRUE(reader.Connected());
    const std::string dump = root_.Path("work/KeywordsDump.dat");
    // The daemon's keywords of <kuid:900600:2> come to be `want`, in the daemon's own time.
    auto keywordsBecome = [&](std::string_view want) {
        return Eventually([&] {
            const VADResult<Orvo::String> k = reader.Client().GetAssetKeywords(KUID(900600, 2, 0));
            return k.Ok() && k.Value().View() == want;
        });
    };
    // The daemon's keywords of <kuid:900600:`kuid`> are `want`.
    auto expectKeywords = [&](int kuid, std::string_view want) {
        const VADResult<Orvo::String> k = reader.Client().GetAssetKeywords(KUID(900600, kuid, 0));
        ASSERT_TRUE(k.Ok());
        EXPECT_EQ(k.Value().View(), want);
    };

    // A text with a zero byte would reach the database cut at the zero: it is refused, naming the file and the
    // asset; the other asset's keywords are taken.
    root_.WriteFile("work/KeywordsDump.dat",
                    std::string("<kuid:900600:1> \"ste") + '\0' + "I;red\"\n<kuid:900600:2> \"blue;green\"\n");
    RunResult r = Run({"importkeywords"});
    ExpectFailedRun(r);
    EXPECT_TRUE(
        Has(r.out, "The keywords of <kuid:900600:1> in '" + dump + "' hold a zero byte; they were not imported."))
        << r.out;
    EXPECT_TRUE(keywordsBecome("blue;green"));
    ASSERT_NO_FATAL_FAILURE(expectKeywords(1, ""));

    // A KUID with a zero byte in it would name another asset read up to the zero (here <kuid:900600:1>): refused
    // by name. Text after a KUID's numbers is ignored, as asset configurations read it; a name that is no KUID at
    // all is named in a warning and the other entries go on. The last entry, sent after them, tells when the
    // daemon has had them all.
    root_.WriteFile("work/KeywordsDump.dat", std::string("<kuid:900600:1") + '\0' +
                                                 "0> \"zz\"\nhello \"lost\"\n<kuid:900600:1>junk \"yy\"\n"
                                                 "<kuid:900600:2> \"after\"\n");
    r = Run({"importkeywords"});
    ExpectFailedRun(r);
    EXPECT_TRUE(Has(r.out, "The KUID '<kuid:900600:1\\00>' in '" + dump +
                               "' holds a zero byte; its keywords were not imported."))
        << r.out;
    EXPECT_TRUE(Has(r.out, "The entry 'hello' in '" + dump + "' is not a KUID; its keywords were not imported."))
        << r.out;
    EXPECT_TRUE(keywordsBecome("after"));
    ASSERT_NO_FATAL_FAILURE(expectKeywords(1, "yy"));

    // Only an entry that is no KUID: the run goes on, but never in silence.
    root_.WriteFile("work/KeywordsDump.dat", "hello \"lost\"\n<kuid:900600:2> \"last\"\n");
    r = Run({"importkeywords"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "OK (0 Errors, 1 Warnings)")) << r.out;
    EXPECT_TRUE(keywordsBecome("last"));

    // Past the bound of a configuration file: said with the bound, and a failure.
    fs::remove(dump);
    {
        std::ofstream(dump) << "<kuid:900600:2> \"big\"\n";
    }
    fs::resize_file(dump, Orvo::kMaxConfigFileBytes + 1);
    r = Run({"importkeywords"});
    ExpectFailedRun(r);
    EXPECT_TRUE(Has(r.out, "33554432")) << r.out;

    // A FIFO nobody writes to would hang the read; it is no keywords file.
    fs::remove(dump);
    ASSERT_EQ(mkfifo(dump.c_str(), 0600), 0);
    r = Run({"importkeywords"});
    ExpectFailedRun(r);
    EXPECT_TRUE(Has(r.out, "The keywords file '" + dump + "' is not a regular file; it was not read.")) << r.out;
    expectKeywords(2, "last");
}

TEST_F(LostWorkE2E, ABatchFileIsARegularFileWithinItsBound)
{
    const std::string fifo = root_.Path("work/fifo.txt");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    RunResult r = Run({"@fifo.txt"});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.err, "-The file \"fifo.txt\" could not be read, please specify a valid filename\n");

    r = Run({"@/dev/urandom"});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.err, "-The file \"/dev/urandom\" could not be read, please specify a valid filename\n");

    const std::string big = root_.Path("work/big.txt");
    {
        std::ofstream(big) << "echo never\n";
    }
    fs::resize_file(big, 16 * 1024 * 1024 + 1);
    r = Run({"@big.txt"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "-The file \"big.txt\" is too large to be a batch file (it may hold at most 16777216 bytes)\n");

    // A batch that fits runs every line, the last one without a line end too.
    root_.WriteFile("work/fine.txt", "echo one\r\necho two");
    r = Run({"@fine.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, std::string("one \n") + kOK + "\ntwo \n" + kOK + "\n");
}

TEST_F(LostWorkE2E, PackageEntriesWithoutAKUIDAreNamedAndCountedAsNotInstalled)
{
    // A package of one good entry, then two more put in by hand: one without a "kuid" tag, one whose tag holds
    // no KUID.
    const std::string path = root_.Path("work/mixed.cdp");
    {
        ContentArchive archive;
        Orvo::String result;
        TDBTagRef entry = TDBTagRef::NewContainer();
        entry.SetChildKUID("kuid", KUID(900610, 1, 0));
        entry.SetChildString("username", "Good");
        entry.SetChildString("kind", "scenery");
        entry.CreateChildContainer("files").SetChildBinary("data.bin", "x", 1);
        entry.SetChildString("compression", "none");
        SetArchiveEntryDSID(entry);
        ASSERT_TRUE(archive.AddAsset(result, entry)) << result.c_str();
        ASSERT_TRUE(archive.Save(result, Orvo::File::Path(path))) << result.c_str();
    }
    TDBTagRef tree;
    ASSERT_TRUE(LoadConfigFile(tree, "", path, "cdp"));
    TDBTagRef assets = tree.GetChild("assets");
    TDBTagRef none = assets.CreateChildContainer("no kuid here");
    none.SetChildString("username", "Nameless");
    none.CreateChildContainer("files");
    TDBTagRef garbage = assets.CreateChildContainer("garbage");
    garbage.SetChildString("kuid", "not a kuid at all");
    garbage.CreateChildContainer("files");
    ASSERT_TRUE(SaveConfigFile(tree, "", path, "cdp"));

    const RunResult r = Run({"installcdp", "mixed.cdp"});
    ExpectFailedRun(r);
    EXPECT_TRUE(Has(r.out, "+ <kuid:900610:1> : Asset <kuid:900610:1> was installed.")) << r.out;
    EXPECT_TRUE(Has(r.out, "The entry 'no kuid here' of '" + path + "' has no valid KUID; it was not installed."))
        << r.out;
    EXPECT_TRUE(Has(r.out, "The entry 'garbage' of '" + path + "' has no valid KUID; it was not installed.")) << r.out;
    EXPECT_TRUE(Has(r.out, "2 of 3 assets of '" + path + "' were not installed.")) << r.out;
}

// A commit never leaves part of the user's edit behind with the edit folder it closes: a file whose name no
// file of an asset may have, a symbolic link and a FIFO refuse it, each named, with nothing changed: the edit
// stays open with every file, the installed copy as it was. Without them it installs the user's work.
TEST_F(LostWorkE2E, ACommitThatWouldLeaveOutAFileOfTheEditIsRefused)
{
    const std::string kuid = "<kuid:900640:1>";
    const std::string local = "UserData/local/kuid 900640 1", edit = "UserData/editing/kuid 900640 1";
    WriteAssetFolder(root_, "kept", kuid, 2, "before");
    ASSERT_EQ(Run({"installfrompath", "kept"}).exitCode, 0);
    ASSERT_EQ(Run({"edit", kuid}).exitCode, 0);
    root_.WriteFile(edit + "/my\\work.txt", "the user's work");
    fs::create_symlink("f000.txt", root_.Path(edit + "/linked.txt"));
    ASSERT_EQ(mkfifo(root_.Path(edit + "/pipe").c_str(), 0600), 0);

    RunResult r = Run({"commit", kuid});
    ExpectFailedRun(r);
    EXPECT_TRUE(Has(r.out, "'" + root_.Path(edit + "/my\\work.txt") +
                               "' has a name no file of an asset may have; the commit would leave it out."))
        << r.out;
    for (const char* special : {"/linked.txt", "/pipe"})
        EXPECT_TRUE(Has(r.out, "'" + root_.Path(edit + special) + "' is a symbolic link or special file")) << r.out;
    EXPECT_TRUE(Has(r.out, "Asset " + kuid + " was not committed and stays open for editing with all its files"))
        << r.out;
    EXPECT_EQ(Lines(Run({"status", kuid}).out)[0].rfind("+ " + kuid + " : EI", 0), 0u);
    EXPECT_EQ(root_.ReadFile(edit + "/my\\work.txt"), "the user's work");
    EXPECT_TRUE(fs::is_symlink(root_.Path(edit + "/linked.txt")));
    EXPECT_TRUE(CopyHolds(root_, local, 2, "before"));
    EXPECT_FALSE(root_.Exists(local + "/my\\work.txt"));
    EXPECT_TRUE(fs::is_empty(root_.Path("UserData/backups")));

    // Named so an asset may hold it, and the others gone: the commit installs the user's file.
    fs::rename(root_.Path(edit + "/my\\work.txt"), root_.Path(edit + "/my-work.txt"));
    fs::remove(root_.Path(edit + "/linked.txt"));
    fs::remove(root_.Path(edit + "/pipe"));
    r = Run({"commit", kuid});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, kOK);
    EXPECT_EQ(root_.ReadFile(local + "/my-work.txt"), "the user's work");
    EXPECT_FALSE(root_.Exists(edit));
}

// A commit killed once it set the edit folder aside, and the edit saved again into a new folder: the folder set
// aside, kept at the restart, holds work too. The next commit keeps it in a backup before it takes its name; when
// no backup can be made (a file stands where the backups folder goes) that commit fails and changes nothing.
TEST_F(LostWorkE2E, AnEditFolderSetAsideByACommitCutShortIsKeptInABackup)
{
    const std::string kuid = "<kuid:900650:1>", edit = "UserData/editing/kuid 900650 1";
    const std::string aside = "UserData/editing/.vadclosed-kuid 900650 1";
    ASSERT_NO_FATAL_FAILURE(InstallWithAnEarlierEditFolder(kuid, edit));
    const std::string log = "UserData/settings/vaddaemon.log";
    EXPECT_TRUE(Has(root_.ReadFile(log), "kept .vadclosed-kuid 900650 1: its edit is open and has another folder"));

    fs::remove_all(root_.Path("UserData/backups"));
    root_.WriteFile("UserData/backups", "in the way");
    RunResult r = Run({"commit", kuid});
    ExpectFailedRun(r);
    EXPECT_TRUE(Has(r.out, "- " + kuid + " : Asset " + kuid +
                               " stays open for editing: an earlier edit folder of it, '" + root_.Path(aside) +
                               "', could not be kept in a backup"))
        << r.out;
    EXPECT_EQ(root_.ReadFile(aside + "/W1.txt"), "first");
    EXPECT_EQ(root_.ReadFile(edit + "/W2.txt"), "second");
    EXPECT_EQ(Lines(Run({"status", kuid}).out)[0].rfind("+ " + kuid + " : EI", 0), 0u);

    fs::remove(root_.Path("UserData/backups"));
    fs::create_directory(root_.Path("UserData/backups"));
    r = Run({"commit", kuid});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(root_.ReadFile("UserData/local/kuid 900650 1/W2.txt"), "second");
    EXPECT_FALSE(root_.Exists(aside));
    std::string kept;
    for (const std::string& file : FilesBelow(root_.Path("UserData/backups")))
        if (file.ends_with("/kuid 900650 1 (earlier edit folder)/W1.txt")) kept = "UserData/backups/" + file;
    ASSERT_NE(kept, "") << r.out;
    EXPECT_EQ(root_.ReadFile(kept), "first");
    const std::string at = root_.Path(kept.substr(0, kept.size() - 7));
    EXPECT_TRUE(Has(r.out, "was kept in '" + at + "'.")) << r.out;
    EXPECT_TRUE(Has(root_.ReadFile(log), "was moved into the backup " + at));
}

// Work kept because it was never committed (an earlier edit folder, an uncommitted edit) is the user's only
// copy: it stays where the results said, however many installed copies are backed up after it with the backups
// thinned to one dated folder, and thinning keeps that one folder of installed copies.
TEST_F(LostWorkE2E, WorkThatWasNeverCommittedOutlivesBackupThinning)
{
    const std::string kuid = "<kuid:900660:1>", edit = "UserData/editing/kuid 900660 1";
    const std::string deleted = "<kuid:900660:2>", replaced = "<kuid:900660:3>";
    WriteAssetFolder(root_, "kept", kuid, 1, "x");
    WriteAssetFolder(root_, "deleted", deleted, 1, "x");
    WriteAssetFolder(root_, "replaced", replaced, 1, "x");
    ASSERT_EQ(Run({"installfrompath", "."}).exitCode, 0);
    ASSERT_EQ(Run({"setmaxbackupfolders", "1"}).exitCode, 0);
    ASSERT_NO_FATAL_FAILURE(LeaveAnEarlierEditFolder(kuid, edit, "kept"));
    RunResult r = Run({"commit", kuid});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::string earlier = KeptIn(r.out, kuid);
    const std::string uncommitted = root_.Path("UserData/backups/uncommitted/");
    EXPECT_EQ(earlier.rfind(uncommitted, 0), 0u) << r.out;
    EXPECT_TRUE(earlier.ends_with("/kuid 900660 1 (earlier edit folder)")) << r.out;
    EXPECT_EQ(ReadWholeFile(earlier + "/W1.txt"), "first");

    // Three more backups of installed copies: a delete of an asset open for editing (which keeps its edit), and
    // two installs over another asset.
    ASSERT_EQ(Run({"edit", deleted}).exitCode, 0);
    root_.WriteFile("UserData/editing/kuid 900660 2/U1.txt", "unsaved");
    r = Run({"delete", deleted});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(Lines(r.out).back(), "OK (0 Errors, 1 Warnings)");
    const std::string edited = KeptIn(r.out, deleted);
    EXPECT_EQ(edited.rfind(uncommitted, 0), 0u) << r.out;
    EXPECT_TRUE(edited.ends_with("/kuid 900660 2 (uncommitted edit)")) << r.out;
    for (const char* fill : {"y", "z"})
    {
        WriteAssetFolder(root_, "replaced", replaced, 1, fill);
        ASSERT_EQ(Run({"installfrompath", "replaced"}).exitCode, 0);
    }

    EXPECT_EQ(ReadWholeFile(earlier + "/W1.txt"), "first");
    EXPECT_EQ(ReadWholeFile(edited + "/U1.txt"), "unsaved");
    const std::vector<std::string> dated = DatedBackups(root_);
    ASSERT_EQ(dated.size(), 1u);
    EXPECT_EQ(root_.ReadFile("UserData/backups/" + dated[0] + "/kuid 900660 3/f000.txt"), "y");
}

// A revert or delete refused because an earlier edit folder cannot be kept (a file stands where the backups of
// uncommitted work go) says why under its own error line, fails and changes nothing.
TEST_F(LostWorkE2E, ARevertOrDeleteThatCannotKeepAnEarlierEditFolderSaysWhy)
{
    const std::string kuid = "<kuid:900670:1>", edit = "UserData/editing/kuid 900670 1";
    const std::string aside = "UserData/editing/.vadclosed-kuid 900670 1";
    ASSERT_NO_FATAL_FAILURE(InstallWithAnEarlierEditFolder(kuid, edit));
    root_.WriteFile("UserData/backups/uncommitted", "in the way");

    for (const std::string command : {"revert", "delete"})
    {
        SCOPED_TRACE(command);
        const RunResult r = Run({command, kuid});
        ExpectFailedRun(r);
        const std::vector<std::string> lines = Lines(r.out);
        ASSERT_EQ(lines.size(), 3u) << r.out;
        EXPECT_EQ(lines[0], "- " + kuid + " : Unable to " + command + " the asset.");
        EXPECT_EQ(lines[1].rfind("; " + kuid + " : Asset " + kuid +
                                     " stays open for editing: an earlier edit folder of it, '" + root_.Path(aside) +
                                     "', could not be kept in a backup (",
                                 0),
                  0u)
            << lines[1];
        EXPECT_TRUE(lines[1].ends_with("Not a directory); nothing was changed.")) << lines[1];
        EXPECT_EQ(lines[2], "OK (1 Errors, 0 Warnings)");
        EXPECT_EQ(root_.ReadFile(aside + "/W1.txt"), "first");
        EXPECT_EQ(root_.ReadFile(edit + "/W2.txt"), "second");
        EXPECT_TRUE(root_.Exists("UserData/local/kuid 900670 1/config.txt"));
        EXPECT_EQ(Lines(Run({"status", kuid}).out)[0].rfind("+ " + kuid + " : EI", 0), 0u);
    }
}

TEST(LostWorkDaemonE2E, CloseDaemonFailsWhenTheDaemonIsLeftRunning)
{
    InstallRoot root;
    ASSERT_TRUE(root.StartDaemon());
    const int daemon = root.DaemonPid();
    ASSERT_GT(daemon, 0);
    // A daemon of an earlier program file (replaced since), that does not answer: it can be neither asked to
    // close nor stopped by the program's path.
    ASSERT_EQ(rename(root.Path("bin/VADDaemon").c_str(), root.Path("bin/VADDaemon.old").c_str()), 0);
    ASSERT_EQ(kill(daemon, SIGSTOP), 0);
    const RunResult r = root.Run({"closevaddaemon"}, RunOptions::Env({{"VELMAR_TEST_REQUEST_BOUND_MS", "2000"}}));
    ASSERT_EQ(kill(daemon, SIGCONT), 0);
    EXPECT_EQ(r.err, "- Failed to open asset database\n");
    ExpectFailedRun(r);
    EXPECT_TRUE(Has(r.out, "The asset database daemon (process " + std::to_string(daemon) +
                               ") could not be reached, and it is still running."))
        << r.out;
    kill(daemon, SIGKILL);
    (void)Platform::WaitForProcess(daemon, 10000);

    // Nothing left running is nothing left to close.
    const RunResult none = root.Run({"closevaddaemon"});
    EXPECT_EQ(none.exitCode, 0) << none.out;
    EXPECT_EQ(none.out, kOK);
}

// A package installs an asset a user may open for editing at the same moment: the user never gets the
// package's own edit (which the install would commit with the user's half-made files, or close under the
// user), and the install never ends as a clean one when it did not install the asset. The user's side is a
// child that opens, writes into and reverts the edit for as long as the installs go on (bounded).
TEST_F(LostWorkE2E, AnEditIsNeverJoinedToAPackagesInstall)
{
    const std::string kuid = "<kuid:900620:1>";
    const std::string installed = "UserData/local/kuid 900620 1";
    const int files = 300;
    WriteAssetFolder(root_, "raced", kuid, files, "package");
    ASSERT_EQ(Run({"installfrompath", "raced"}).exitCode, 0);
    ASSERT_EQ(Run({"createcdp", "raced.cdp", kuid}).exitCode, 0);
    const std::string violations = root_.Path("work/violations.txt");
    const std::string opened = root_.Path("work/opened.txt");

    FILE* bad = nullptr;
    FILE* good = nullptr;
    RacingChild editor(
        [&](unsigned round) {
            const RunResult edit = root_.Run({"edit", kuid}, RunOptions::In(root_.Path("work")));
            if (edit.exitCode != 0)
            {
                if (!Has(edit.out, "is being installed") && !Has(edit.out, "could not"))
                    std::fprintf(bad, "edit failed without saying why: %s\n", edit.out.c_str());
                else
                    std::fprintf(good, "refused %u\n", round);
                std::fflush(good);
                return;
            }
            const std::string prefix = "+ " + kuid + " : ";
            const size_t at = edit.out.find(prefix);
            const size_t end = at == std::string::npos ? at : edit.out.find('\n', at);
            if (end == std::string::npos)
            {
                std::fprintf(bad, "edit said no folder: %s\n", edit.out.c_str());
                return;
            }
            // The user's work: a file of its own in the folder it was given, which must stay there.
            const std::string folder = edit.out.substr(at + prefix.size(), end - at - prefix.size());
            const std::string mine = folder + "/user-" + std::to_string(round) + ".txt";
            const int fd = ::open(mine.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            if (fd < 0)
                std::fprintf(bad, "the edit folder %s of a successful edit is gone\n", folder.c_str());
            else
                ::close(fd);
            std::fprintf(good, "%u\n", round);
            std::fflush(good);
            usleep(20000);
            if (fd >= 0 && !fs::exists(mine)) std::fprintf(bad, "the user's file %s was taken away\n", mine.c_str());
            (void)root_.Run({"revert", kuid}, RunOptions::In(root_.Path("work")));
        },
        [&] {
            bad = std::fopen(violations.c_str(), "w");
            good = std::fopen(opened.c_str(), "w");
            return bad && good;
        },
        [&] {
            std::fclose(bad);
            std::fclose(good);
        },
        240);
    ASSERT_TRUE(editor.Started());

    const auto started = std::chrono::steady_clock::now();
    int rounds = 0, clean = 0;
    for (; rounds < 40 && std::chrono::steady_clock::now() - started < std::chrono::seconds(60); ++rounds)
    {
        const RunResult r = Run({"installcdp", "raced.cdp"});
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode == 0, Has(r.out, "OK (0 Errors")) << r.out;
        if (r.exitCode == 0) ++clean;
        // The installed copy is the package's, never with a user's file in it.
        for (const std::string& name : FilesBelow(root_.Path(installed)))
            EXPECT_EQ(name.rfind("user-", 0), std::string::npos) << "a user's file was installed: " << name;
        EXPECT_TRUE(CopyHolds(root_, installed, files, "package"));
    }
    // The child ends after the run it is in; one that does not is ended.
    ASSERT_TRUE(editor.Stop(60000));
    EXPECT_EQ(ReadWholeFile(violations), "");
    EXPECT_GT(clean, 0) << "no install got through at all";
    const std::vector<std::string> tries = Lines(ReadWholeFile(opened));
    const size_t refusedEdits = std::count_if(tries.begin(), tries.end(),
                                              [](const std::string& line) { return line.rfind("refused", 0) == 0; });
    RecordProperty("refused_edits", int(refusedEdits));
    EXPECT_GT(tries.size(), refusedEdits) << "no edit got through at all";
}

// A command host killed while it installs a package: the edits it opened for the install are closed, no asset
// stays open for editing that nobody opened, and each installed copy is whole, the package's or as it was.
TEST_F(LostWorkE2E, ACommandHostKilledWhileItInstallsLeavesNoEditOpen)
{
    const int count = 30, files = 24;
    auto kuidOf = [](int i) { return "<kuid:900630:" + std::to_string(i) + ">"; };
    for (int i = 1; i <= count; ++i) WriteAssetFolder(root_, "a" + std::to_string(i), kuidOf(i), files, "package");
    ASSERT_EQ(Run({"installfrompath", "."}).exitCode, 0);
    std::vector<std::string> createArgs = {"createcdp", "many.cdp"};
    for (int i = 1; i <= count; ++i) createArgs.push_back(kuidOf(i));
    ASSERT_EQ(Run(createArgs).exitCode, 0);
    // The installed copies now differ from the package's.
    for (int i = 1; i <= count; ++i) WriteAssetFolder(root_, "a" + std::to_string(i), kuidOf(i), files, "before");
    ASSERT_EQ(Run({"installfrompath", "."}).exitCode, 0);

    std::unique_ptr<RunningProgram> install =
        root_.Start({"installcdp", "many.cdp"}, RunOptions::In(root_.Path("work")));
    // Caught while its command host has an edit open.
    ASSERT_TRUE(Eventually([&] { return !EditFolders(root_).empty(); }, 60000, 1));
    const std::vector<int> hosts = CommandHosts(root_);
    ASSERT_EQ(hosts.size(), 1u);
    ASSERT_EQ(kill(hosts[0], SIGKILL), 0);
    const RunResult r = install->Wait();
    ExpectFailedRun(r);

    EXPECT_TRUE(Eventually([&] { return EditFolders(root_).empty(); }));
    SettingsReader reader(root_.Root());
    ASSERT_TRUE(reader.Connected());
    for (int i = 1; i <= count; ++i)
    {
        SCOPED_TRACE(kuidOf(i));
        VADAssetInfo info;
        ASSERT_TRUE(reader.Client().GetAssetInfo(KUID(900630, i, 0), info, VAD_DETAIL_ALL));
        EXPECT_TRUE(info.IsInstalled());
        EXPECT_FALSE(info.IsOpenForEdit());
        const std::string folder = "UserData/local/kuid 900630 " + std::to_string(i);
        EXPECT_TRUE(CopyHolds(root_, folder, files, "package") || CopyHolds(root_, folder, files, "before"));
        EXPECT_TRUE(root_.Exists(folder + "/config.txt") || root_.Exists(folder + "/config.chump"));
    }
    // A user may open one of them for editing now, and gets the installed copy.
    const RunResult edit = Run({"edit", kuidOf(1)});
    EXPECT_EQ(edit.exitCode, 0) << edit.out;
}

// A folder made where the edit folder goes is kept in a backup, and said, before a commit of the asset not open, a
// package's install or edit makes the edit folder there. Where it cannot be kept (a file stands where the backups
// go), each of them fails, saying why, and leaves it as it was.
TEST_F(LostWorkE2E, AFolderWhereTheEditFolderGoesIsKeptOrTheCommandFails)
{
    ASSERT_NO_FATAL_FAILURE(InstallTextured());
    ASSERT_EQ(Run({"createcdp", "a.cdp", kEdited}).exitCode, 0);
    const std::vector<std::vector<std::string>> commands = {
        {"commit", kEdited}, {"installcdp", "a.cdp"}, {"edit", kEdited}};
    for (const std::vector<std::string>& command : commands)
    {
        root_.WriteFile(kEditedFolder + "/mywork.txt", command[0]);
        const RunResult r = Run(command);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(ReadWholeFile(KeptIn(r.out, kEdited) + "/mywork.txt"), command[0]) << r.out;
        EXPECT_FALSE(root_.Exists(kEditedFolder + "/mywork.txt")) << command[0];
    }
    ASSERT_EQ(Run({"revert", kEdited}).exitCode, 0);
    fs::rename(root_.Path("UserData/backups/uncommitted"), root_.Path("work/kept"));
    root_.WriteFile("UserData/backups/uncommitted", "in the way");
    root_.WriteFile(kEditedFolder + "/mywork.txt", "my work");
    for (const std::vector<std::string>& command : commands)
    {
        const RunResult r = Run(command);
        EXPECT_EQ(r.exitCode, 255) << r.out;
        EXPECT_TRUE(Has(r.out, "was not opened for editing: '" + root_.Path(kEditedFolder) +
                                   "', an edit folder of it that no open edit made, could not be kept in a backup ("))
            << r.out;
        EXPECT_EQ(FilesBelow(root_.Path(kEditedFolder)), std::vector<std::string>{"mywork.txt"});
    }
}

// A commit takes the edit folder before it installs it, a delete before it keeps it whole (links, pipes): a file
// written into it meanwhile is installed or kept, or its write fails.
TEST_F(LostWorkE2E, AFileWrittenWhileACommitOrDeleteRunsIsKeptOrItsWriteFails)
{
    ASSERT_NO_FATAL_FAILURE(InstallTextured());
    for (const std::string command : {"commit", "delete"})
    {
        SCOPED_TRACE(command);
        ASSERT_EQ(Run({"edit", kEdited}).exitCode, 0);
        if (command == "delete") WriteEveryKindOfEntry(root_, kEditedFolder);
        // Writes COMMAND0.txt, COMMAND1.txt... into the folder until the file "stop" is there, and says each written.
        RunningProgram writer("/bin/sh",
                              {"-c",
                               "i=0; while [ ! -e stop ]; do (echo x >\"$1/$2$i.txt\") 2>/dev/null && echo $2$i.txt; "
                               "i=$((i+1)); done",
                               "sh", root_.Path(kEditedFolder), command},
                              RunOptions::In(root_.Path("work")));
        EXPECT_TRUE(Eventually([&] { return root_.Exists(kEditedFolder + "/" + command + "4.txt"); }));
        const RunResult r = Run({command, kEdited});
        root_.WriteFile("work/stop", "");
        const std::vector<std::string> written = Lines(writer.Wait().out);
        fs::remove(root_.Path("work/stop"));
        EXPECT_EQ(r.exitCode, 0) << r.out;
        std::set<std::string> found;
        for (const std::string folder : {"UserData/local/kuid 900680 1", "UserData/backups/uncommitted"})
            if (root_.Exists(folder))
                for (const std::string& file : FilesBelow(root_.Path(folder))) found.insert(fs::path(file).filename());
        EXPECT_TRUE(found.count("brick.texture")) << r.out;
        EXPECT_EQ(std::count_if(written.begin(), written.end(), [&](const std::string& n) { return !found.count(n); }),
                  0)
            << "of " << written.size();
        if (command == "commit") continue;
        const std::string kept = KeptIn(r.out, kEdited);
        EXPECT_EQ(fs::read_symlink(kept + "/latest"), "notes\\v2.txt");
        EXPECT_TRUE(fs::is_fifo(fs::symlink_status(kept + "/pipe")));
        EXPECT_EQ(ReadWholeFile(kept + "/notes\\v2.txt"), "second notes");
    }
}

// Writes $2-N.txt (holding "$2-N") by a relative name into its current folder and appends the line "$2-N" to
// held.txt through a descriptor it opened first, until the file $1 is there (at most 4000 rounds), saying each
// write whose open, write and close succeeded ("$2-N.txt", "held $2-N").
constexpr char kInsideWriter[] = R"(exec 3>>held.txt || exit 1
i=0
while [ ! -e "$1" ] && [ $i -lt 4000 ]; do
  { echo "$2-$i" >"$2-$i.txt"; } 2>/dev/null && echo "$2-$i.txt"
  { echo "$2-$i" >&3; } 2>/dev/null && echo "held $2-$i"
  i=$((i+1)); sleep 0.002
done
)";

// Each write the inside writer said (`said`) is in one of `folders` with its bytes: a file of its name holding
// them, a held.txt holding the line. Returns what is found nowhere.
std::vector<std::string> WritesFoundNowhere(const std::vector<std::string>& said,
                                            const std::vector<std::string>& folders)
{
    std::map<std::string, std::set<std::string>> files;  // name -> the contents of each file of that name
    std::set<std::string> held;
    for (const std::string& folder : folders)
    {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        {
            const std::string name = it->path().filename().string();
            if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
            if (name == "held.txt")
                for (const std::string& line : Lines(ReadWholeFile(it->path().string()))) held.insert(line);
            else
                files[name].insert(ReadWholeFile(it->path().string()));
        }
    }
    std::vector<std::string> missing;
    for (const std::string& write : said)
    {
        const bool line = write.rfind("held ", 0) == 0;
        const bool found =
            line ? held.count(write.substr(5)) != 0 : files[write].count(write.substr(0, write.size() - 4) + "\n") != 0;
        if (!found) missing.push_back(write);
    }
    return missing;
}

// A program already inside the edit folder (a shell whose current folder it is, writing files by a relative name,
// and a file it holds open) writes on after the rename that takes the folder: every write of it that succeeded is
// installed or kept in the backups of uncommitted work after a commit, a delete and a keep from another file
// system, said in a warning, and a new start of the daemon removes none of it.
TEST_F(LostWorkE2E, WhatAProgramInsideTheEditFolderWritesIsInstalledOrKept)
{
    ASSERT_NO_FATAL_FAILURE(InstallTextured());
    root_.WriteFile("work/writer.sh", kInsideWriter);
    // Without leases a file open in another program is removed once its status is as copied, and what is
    // appended to it after that is not promised: only the files written by name are looked for then.
    const bool leases = Platform::LeasesWorkIn(root_.Path("work").c_str());
    RecordProperty("leases", leases ? "yes" : "no");
    auto promised = [&](std::vector<std::string> said) {
        if (!leases) std::erase_if(said, [](const std::string& write) { return write.rfind("held ", 0) == 0; });
        return said;
    };
    const std::string installed = root_.Path("UserData/local/kuid 900680 1");
    const std::string kept = root_.Path("UserData/backups/uncommitted");
    for (const std::string command : {"commit", "delete"})
    {
        SCOPED_TRACE(command);
        ASSERT_EQ(Run({"edit", kEdited}).exitCode, 0);
        // Large enough that the copy takes a while, and the writer writes while it is made.
        root_.WriteFile(kEditedFolder + "/big.bin", std::string(32 << 20, 'b'));
        const std::string stop = root_.Path("work/stop-" + command);
        RunningProgram writer("/bin/sh", {root_.Path("work/writer.sh"), stop, command},
                              RunOptions::In(root_.Path(kEditedFolder)));
        ASSERT_TRUE(Eventually([&] { return root_.Exists(kEditedFolder + "/" + command + "-4.txt"); }));
        const RunResult r = Run({command, kEdited});
        root_.WriteFile("work/stop-" + command, "");
        const std::vector<std::string> said = promised(Lines(writer.Wait().out));
        EXPECT_EQ(r.exitCode, 0) << r.out;
        // The held file is open in the writer all along: it is never taken, and the warning names where it is.
        if (leases)
        {
            EXPECT_TRUE(Has(r.out, "or were still open in another program, were kept in '" + kept + "/")) << r.out;
        }
        EXPECT_EQ(WritesFoundNowhere(said, {installed, kept}), std::vector<std::string>{}) << "of " << said.size();
        root_.StopProcesses();
        (void)Run({"status", kEdited});
        ASSERT_TRUE(root_.DaemonRunning());
        EXPECT_EQ(WritesFoundNowhere(said, {installed, kept}), std::vector<std::string>{}) << "after a new start";
    }

    // An edit folder no open edit made, kept from where the edit folder goes while the writer is inside it, with
    // the backups on a tmpfs of their own: copied, and only what the copy read goes. What the writer holds open
    // is never taken: it is copied in each round and stays, and the edit fails saying where, never "nothing was
    // changed". A new start keeps the rest once the writer is done.
    ASSERT_EQ(Run({"installfrompath", "edited"}).exitCode, 0);
    root_.StopProcesses();
    const std::string e = root_.Path(kEditedFolder), w = root_.Path("work");
    const std::string script =
        "R=\"$1\"; E=\"$2\"; W=\"$3\"; B=\"$R/UserData/backups\"; T=\"$R/bin/VelmarUtil\"\nmkdir -p \"$B\"\n"
        "mount -t tmpfs -o size=256m tmpfs \"$B\" || exit " +
        std::to_string(kMountRefused) +
        "\n\"$T\" status \"$4\" >/dev/null\n"
        "mkdir \"$E\" && head -c 16m /dev/zero >\"$E/big.bin\"\n"
        "(cd \"$E\" && exec sh \"$W/writer.sh\" \"$W/stop-keep\" keep) >\"$W/said-keep.txt\" &\n"
        "n=0; while [ ! -e \"$E/keep-4.txt\" ] && [ $n -lt 3000 ]; do sleep 0.01; n=$((n+1)); done\n"
        "\"$T\" edit \"$4\"; echo \"exit $?\"\ntouch \"$W/stop-keep\"; wait\n"
        "\"$T\" closevaddaemon >/dev/null 2>&1; \"$T\" status \"$4\" >/dev/null; \"$T\" closevaddaemon >/dev/null "
        "2>&1\n"
        "cp -a \"$B/uncommitted\" \"$W/kept\"\n";
    RunOptions options = RunOptions::In(w);
    options.timeoutMs = 180000;
    const RunResult r = RunInMountNamespace(script, {root_.Root(), e, w, kEdited}, options);
    if (CannotMakeMountNamespace(r)) GTEST_SKIP() << "cannot mount a tmpfs in a mount namespace here: " << r.err;
    EXPECT_FALSE(Has(r.out, "nothing was changed")) << r.out;
    if (leases)
    {
        EXPECT_TRUE(Has(r.out, "- " + kEdited + " : Asset " + kEdited + " was not opened for editing: '" + e +
                                   "', an edit folder of it that no open edit made, could not all be kept in a backup "
                                   "(what was written into it while it was copied stays in '" +
                                   e + "')."))
            << r.out;
        EXPECT_TRUE(r.out.ends_with("exit 255\n")) << r.out;
    }
    const std::vector<std::string> said = promised(Lines(root_.ReadFile("work/said-keep.txt")));
    EXPECT_GT(said.size(), 8u);
    EXPECT_EQ(WritesFoundNowhere(said, {w + "/kept"}), std::vector<std::string>{}) << "of " << said.size();
}

// A revert records what it discards before it takes the edit folder: a program inside the folder that appends a
// line to each of 20 files among 2000 as soon as the folder has left its path loses none of them. They are kept
// in the backups of uncommitted work, said in a warning.
TEST_F(LostWorkE2E, WhatIsWrittenAfterARevertTookTheFolderIsKept)
{
    const std::string kuid = "<kuid:900690:1>", edit = "UserData/editing/kuid 900690 1";
    WriteAssetFolder(root_, "many", kuid, 2000, "x");
    ASSERT_EQ(Run({"installfrompath", "many"}).exitCode, 0);
    ASSERT_EQ(Run({"edit", kuid}).exitCode, 0);
    for (int i = 0; i < 20; ++i) root_.WriteFile(edit + "/w" + std::to_string(i) + ".txt", "before\n");
    // Waits (a bounded number of looks) until its folder has left the path $1, then appends "after-N" to wN.txt
    // and says each append that succeeded.
    RunningProgram writer("/bin/sh",
                          {"-c",
                           "n=0; while [ -e \"$1\" ] && [ $n -lt 3000000 ]; do n=$((n+1)); done; i=0\n"
                           "while [ $i -lt 20 ]; do { echo after-$i >>w$i.txt; } 2>/dev/null && echo w$i.txt; "
                           "i=$((i+1)); done",
                           "sh", root_.Path(edit)},
                          RunOptions::In(root_.Path(edit)));
    const RunResult r = Run({"revert", kuid});
    const std::vector<std::string> said = Lines(writer.Wait().out);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(said.size(), 20u);
    std::map<std::string, std::string> found;  // name -> what a file of that name below UserData holds
    for (const std::string& file : FilesBelow(root_.Path("UserData")))
        if (fs::path(file).filename().string()[0] == 'w')
            found[fs::path(file).filename()] += root_.ReadFile("UserData/" + file);
    for (const std::string& name : said)
        EXPECT_TRUE(Has(found[name], "after-" + name.substr(1, name.size() - 5))) << name << "\n" << r.out;
    EXPECT_TRUE(Has(r.out, "were written after it was taken, or were still open in another program, were kept in '"))
        << r.out;
}

// An edit whose folder its user removed by hand: a commit fails saying the folder is gone, an edit makes the folder
// again from the installed copy and says so, and a revert says there was no folder to discard.
TEST_F(LostWorkE2E, AnEditWhoseFolderWasRemovedByHandIsMadeAgainOrSaidToBeGone)
{
    const std::string kuid = "<kuid:900695:1>", edit = "UserData/editing/kuid 900695 1";
    const std::string local = "UserData/local/kuid 900695 1";
    WriteAssetFolder(root_, "gone", kuid, 2, "installed");
    ASSERT_EQ(Run({"installfrompath", "gone"}).exitCode, 0);
    ASSERT_EQ(Run({"edit", kuid}).exitCode, 0);
    fs::remove_all(root_.Path(edit));
    const std::string gone = "The edit folder of asset " + kuid + ", '" + root_.Path(edit) + "', is gone";

    const RunResult r = Run({"commit", kuid});
    ExpectFailedRun(r);
    EXPECT_TRUE(Has(r.out, "- " + kuid + " : " + gone + "; nothing was committed.")) << r.out;

    EXPECT_EQ(Run({"edit", kuid}).out, "+ " + kuid + " : " + root_.Path(edit) + "\n! " + kuid + " : " + gone +
                                           ": it was made again from the installed copy.\nOK (0 Errors, 1 Warnings)\n");
    EXPECT_TRUE(CopyHolds(root_, edit, 2, "installed"));
    root_.WriteFile(edit + "/f000.txt", "edited");
    EXPECT_EQ(Run({"commit", kuid}).out, kOK);
    EXPECT_EQ(root_.ReadFile(local + "/f000.txt"), "edited");

    ASSERT_EQ(Run({"edit", kuid}).exitCode, 0);
    fs::remove_all(root_.Path(edit));
    EXPECT_EQ(Run({"revert", kuid}).out,
              "! " + kuid + " : " + gone + ": there was nothing to discard.\nOK (0 Errors, 1 Warnings)\n");
}

// With the backups on a tmpfs of their own, start-up copies an edit folder without an edit there whole; on a full
// one it leaves the folder, and an edit fails saying why.
TEST_F(LostWorkE2E, StartUpKeepsAFolderWholeAcrossFileSystemsOrLeavesIt)
{
    ASSERT_NO_FATAL_FAILURE(InstallTextured());
    root_.StopProcesses();
    ASSERT_NO_FATAL_FAILURE(WriteEveryKindOfEntry(root_, kEditedFolder + "/sub"));
    const std::string e = root_.Path(kEditedFolder), status = "\"$T\" status \"" + kEdited + "\" >/dev/null\n";
    const std::string script =
        "R=\"$1\"; B=\"$R/UserData/backups\"; T=\"$R/bin/VelmarUtil\"\nmkdir -p \"$B\"\n"
        "mount -t tmpfs -o size=16m tmpfs \"$B\" || exit " +
        std::to_string(kMountRefused) + "\n" + status +
        "(cd \"$B\"/uncommitted/*/*/sub && find . -printf '%y %p\\n' | sort && cat notes*); ls -A "
        "\"$R/UserData/editing\"\n"
        "\"$T\" closevaddaemon >/dev/null 2>&1\n"
        "mount -t tmpfs -o size=2m tmpfs \"$B\" && head -c 4m /dev/zero >\"$B/filler\" 2>/dev/null\n"
        "mkdir \"$1/" +
        kEditedFolder + "\" && echo my work >\"$1/" + kEditedFolder + "/mywork.txt\"\n" + status + "\"$T\" edit \"" +
        kEdited + "\"; echo \"exit $?\"; \"$T\" closevaddaemon >/dev/null 2>&1\n";
    RunOptions options = RunOptions::In(root_.Path("work"));
    options.timeoutMs = 120000;
    const RunResult r = RunInMountNamespace(script, {root_.Root()}, options);
    if (CannotMakeMountNamespace(r)) GTEST_SKIP() << "cannot mount a tmpfs in a mount namespace here: " << r.err;
    EXPECT_EQ(r.out, "d .\nf ./notes\\v2.txt\nl ./latest\np ./pipe\nsecond notes- " + kEdited + " : Asset " + kEdited +
                         " was not opened for editing: '" + e +
                         "', an edit folder of it that no open edit made, could "
                         "not be kept in a backup (keeping '" +
                         e +
                         "/mywork.txt' failed: No space left on device); "
                         "nothing was changed.\nOK (1 Errors, 0 Warnings)\nexit 255\n")
        << r.err;
    EXPECT_EQ(FilesBelow(e), std::vector<std::string>{"mywork.txt"});
    EXPECT_TRUE(Has(root_.ReadFile("UserData/settings/vaddaemon.log"), "has no edit and could not be set aside"));
}

}  // namespace
}  // namespace e2e
