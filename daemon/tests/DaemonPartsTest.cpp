// The daemon's parts without a running daemon: path checks, folder replacement and its leftovers,
// backups, the store, and category codes.
#include "DaemonHarness.h"

#include "assetdb/VADSentBatch.h"
#include "core/ConfigFile.h"
#include "daemon/AssetDatabase.h"
#include "daemon/AssetFolderReader.h"
#include "daemon/AssetStore.h"
#include "daemon/DaemonRoot.h"
#include "daemon/FolderOps.h"
#include "daemon/InternedNames.h"
#include "daemon/RequestHandlers.h"
#include "daemon/SentOutcomes.h"
#include "platform/FileLease.h"
#include "platform/OutputFlush.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

namespace fs = std::filesystem;

namespace {

using Platform::OwnWorkKind;

// The registers in `registers` as a start-up reads them, once `work` is recorded there as an ended process's.
Platform::EndedOwnWork EndedWith(const std::string& registers, const std::vector<EndedWork>& work)
{
    RecordEndedWork(registers, work);
    return Platform::EndedOwnWork(registers);
}

// A binary configuration file of a KUID and a user name.
void WriteChump(const std::string& file, const KUID& kuid, const std::string& username)
{
    TDBTagRef tree = TDBTagRef::NewContainer();
    tree.SetChildKUID("kuid", kuid);
    tree.SetChildString("username", username);
    fs::create_directories(fs::path(file).parent_path());
    ASSERT_TRUE(SaveConfigFile(tree, "", file));
}

TEST(DaemonPaths, ClientPathsStayInside)
{
    EXPECT_TRUE(IsSafeRelativePath("kuid 1 2/sub/file.txt"));
    EXPECT_TRUE(IsSafeRelativePath("folder/"));
    for (const char* bad : {"", "/etc", "../x", "a/../../b", "a//b", "a/./b", "a\\b", "..", "x/.."})
        EXPECT_FALSE(IsSafeRelativePath(bad)) << bad;
    EXPECT_FALSE(IsSafeRelativePath(std::string_view("a\0b", 3)));
    EXPECT_FALSE(IsSafeFileName("a/b"));
    EXPECT_FALSE(IsSafeFileName("..hidden"));

    EXPECT_EQ(NormalisePath("/a/b/../c/./d/"), "/a/c/d");
    EXPECT_EQ(NormalisePath("/../.."), "/");
    EXPECT_EQ(NormalisePath("relative"), "");
    EXPECT_TRUE(IsPathInside("/root/UserData/local/x", "/root/UserData"));
    EXPECT_TRUE(IsPathInside("/root/UserData", "/root/UserData/"));
    EXPECT_FALSE(IsPathInside("/root/UserDataX/y", "/root/UserData"));
    EXPECT_FALSE(IsPathInside("/root/UserData/../bin", "/root/UserData"));

    DaemonRoot root("/inst");
    EXPECT_EQ(root.LocalFolder(KUID(5, 6, 0)), "/inst/UserData/local/kuid 5 6");
    EXPECT_EQ(root.EditFolder(KUID(5, 6, 3)), "/inst/UserData/editing/kuid2 5 6 3");
    EXPECT_EQ(root.SourceFolder("builtin"), "/inst/builtin");
    EXPECT_EQ(root.SourceFolder("data"), "/inst/Data");
    EXPECT_EQ(root.SourceFolder("../x"), "");
}

TEST(DaemonFolders, SwapAndLeftoversAfterACrash)
{
    TempDir d;
    const std::string target = d.path() + "/assets/asset", registers = d.path() + "/own-work";
    WriteFile(d.path() + "/v1/f", "one");
    WriteFile(d.path() + "/v2/f", "two");
    std::string staged, aside;
    ASSERT_TRUE(StageFolderCopy(d.path() + "/v1", target, staged));
    EXPECT_EQ(staged, TempFolderFor(target));
    ASSERT_TRUE(SwapInFolder(target, staged, nullptr, &aside));
    EXPECT_EQ(aside, "");
    EXPECT_EQ(ReadFile(target + "/f"), "one");
    // Folders of the daemon's names that it did not make: never removed, renamed or used at start-up.
    WriteFile(d.path() + "/assets/.vadtmp-other/f", "the user's");
    WriteFile(d.path() + "/assets/.vadold-other/f", "the user's");

    // Cut short after the old copy went aside: the start-up puts it back, the sweep removes the staged copy.
    ASSERT_TRUE(StageFolderCopy(d.path() + "/v2", target, staged));
    fs::rename(target, OldFolderFor(target));
    {
        Platform::EndedOwnWork ended =
            EndedWith(registers, {{OwnWorkKind::kTree, staged}, {OwnWorkKind::kAside, OldFolderFor(target), target}});
        EXPECT_EQ(CleanupFolderLeftovers(d.path() + "/assets", {}, ended), std::vector<std::string>{"restored asset"});
        EXPECT_EQ(ended.Sweep().size(), 1u);  // the staged copy removed
    }
    EXPECT_EQ(ReadFile(target + "/f"), "one");
    EXPECT_FALSE(fs::exists(TempFolderFor(target)));

    // Cut short after the new copy was in place: the old one is dropped.
    ASSERT_TRUE(StageFolderCopy(d.path() + "/v2", target, staged));
    ASSERT_TRUE(SwapInFolder(target, staged, nullptr, &aside));
    EXPECT_EQ(aside, OldFolderFor(target));
    {
        Platform::EndedOwnWork ended = EndedWith(registers, {{OwnWorkKind::kAside, aside, target}});
        EXPECT_EQ(CleanupFolderLeftovers(d.path() + "/assets", {}, ended).size(), 1u);
        EXPECT_EQ(ended.Sweep(), std::vector<std::string>{});
    }
    EXPECT_EQ(ReadFile(target + "/f"), "two");
    EXPECT_FALSE(fs::exists(OldFolderFor(target)));
    EXPECT_TRUE(fs::is_empty(registers));

    for (const char* name : {".vadtmp-other", ".vadold-other"})
        EXPECT_EQ(ReadFile(d.path() + "/assets/" + std::string(name) + "/f"), "the user's") << name;

    UndoSwap(target, "");  // nothing aside: the target goes
    EXPECT_FALSE(fs::exists(target));
}

TEST(DaemonFolders, CopySkipsLinksAndBackupsAreThinned)
{
    TempDir d;
    WriteFile(d.path() + "/src/a/b.txt", "b");
    fs::create_symlink("/etc/passwd", d.path() + "/src/link");
    ASSERT_TRUE(CopyFolderTree(d.path() + "/src", d.path() + "/dst"));
    EXPECT_EQ(ReadFile(d.path() + "/dst/a/b.txt"), "b");
    EXPECT_FALSE(fs::exists(fs::symlink_status(d.path() + "/dst/link")));
    EXPECT_FALSE(CopyFolderTree(d.path() + "/missing", d.path() + "/x"));

    for (const char* s : {"20200101-000000", "20200102-000000", "not-a-backup"})
        fs::create_directories(d.path() + "/b/" + s);
    ASSERT_TRUE(BackupFolder(d.path() + "/src", d.path() + "/b", "kuid 1 2", 2));
    std::vector<std::string> left = ListBackupFolders(d.path() + "/b");
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0], "20200102-000000");
    EXPECT_EQ(ReadFile(d.path() + "/b/" + left[1] + "/kuid 1 2/a/b.txt"), "b");
    EXPECT_TRUE(fs::exists(d.path() + "/b/not-a-backup"));
}

// A copy that cannot be written names the file or folder it was writing, not the one it copied from.
TEST(DaemonFolders, ACopyThatFailsNamesTheSideAtFault)
{
    TempDir d;
    WriteFile(d.path() + "/src/a/b.txt", "b");
    WriteFile(d.path() + "/src/c.txt", "c");
    // Where the file should go lies a folder: writing it fails.
    fs::create_directories(d.path() + "/dst/c.txt");
    std::string error;
    EXPECT_FALSE(CopyFolderTree(d.path() + "/src", d.path() + "/dst/", &error));
    EXPECT_EQ(error, "writing '" + d.path() + "/dst/c.txt' failed: Is a directory");
    // A folder of the copy that cannot be made.
    fs::remove_all(d.path() + "/dst");
    WriteFile(d.path() + "/dst/a", "a file where a folder goes");
    EXPECT_FALSE(CopyFolderTree(d.path() + "/src", d.path() + "/dst", &error));
    EXPECT_EQ(error.rfind("writing '" + d.path() + "/dst/a' failed: ", 0), 0u) << error;
}

// Whatever bits the source has, a copy (made, linked or prepared where it lies) has the owner's and reading and
// running for others, never set-user-ID, set-group-ID, sticky or write for others.
TEST(DaemonFolders, CopiesKeepOnlyTheOwnersModeBits)
{
    TempDir d;
    auto mode = [](const std::string& p) {
        struct stat st
        {};
        EXPECT_EQ(lstat(p.c_str(), &st), 0) << p;
        return st.st_mode & 07777;
    };
    for (const char* src : {"/src", "/cache/staged"})
    {
        WriteFile(d.path() + src + "/suid", "x");
        WriteFile(d.path() + src + "/open", "x");
        WriteFile(d.path() + src + "/sub/f", "x");
        ASSERT_EQ(chmod((d.path() + src + "/suid").c_str(), 06755), 0);
        ASSERT_EQ(chmod((d.path() + src + "/open").c_str(), 0666), 0);
        ASSERT_EQ(chmod((d.path() + src + "/sub").c_str(), 01777), 0);
    }
    for (bool link : {false, true})
    {
        const std::string to = d.path() + (link ? "/linked" : "/copied");
        ASSERT_TRUE(CopyFolderTree(d.path() + "/src", to, nullptr, nullptr, nullptr, link));
        EXPECT_EQ(mode(to + "/suid"), 0755u);
        EXPECT_EQ(mode(to + "/open"), 0644u);
        EXPECT_EQ(mode(to + "/sub") & ~0755u, 0u);
    }
    EXPECT_EQ(mode(d.path() + "/src/suid"), 06755u);  // the source is not changed by a link
    struct stat st
    {};
    ASSERT_EQ(stat(d.path().c_str(), &st), 0);
    ASSERT_TRUE(PrepareStagedFolder(d.path() + "/cache/staged", st.st_dev));
    EXPECT_EQ(mode(d.path() + "/cache/staged/suid"), 0755u);
    EXPECT_EQ(mode(d.path() + "/cache/staged/open"), 0644u);
    EXPECT_EQ(mode(d.path() + "/cache/staged/sub") & ~0755u, 0u);
}

// A swap cut short before its exchange leaves the old copy in place and the new one beside it, which the
// start-up removes; an undone swap puts the old copy back in one step.
TEST(DaemonFolders, TheTargetIsNeverMissingAroundASwap)
{
    TempDir d;
    const std::string target = d.path() + "/asset", registers = d.path() + "/own-work";
    WriteFile(d.path() + "/v1/f", "one");
    WriteFile(d.path() + "/v2/f", "two");
    std::string staged, aside;
    ASSERT_TRUE(StageFolderCopy(d.path() + "/v1", target, staged));
    ASSERT_TRUE(SwapInFolder(target, staged));
    ASSERT_TRUE(StageFolderCopy(d.path() + "/v2", target, staged));
    fs::rename(staged, OldFolderFor(target));  // where a kill before the exchange leaves it, noted as made
    {
        Platform::EndedOwnWork ended = EndedWith(registers, {{OwnWorkKind::kTree, OldFolderFor(target)}});
        EXPECT_TRUE(CleanupFolderLeftovers(
                        d.path(), [](const std::string&) { return true; }, ended)
                        .empty());
        EXPECT_EQ(ended.Sweep().size(), 1u);
    }
    EXPECT_EQ(ReadFile(target + "/f"), "one");
    EXPECT_FALSE(fs::exists(OldFolderFor(target)));

    ASSERT_TRUE(StageFolderCopy(d.path() + "/v2", target, staged));
    ASSERT_TRUE(SwapInFolder(target, staged, nullptr, &aside));
    EXPECT_EQ(aside, OldFolderFor(target));
    EXPECT_EQ(ReadFile(target + "/f"), "two");
    EXPECT_EQ(ReadFile(aside + "/f"), "one");
    EXPECT_TRUE(UndoSwap(target, aside));
    EXPECT_EQ(ReadFile(target + "/f"), "one");
    EXPECT_FALSE(fs::exists(aside));
    EXPECT_TRUE(Platform::SyncFileSystems({d.path(), d.path() + "/missing"}));
}

// Replacements of one asset within a second keep every earlier copy; thinning and crashes leave nothing
// that looks like a backup but is not whole.
TEST(DaemonFolders, BackupsAreNeverOverwrittenAndThinnedOnlyWhole)
{
    TempDir d;
    std::vector<std::string> made;
    for (char version : {'1', '2', '3'})
    {
        WriteFile(d.path() + "/src/v.txt", std::string(1, version));
        std::string at;
        ASSERT_TRUE(BackupFolder(d.path() + "/src", d.path() + "/b", "kuid 1 2", 100, nullptr, &at));
        made.push_back(at);
    }
    ASSERT_EQ(ListBackupFolders(d.path() + "/b").size(), 3u);
    for (size_t i = 0; i < made.size(); ++i) EXPECT_EQ(ReadFile(made[i] + "/v.txt"), std::string(1, char('1' + i)));

    ASSERT_TRUE(BackupFolder(d.path() + "/src", d.path() + "/b", "kuid 1 2", 2));
    std::vector<std::string> left = ListBackupFolders(d.path() + "/b");
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(d.path() + "/b/" + left[0] + "/kuid 1 2", made[2]);
    for (const auto& e : fs::directory_iterator(d.path() + "/b")) EXPECT_NE(e.path().filename().string()[0], '.');

    // What a crash during a copy or a removal leaves is hidden, and cleared at the next start where the daemon
    // recorded it as its own; folders of the same names that it did not record stay.
    const std::string registers = d.path() + "/own-work";
    fs::create_directories(d.path() + "/b/.vaddel-20200101-000000/kuid 1 2");
    fs::create_directories(d.path() + "/b/" + left[1] + "/.vadtmp-kuid 1 3");
    fs::create_directories(d.path() + "/b/.vaddel-20200103-000000/kuid 1 2");
    fs::create_directories(d.path() + "/b/" + left[1] + "/.vadtmp-kuid 1 4");
    EXPECT_EQ(ListBackupFolders(d.path() + "/b").size(), 2u);
    {
        Platform::EndedOwnWork ended =
            EndedWith(registers, {{OwnWorkKind::kTree, d.path() + "/b/.vaddel-20200101-000000"},
                                  {OwnWorkKind::kTree, d.path() + "/b/" + left[1] + "/.vadtmp-kuid 1 3"}});
        EXPECT_EQ(CleanupBackupLeftovers(d.path() + "/b", ended).size(), 2u);
        EXPECT_EQ(ended.Sweep(), std::vector<std::string>{});
    }
    EXPECT_FALSE(fs::exists(d.path() + "/b/.vaddel-20200101-000000"));
    EXPECT_FALSE(fs::exists(d.path() + "/b/" + left[1] + "/.vadtmp-kuid 1 3"));
    EXPECT_TRUE(fs::exists(d.path() + "/b/.vaddel-20200103-000000/kuid 1 2"));
    EXPECT_TRUE(fs::exists(d.path() + "/b/" + left[1] + "/.vadtmp-kuid 1 4"));
}

// Work that was never committed is the user's only copy: kept apart from the installed copies, it is neither
// counted nor removed by thinning. What an earlier version kept among them is moved out of a dated folder before
// that goes (the folder stays when it cannot be), and out of a removal such a version left unfinished.
TEST(DaemonFolders, ThinningNeverTakesWorkThatWasNeverCommitted)
{
    TempDir d;
    const std::string b = d.path() + "/b";
    WriteFile(d.path() + "/src/v.txt", "new");
    std::string at;
    ASSERT_TRUE(KeepUncommittedWork(d.path() + "/src", b, "kuid 1 1 (uncommitted edit)", false, nullptr, &at));
    EXPECT_EQ(fs::path(at).parent_path().parent_path().string(), b + "/uncommitted");
    WriteFile(b + "/20200101-000000/kuid 1 2/v.txt", "old");
    WriteFile(b + "/20200101-000000/kuid 1 3 (earlier edit folder)/w.txt", "W3");
    WriteFile(b + "/20200102-000000/kuid 1 4 (edit folder without an edit)/w.txt", "W4");
    WriteFile(b + "/20200103-000000/kuid 1 5/v.txt", "old");
    WriteFile(b + "/20200103-000000/kuid 1 5 (uncommitted edit)/w.txt", "W5");
    fs::create_directories(b + "/uncommitted/20200103-000000/kuid 1 5 (uncommitted edit)/taken");

    std::string made;
    std::vector<std::string> done;
    ASSERT_TRUE(BackupFolder(d.path() + "/src", b, "kuid 1 2", 1, nullptr, &made, &done));
    EXPECT_EQ(ReadFile(b + "/uncommitted/20200101-000000/kuid 1 3 (earlier edit folder)/w.txt"), "W3");
    EXPECT_EQ(ReadFile(b + "/20200102-000000/kuid 1 4 (edit folder without an edit)/w.txt"), "W4");
    // Its place in the uncommitted backups is taken: the folder stays whole, and the log says why.
    EXPECT_EQ(ReadFile(b + "/20200103-000000/kuid 1 5 (uncommitted edit)/w.txt"), "W5");
    EXPECT_EQ(ReadFile(b + "/20200103-000000/kuid 1 5/v.txt"), "old");
    EXPECT_EQ(ReadFile(at + "/v.txt"), "new");
    const std::string dated = fs::path(made).parent_path().filename().string();
    EXPECT_EQ(ListBackupFolders(b), (std::vector<std::string>{"20200102-000000", "20200103-000000", dated}));
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[1].rfind("kept " + b + "/20200103-000000: kuid 1 5 (uncommitted edit) could not be moved", 0), 0u)
        << done[1];

    WriteFile(b + "/.vaddel-20200104-000000/kuid 1 6 (earlier edit folder)/w.txt", "W6");
    WriteFile(b + "/.vaddel-20200104-000000/kuid 1 6/v.txt", "old");
    WriteFile(b + "/uncommitted/" + dated + "/.vadtmp-kuid 1 7 (uncommitted edit)/w.txt", "cut short");
    Platform::EndedOwnWork ended =
        EndedWith(d.path() + "/own-work",
                  {{OwnWorkKind::kTree, b + "/.vaddel-20200104-000000"},
                   {OwnWorkKind::kTree, b + "/uncommitted/" + dated + "/.vadtmp-kuid 1 7 (uncommitted edit)"}});
    EXPECT_EQ(CleanupBackupLeftovers(b, ended).size(), 3u);
    EXPECT_EQ(ReadFile(b + "/uncommitted/20200104-000000/kuid 1 6 (earlier edit folder)/w.txt"), "W6");
    EXPECT_FALSE(fs::exists(b + "/.vaddel-20200104-000000"));
    EXPECT_FALSE(fs::exists(b + "/uncommitted/" + dated + "/.vadtmp-kuid 1 7 (uncommitted edit)"));
    EXPECT_EQ(ReadFile(at + "/v.txt"), "new");
}

// A keep cut short leaves the folder as ".vadkeep-": start-up gives it back, or keeps it when a folder was made
// in its place meanwhile.
TEST(DaemonFolders, AKeepCutShortGivesTheFolderBackOrKeepsItFromWhereItIs)
{
    TempDir d;
    const std::string e = d.path() + "/editing", b = d.path() + "/backups";
    WriteFile(KeepingFolderFor(e + "/kuid 1 1") + "/w.txt", "W1");
    WriteFile(KeepingFolderFor(e + "/kuid 1 2") + "/w.txt", "W2");
    WriteFile(e + "/kuid 1 2/v.txt", "made meanwhile");
    WriteFile(KeepingFolderFor(e + "/kuid 1 3") + "/w.txt", "not the daemon's");
    Platform::EndedOwnWork ended =
        EndedWith(d.path() + "/own-work", {{OwnWorkKind::kAside, KeepingFolderFor(e + "/kuid 1 1"), e + "/kuid 1 1"},
                                           {OwnWorkKind::kAside, KeepingFolderFor(e + "/kuid 1 2"), e + "/kuid 1 2"}});
    EXPECT_EQ(CleanupKeepLeftovers(e, b, ended).size(), 2u);
    EXPECT_EQ(ReadFile(KeepingFolderFor(e + "/kuid 1 3") + "/w.txt"), "not the daemon's");
    EXPECT_FALSE(fs::exists(e + "/kuid 1 3"));
    EXPECT_EQ(ReadFile(e + "/kuid 1 1/w.txt"), "W1");
    EXPECT_EQ(ReadFile(e + "/kuid 1 2/v.txt"), "made meanwhile");
    int kept = 0;
    for (const auto& dated : fs::directory_iterator(b + "/uncommitted"))
        kept += ReadFile((dated.path() / "kuid 1 2 (edit folder without an edit)/w.txt").string()) == "W2";
    EXPECT_EQ(kept, 1);
    EXPECT_FALSE(fs::exists(KeepingFolderFor(e + "/kuid 1 2")));
}

// A folder taken from its user loses only what the copy that read it (or the record made when it was taken) holds,
// as it was read: an entry changed, replaced or added since, or a file open in another program, stays, and so do
// the folders that hold it. Where the copy gave the files a second name, the installed copy is that very file, so
// a change to it in place is installed too and the name goes.
TEST(DaemonFolders, ATakenFolderLosesOnlyWhatItsCopyRead)
{
    TempDir d;
    const bool leases = Platform::LeasesWorkIn(d.path().c_str());
    using Copy = std::function<TakenRecord(const std::string& from, const std::string& to)>;
    auto tree = [](bool link) {
        return [link](const std::string& from, const std::string& to) {
            TakenRecord r;
            EXPECT_TRUE(CopyFolderTree(from, to, nullptr, nullptr, nullptr, link, &r));
            return r;
        };
    };
    const std::vector<std::pair<std::string, Copy>> copies = {
        {"a copy to install", tree(false)},
        {"second names to install", tree(true)},
        {"a whole copy kept",
         [](const std::string& from, const std::string& to) {
             TakenRecord r;
             EXPECT_TRUE(KeepUncommittedWork(from, to, "kept", false, nullptr, nullptr, &r));
             return r;
         }},
        {"a record when taken", [](const std::string& from, const std::string&) { return RecordTakenFolder(from); }},
    };
    int held = -1;
    struct Change
    {
        std::string file;
        bool before;                                          // there when it is copied, holding "orig"
        std::function<void(const std::string& path)> change;  // after the copy
        bool stays;
        bool staysLinked;
    };
    const std::vector<Change> changes = {
        {"same.txt", true, [](const std::string&) {}, false, false},
        {"sub/same.txt", true, [](const std::string&) {}, false, false},
        {"grown.txt", true, [](const std::string& p) { std::ofstream(p, std::ios::app) << "more"; }, true, false},
        {"rewritten.txt", true, [](const std::string& p) { std::ofstream(p, std::ios::in | std::ios::out) << "REWR"; },
         true, false},
        {"touched.txt", true,
         [](const std::string& p) {
             const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
             ::utimensat(AT_FDCWD, p.c_str(), times, 0);
         },
         true, false},
        {"replaced.txt", true,
         [](const std::string& p) {
             WriteFile(p + ".new", "orig");
             fs::rename(p + ".new", p);
         },
         true, true},
        {"new.txt", false, [](const std::string& p) { WriteFile(p, "new"); }, true, true},
        {"newsub/new.txt", false, [](const std::string& p) { WriteFile(p, "new"); }, true, true},
        {"emptysub", false, [](const std::string& p) { fs::create_directory(p); }, true, true},
        {"held.txt", true, [&](const std::string& p) { held = ::open(p.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC); },
         leases, false},
    };
    for (size_t k = 0; k < copies.size(); ++k)
    {
        SCOPED_TRACE(copies[k].first);
        const std::string from = d.path() + "/" + std::to_string(k) + "/taken";
        for (const Change& c : changes)
            if (c.before) WriteFile(from + "/" + c.file, "orig");
        const std::string to = d.path() + "/" + std::to_string(k) + "/copy";
        const TakenRecord record = copies[k].second(from, to);
        // Where no second name can be made the files are copied.
        const bool linked = k == 1 && fs::equivalent(from + "/grown.txt", to + "/grown.txt");
        for (const Change& c : changes) c.change(from + "/" + c.file);
        const TakenRemoval removal = RemoveTakenEntries(from, record);
        ::close(held);
        for (const Change& c : changes)
            EXPECT_EQ(fs::exists(from + "/" + c.file), linked ? c.staysLinked : c.stays) << c.file;
        EXPECT_FALSE(fs::exists(from + "/sub"));
        EXPECT_FALSE(removal.gone);
        EXPECT_EQ(removal.error, 0);
        // Recorded as it is now, the rest goes, and the folder with it.
        EXPECT_TRUE(RemoveTakenEntries(from, RecordTakenFolder(from)).gone);
    }
}

// A close cut short after its commit point leaves its edit folder aside, its edit no longer stored: a new start
// removes what the installed copy holds as it is (the same file, or the same size and bytes) and keeps the rest
// as an earlier edit folder. Nothing that has no other copy is removed.
TEST(DaemonFolders, AClosedEditFolderLeftAsideLosesOnlyWhatIsInstalled)
{
    TempDir d;
    const std::string e = d.path() + "/editing", local = d.path() + "/local", b = d.path() + "/backups";
    fs::create_directories(e);
    for (const char* name : {"kuid 1 1", "kuid 1 2", "kuid 1 3"})
    {
        const std::string installed = local + "/" + name, aside = ClosedEditFolderFor(e + "/" + name);
        WriteFile(installed + "/config.txt", "kuid <kuid:1:1>\n");
        WriteFile(installed + "/sub/deep.txt", "deep");
        WriteFile(installed + "/linked.txt", "linked");
        fs::copy(installed, aside, fs::copy_options::recursive);
        fs::remove(aside + "/linked.txt");
        fs::create_hard_link(installed + "/linked.txt", aside + "/linked.txt");
    }
    // 1 2: the installed copy is gone (a delete's); 1 3: the edit folder had changed when its close was cut short.
    fs::remove_all(local + "/kuid 1 2");
    const std::string changed = ClosedEditFolderFor(e + "/kuid 1 3");
    WriteFile(changed + "/sub/deep.txt", "DEEP");
    WriteFile(changed + "/mine.txt", "the user's");
    fs::create_directory(changed + "/empty");
    fs::create_symlink("mine.txt", changed + "/link");

    std::vector<EndedWork> recorded;
    for (const char* name : {"kuid 1 1", "kuid 1 2", "kuid 1 3"})
        recorded.push_back({OwnWorkKind::kAside, ClosedEditFolderFor(e + "/" + name), e + "/" + name});
    Platform::EndedOwnWork ended = EndedWith(d.path() + "/own-work", recorded);
    // One of that name that the daemon did not set aside stays as it is.
    WriteFile(ClosedEditFolderFor(e + "/kuid 1 4") + "/w.txt", "not the daemon's");
    const std::vector<std::string> done = CleanupClosedEdits(
        e, local, b, [](const std::string&) { return false; }, ended);
    EXPECT_EQ(ReadFile(ClosedEditFolderFor(e + "/kuid 1 4") + "/w.txt"), "not the daemon's");
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(
        std::count_if(done.begin(), done.end(),
                      [](const std::string& l) { return l.find("the installed copy holds all of it") != l.npos; }),
        1);
    for (const char* name : {"kuid 1 1", "kuid 1 2", "kuid 1 3"})
        EXPECT_FALSE(fs::exists(ClosedEditFolderFor(e + "/" + name))) << name;
    EXPECT_TRUE(KeptAs(b, "kuid 1 1 (earlier edit folder)").empty());
    const std::vector<std::string> whole = KeptAs(b, "kuid 1 2 (earlier edit folder)");
    ASSERT_EQ(whole.size(), 1u);
    for (const char* file : {"config.txt", "linked.txt", "sub/deep.txt"})
        EXPECT_TRUE(fs::exists(whole[0] + "/" + file));
    const std::vector<std::string> rest = KeptAs(b, "kuid 1 3 (earlier edit folder)");
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(ReadFile(rest[0] + "/sub/deep.txt"), "DEEP");
    EXPECT_EQ(ReadFile(rest[0] + "/mine.txt"), "the user's");
    EXPECT_TRUE(fs::is_directory(rest[0] + "/empty"));
    EXPECT_TRUE(fs::is_symlink(rest[0] + "/link"));
    EXPECT_FALSE(fs::exists(rest[0] + "/config.txt"));
    EXPECT_FALSE(fs::exists(rest[0] + "/linked.txt"));
    EXPECT_EQ(ReadFile(local + "/kuid 1 3/linked.txt"), "linked");
}

TEST(DaemonStore, RecordsEditsAndSettingsRoundTrip)
{
    TempDir d;
    std::string path = d.path() + "/assets.tdx";
    AssetRecord r;
    r.kuid = KUID(-3, 77, 2);
    r.source = "builtin";
    r.folder = "builtin/p/a";
    r.username = "Name \"quoted\" ' text";
    r.build = 4.6f;
    r.installTime = 1700000000;
    r.validation = kValidationFailed;
    r.dependencies = {KUID(1, 2, 0), KUID(3, 4, 5)};
    r.obsoletes = {KUID(-3, 77, 1)};
    uint32_t handle = 0;
    {
        AssetStore s;
        ASSERT_TRUE(s.Open(path));
        ASSERT_TRUE(s.PutAsset(r));
        EditRecord e;
        e.kuid = KUID(9, 9, 0);
        e.created = true;
        e.name = "new";
        ASSERT_TRUE(s.AddEdit(e));
        handle = e.handle;
        EditRecord second;
        second.kuid = e.kuid;
        EXPECT_FALSE(s.AddEdit(second));  // one edit per asset
        ASSERT_TRUE(s.PutSettingsGroup("internet", {1, 2, 3}));
        ASSERT_TRUE(s.PutAuthor(12, "Someone"));
    }
    AssetStore s;
    ASSERT_TRUE(s.Open(path));
    std::vector<AssetRecord> recs;
    ASSERT_TRUE(s.LoadAssets(recs));
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].kuid, r.kuid);
    EXPECT_EQ(recs[0].username, r.username);
    EXPECT_FLOAT_EQ(recs[0].build, 4.6f);
    EXPECT_EQ(recs[0].installTime, 1700000000u);
    EXPECT_EQ(recs[0].validation, kValidationFailed);
    EXPECT_EQ(recs[0].dependencies, r.dependencies);
    EXPECT_EQ(recs[0].obsoletes, r.obsoletes);
    std::vector<EditRecord> edits;
    ASSERT_TRUE(s.LoadEdits(edits));
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0].handle, handle);
    EXPECT_TRUE(edits[0].created);
    std::vector<uint8_t> tree;
    ASSERT_EQ(s.GetSettingsGroup("internet", tree), StoreRead::kFound);
    EXPECT_EQ(tree, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(s.GetSettingsGroup("other", tree), StoreRead::kNotStored);
    std::string name;
    EXPECT_EQ(s.GetAuthor(12, name), StoreRead::kFound);
    EXPECT_EQ(name, "Someone");

    // A handle is never handed out twice, even after its edit is gone.
    ASSERT_TRUE(s.DeleteEdit(handle));
    EditRecord again;
    again.kuid = KUID(9, 9, 0);
    ASSERT_TRUE(s.AddEdit(again));
    EXPECT_GT(again.handle, handle);

    ASSERT_TRUE(s.DeleteAsset(r.kuid));
    recs.clear();
    ASSERT_TRUE(s.LoadAssets(recs));
    EXPECT_TRUE(recs.empty());
}

// Putting an asset again replaces its lists, whether or not its store had lists when the transaction began.
TEST(DaemonStore, PuttingAnAssetAgainReplacesItsLists)
{
    TempDir d;
    AssetStore s;
    ASSERT_TRUE(s.Open(d.path() + "/assets.tdx"));
    AssetRecord a, b;
    a.kuid = KUID(1, 1, 0);
    b.kuid = KUID(2, 2, 0);
    auto lists = [&](const KUID& k) {
        std::vector<AssetRecord> recs;
        EXPECT_TRUE(s.LoadAssets(recs));
        for (const AssetRecord& r : recs)
            if (r.kuid == k) return std::make_pair(r.dependencies.size(), r.obsoletes.size());
        return std::make_pair(size_t{99}, size_t{99});
    };
    const std::pair<size_t, size_t> two{2, 1}, one{1, 0};
    for (bool commit : {false, true, true})
    {
        ASSERT_TRUE(s.Begin());
        a.dependencies = {KUID(5, 5, 0), KUID(6, 6, 0)};
        a.obsoletes = {KUID(7, 7, 0)};
        ASSERT_TRUE(s.PutAsset(a));
        ASSERT_TRUE(s.PutAsset(b));
        a.dependencies = {KUID(8, 8, 0)};
        a.obsoletes.clear();
        ASSERT_TRUE(s.PutAsset(a));
        EXPECT_EQ(lists(a.kuid), one);
        a.dependencies.push_back(KUID(9, 9, 0));
        a.obsoletes = {KUID(7, 7, 0)};
        ASSERT_TRUE(s.PutAsset(a));
        EXPECT_EQ(lists(a.kuid), two);
        if (commit)
            ASSERT_TRUE(s.Commit());
        else
            s.Rollback();
    }
    ASSERT_TRUE(s.PutAsset(a));  // outside any transaction
    EXPECT_EQ(lists(a.kuid), two);
}

TEST(DaemonStore, RefusesAStoreFromANewerDaemonAndAFileThatIsNoStore)
{
    TempDir d;
    std::string path = d.path() + "/assets.tdx";
    {
        AssetStore s;
        ASSERT_TRUE(s.Open(path));
        ASSERT_TRUE(s.SetMeta("schema_version", std::to_string(kAssetStoreSchemaVersion + 1)));
    }
    AssetStore s;
    std::string error;
    EXPECT_FALSE(s.Open(path, &error));
    EXPECT_NE(error.find("newer"), std::string::npos);

    WriteFile(d.path() + "/junk.tdx", std::string(4096, 'j'));
    EXPECT_FALSE(s.Open(d.path() + "/junk.tdx"));
}

TEST(DaemonRecords, ConfigFilesAreFoundInAnyCase)
{
    TempDir d;
    for (const char* name : {"Config.txt", "CONFIG.TXT"})
    {
        std::string folder = d.path() + "/" + name;
        WriteFile(folder + "/" + name, "kuid <kuid:1:2>\nusername \"upper\"\n");
        AssetRecord r;
        ASSERT_TRUE(ReadAssetFolder(folder, r)) << name;
        EXPECT_EQ(r.username, "upper");
        EXPECT_EQ(r.configStamp.substr(0, r.configStamp.find(':')), name);
    }
    // A chump in any case still comes before an exactly named text; of two names in other cases the
    // smaller is taken, whatever the directory order.
    std::string both = d.path() + "/both";
    WriteFile(both + "/config.txt", "kuid <kuid:1:2>\nusername \"from txt\"\n");
    WriteChump(both + "/Config.Chump", KUID(1, 2, 0), "from chump");
    EXPECT_EQ(FindAssetConfig(both), both + "/Config.Chump");
    AssetRecord r;
    ASSERT_TRUE(ReadAssetFolder(both, r));
    EXPECT_EQ(r.username, "from chump");
    WriteFile(d.path() + "/two/CONFIG.txt", "kuid <kuid:1:3>\n");
    WriteFile(d.path() + "/two/Config.txt", "kuid <kuid:1:4>\n");
    EXPECT_EQ(FindAssetConfig(d.path() + "/two"), d.path() + "/two/CONFIG.txt");
    // A folder of that name is no configuration.
    fs::create_directories(d.path() + "/dir/Config.txt");
    EXPECT_EQ(FindAssetConfig(d.path() + "/dir"), "");
}

TEST(DaemonRecords, AnUnreadableConfigurationSaysWhichFileAndLine)
{
    TempDir d;
    AssetRecord r;
    std::string reason;
    EXPECT_FALSE(ReadAssetFolder(d.path(), r, &reason));
    EXPECT_EQ(reason, kNoAssetConfigReason);

    WriteFile(d.path() + "/text/config.txt", "kuid <kuid:1:2>\nkind \"scenery\"\nusername \"never closed\n");
    EXPECT_FALSE(ReadAssetFolder(d.path() + "/text", r, &reason));
    EXPECT_NE(reason.find("'" + d.path() + "/text/config.txt' line 3"), std::string::npos) << reason;

    // A binary configuration cut short is damaged; the reason names the file.
    WriteChump(d.path() + "/bin/config.chump", KUID(1, 2, 0), "a name long enough to be cut");
    std::string bytes = ReadFile(d.path() + "/bin/config.chump");
    WriteFile(d.path() + "/bin/config.chump", bytes.substr(0, bytes.size() - 5));
    EXPECT_FALSE(ReadAssetFolder(d.path() + "/bin", r, &reason));
    EXPECT_EQ(reason, "'" + d.path() + "/bin/config.chump' is damaged");

    WriteFile(d.path() + "/nokuid/config.txt", "username \"no kuid\"\n");
    EXPECT_FALSE(ReadAssetFolder(d.path() + "/nokuid", r, &reason));
    EXPECT_NE(reason.find(d.path() + "/nokuid/config.txt"), std::string::npos) << reason;

    // The key the tool knows only for a folder without a configuration; the reason otherwise.
    DaemonResults results;
    PostUnreadableAssetFolder(&results, 3, KUID::Null(), d.path(), kNoAssetConfigReason);
    PostUnreadableAssetFolder(&results, 2, KUID::Null(), d.path() + "/nokuid", reason);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].text, "$vad_unable_read_config_at");
    EXPECT_EQ(results[1].kind, 2u);
    TDBTagRef params;
    ASSERT_TRUE(VADTreeFromBytes(results[1].params, params));
    EXPECT_EQ(std::string(params.GetChildString("reason_text").View()), reason);
}

TEST(DaemonRecords, TheScanReadsAFolderAsTheGeneralPathDoes)
{
    // The scan's one listing and one open give the same configuration, record, reason, stamp and size as
    // the separate steps.
    TempDir d;
    WriteFile(d.path() + "/text/config.txt", "kuid <kuid:1:2>\nusername \"text\"\n");
    WriteFile(d.path() + "/text/sub/mesh.im", std::string(300, 'm'));
    WriteChump(d.path() + "/chump/config.chump", KUID(1, 3, 0), "chump");
    WriteFile(d.path() + "/broken/config.txt", "kuid <kuid:1:4>\nusername \"never closed\n");
    WriteFile(d.path() + "/nokuid/config.txt", "username \"no kuid\"\n");
    WriteFile(d.path() + "/target.txt", "kuid <kuid:1:5>\n");
    fs::create_directories(d.path() + "/link");
    fs::create_symlink(d.path() + "/target.txt", d.path() + "/link/config.txt");
    fs::create_directories(d.path() + "/empty");
    for (const char* name : {"text", "chump", "broken", "nokuid", "link", "empty"})
    {
        const std::string folder = d.path() + "/" + name;
        uint64_t size = 1;
        const AssetConfigFiles configs = ListAssetConfigs(folder, &size);
        EXPECT_EQ(configs.path, FindAssetConfig(folder)) << name;
        EXPECT_EQ(size, FolderSize(folder)) << name;
        AssetRecord one, general;
        std::string stamp = "x", oneReason, generalReason;
        const bool read = ReadAssetConfigStamped(configs.path, one, stamp, &oneReason);
        EXPECT_EQ(read, ReadAssetConfigAt(configs.path, general, &generalReason)) << name;
        EXPECT_EQ(oneReason, generalReason) << name;
        EXPECT_EQ(stamp, AssetConfigStampAt(configs.path)) << name;
        EXPECT_EQ(one.kuid, general.kuid) << name;
        EXPECT_EQ(one.username, general.username) << name;
    }
}

TEST(DaemonRecords, AFolderToInstallIsReadOnlyFromWhatIsOpened)
{
    // The configuration of a folder to install or commit is chosen as the scan chooses it, but read only when
    // it is a regular file when opened, and the folder itself must not be a link.
    TempDir d;
    WriteFile(d.path() + "/both/config.txt", "kuid <kuid:1:2>\nusername \"text\"\n");
    WriteChump(d.path() + "/both/Config.Chump", KUID(1, 3, 0), "chump");
    WriteFile(d.path() + "/secret.txt", "kuid <kuid:1:9>\nusername \"secret\"\n");
    fs::create_directories(d.path() + "/linked");
    fs::create_symlink(d.path() + "/secret.txt", d.path() + "/linked/config.txt");
    fs::create_directory_symlink(d.path() + "/both", d.path() + "/alias");
    WriteFile(d.path() + "/broken/config.txt", "kuid <kuid:1:4>\nusername \"never closed\n");
    AssetConfigFiles configs;
    AssetRecord rec;
    std::string reason;
    ASSERT_TRUE(ReadSourceAssetConfig(d.path() + "/both", configs, rec, &reason)) << reason;
    EXPECT_EQ(rec.kuid, KUID(1, 3, 0));
    EXPECT_EQ(configs.path, ListAssetConfigs(d.path() + "/both").path);
    EXPECT_TRUE(configs.regular);
    EXPECT_EQ(configs.unusedText, d.path() + "/both/config.txt");

    EXPECT_FALSE(ReadSourceAssetConfig(d.path() + "/linked", configs, rec, &reason));
    EXPECT_EQ(reason, "'" + d.path() + "/linked/config.txt' is a symbolic link or special file; it was not read");
    EXPECT_FALSE(ReadSourceAssetConfig(d.path() + "/alias", configs, rec, &reason));
    EXPECT_NE(reason.find("symbolic link"), std::string::npos) << reason;
    // A text that does not parse names its line, as the scan's reading does.
    EXPECT_FALSE(ReadSourceAssetConfig(d.path() + "/broken", configs, rec, &reason));
    std::string general;
    ReadAssetConfigAt(d.path() + "/broken/config.txt", rec, &general);
    EXPECT_EQ(reason, general);

    // Handing files over gives the copy a second name of exactly the file that was opened.
    WriteFile(d.path() + "/hand/f.bin", "data");
    uint64_t bytes = 0;
    ASSERT_TRUE(CopyFolderTree(d.path() + "/hand", d.path() + "/handed", nullptr, nullptr, &bytes, true));
    EXPECT_TRUE(fs::equivalent(d.path() + "/hand/f.bin", d.path() + "/handed/f.bin"));
    EXPECT_EQ(bytes, 4u);
    EXPECT_FALSE(CopyFolderTree(d.path() + "/alias", d.path() + "/x"));
}

// What is installed is the copy: its configuration replaces what was read from the folder before it was copied,
// and a copy that names another KUID (or none) is refused with both KUIDs in the reason.
TEST(DaemonRecords, TheCopysConfigurationIsWhatCounts)
{
    TempDir d;
    WriteFile(d.path() + "/src/config.txt", "kuid <kuid:1:2>\nusername \"before\"\n");
    AssetConfigFiles configs;
    AssetRecord rec;
    ASSERT_TRUE(ReadSourceAssetConfig(d.path() + "/src", configs, rec));
    WriteFile(d.path() + "/same/config.txt", "kuid <kuid:1:2>\nusername \"after\"\n");
    WriteFile(d.path() + "/other/config.txt", "kuid <kuid:1:3>\nusername \"other\"\n");
    fs::create_directories(d.path() + "/none");
    std::string reason;
    for (const char* copy : {"/other", "/none"})
    {
        EXPECT_FALSE(ConfirmCopiedAssetConfig(d.path() + copy, configs, rec, &reason)) << copy;
        EXPECT_NE(reason.find("changed while its folder was copied"), std::string::npos) << reason;
        EXPECT_EQ(rec.username, "before");
    }
    ConfirmCopiedAssetConfig(d.path() + "/other", configs, rec, &reason);
    EXPECT_NE(reason.find("<kuid:1:3>"), std::string::npos) << reason;
    EXPECT_NE(reason.find("<kuid:1:2>"), std::string::npos) << reason;
    ASSERT_TRUE(ConfirmCopiedAssetConfig(d.path() + "/same", configs, rec, &reason)) << reason;
    EXPECT_EQ(rec.username, "after");
    EXPECT_EQ(configs.path, d.path() + "/same/config.txt");
}

TEST(DaemonRecords, ConfigChumpComesBeforeConfigTxtAndCategoriesAreCoded)
{
    TempDir d;
    WriteFile(d.path() + "/a/config.txt", "kuid <kuid:1:2>\nusername \"from txt\"\ntrain-build 3.5\n");
    AssetRecord r;
    ASSERT_TRUE(ReadAssetFolder(d.path() + "/a", r));
    EXPECT_EQ(r.username, "from txt");
    EXPECT_EQ(r.build, 0.0f);  // only "velmar-build" names the build
    WriteChump(d.path() + "/a/config.chump", KUID(1, 2, 0), "from chump");
    ASSERT_TRUE(ReadAssetFolder(d.path() + "/a", r));
    EXPECT_EQ(r.username, "from chump");

    AssetRecord c;
    c.categoryClass = "ZZ;QQ";
    c.categoryRegion = "GB; AU";
    c.categoryEra = "1950s";
    EXPECT_EQ(RecordCategoryCodes(c), "ZZ;QQ;GB;AU;1950s");
}

}  // namespace

// Every request code of the protocol has exactly one row in the daemon's tables.
TEST(DaemonRequests, EveryRequestCodeHasOneRow)
{
    std::map<uint32_t, int> rows;
    for (auto table : {AssetRequestRows(), EditRequestRows(), ServiceRequestRows(), CommandHostRequestRows(),
                       DownloadStationRequestRows(), HoldRequestRows()})
        for (const RequestRow& row : table) ++rows[row.code];
    for (uint32_t code = 0; code < 0x10000; ++code)
    {
        EXPECT_EQ(rows.count(code) ? rows[code] : 0, VADIsKnownRequestCode(code) ? 1 : 0) << code;
        EXPECT_EQ(FindRequestRow(code) != nullptr, VADIsKnownRequestCode(code)) << code;
    }
}

// Tag names that nobody holds any more are freed: a stream of new names cannot grow the daemon for ever.
TEST(DaemonParts, UnusedInternedNamesAreFreed)
{
    Orvo::PStringCache& cache = Orvo::PStringCache::Instance();
    InternedNameBound bound;
    bound.Tick();
    const size_t before = cache.Count();
    for (int round = 0; round < 10; ++round)
    {
        for (int i = 0; i < 20000; ++i) Orvo::PString name("tag-" + std::to_string(round) + "-" + std::to_string(i));
        bound.Tick();
        EXPECT_LT(cache.Count(), 2 * before + 3 * 20000 + InternedNameBound::kSlack) << round;
    }
}

// A client that keeps sending failing requests without reply: the connection keeps only its last failures, and an
// answer never lets one it forgot pass for carried out.
TEST(DaemonSentOutcomes, ForgottenFailuresNeverReadAsCarriedOut)
{
    SentOutcomes outcomes;
    outcomes.Handled(kVADStatusOK);                                       // 1
    for (int i = 0; i < 1100; ++i) outcomes.Handled(kVADStatusNotFound);  // 2 .. 1101
    outcomes.Handled(kVADStatusOK);                                       // 1102
    VADConfirmSentReply reply;
    outcomes.Answer(1, reply);
    EXPECT_EQ(reply.handled, 1102u);
    ASSERT_EQ(reply.failed.size(), kVADConfirmListMax);
    EXPECT_EQ(reply.failed.front().first, 1101u - kVADConfirmListMax + 1);
    EXPECT_EQ(VADOutcomeOfSent(reply, 1), kVADStatusFailed);  // at or below a forgotten failure: not known
    EXPECT_EQ(VADOutcomeOfSent(reply, 2), kVADStatusFailed);
    EXPECT_EQ(VADOutcomeOfSent(reply, 1101), kVADStatusNotFound);
    EXPECT_EQ(VADOutcomeOfSent(reply, 1102), kVADStatusOK);
    EXPECT_EQ(VADOutcomeOfSent(reply, 1103), kVADStatusFailed);  // not handled yet
    // An asker whose requests all came after the forgotten ones hears of none of them.
    outcomes.Answer(1102, reply);
    EXPECT_EQ(reply.forgottenThrough, 0u);
    EXPECT_TRUE(reply.failed.empty());
    EXPECT_EQ(VADOutcomeOfSent(reply, 1102), kVADStatusOK);
}
