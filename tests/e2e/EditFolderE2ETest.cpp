// Edit folders hold the user's work, through the real tool, daemon and command host: a folder that stands where
// an edit folder goes and that no open edit made is kept in a backup before any command makes the edit folder
// there, or the command is refused and the folder left as it was; work kept is kept whole, every entry as it
// was; and what a commit installs is what the edit folder held when the commit took it, so that a file written
// into it while the commit runs is installed or fails where its writer sees it.
#include "E2EFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

namespace e2e {
namespace {

namespace fs = std::filesystem;

const std::string kKuid = "<kuid:900680:1>";
const std::string kEdit = "UserData/editing/kuid 900680 1";
const std::string kLocal = "UserData/local/kuid 900680 1";
const std::string kLog = "UserData/settings/vaddaemon.log";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The asset folder "work/a", with the sample brick texture when `textured`.
void WriteAsset(const InstallRoot& root, bool textured = false)
{
    root.WriteFile("work/a/config.txt", "kuid " + kKuid + "\nusername \"Edited\"\nkind \"scenery\"\n");
    root.WriteFile("work/a/data.txt", "installed");
    if (!textured) return;
    for (const char* file : {"brick.tga", "brick.texture.txt"})
        fs::copy_file(InstallRoot::SamplesDir() + "/brick-texture/" + file, root.Path(std::string("work/a/") + file));
}

// A user's work of every kind in `folder`: a file whose name holds a backslash, a symbolic link, a pipe.
void WriteEveryKindOfEntry(const InstallRoot& root, const std::string& folder)
{
    root.WriteFile(folder + "/notes\\v2.txt", "second notes");
    fs::create_symlink("notes\\v2.txt", root.Path(folder + "/latest"));
    ASSERT_EQ(mkfifo(root.Path(folder + "/pipe").c_str(), 0600), 0);
}

// The folder a warning says work "was kept in '...'" ("" when none does); it must lie in the uncommitted backups.
std::string KeptIn(const InstallRoot& root, const std::string& out, const std::string& ending)
{
    for (const std::string& line : Lines(out))
    {
        const std::string said = "was kept in '";
        const size_t at = line.find(said);
        if (line.rfind("! " + kKuid + " : ", 0) != 0 || at == std::string::npos || !line.ends_with("'.")) continue;
        const std::string kept = line.substr(at + said.size(), line.size() - at - said.size() - 2);
        EXPECT_EQ(kept.rfind(root.Path("UserData/backups/uncommitted/"), 0), 0u) << kept;
        EXPECT_TRUE(kept.ends_with("/kuid 900680 1 " + ending)) << kept;
        return kept;
    }
    return "";
}

class EditFolderE2E : public DaemonRootTest
{
protected:
    void SetUp() override
    {
        DaemonRootTest::SetUp();
        WriteAsset(root_);
        ASSERT_EQ(Run({"installfrompath", "a"}).exitCode, 0);
    }
};

// With the daemon running, the user makes the edit folder by hand (as when copying kept work back): opening the
// asset for editing, a commit of it while it is not open, and a package's install over it each keep that folder
// in a backup first and say where. A package's install of it anew (once it is deleted) makes no edit folder and
// leaves the folder as it is.
TEST_F(EditFolderE2E, AFolderWhereTheEditFolderGoesIsKeptBeforeACommandMakesOne)
{
    ASSERT_EQ(Run({"createcdp", "a.cdp", kKuid}).exitCode, 0);
    const std::vector<std::vector<std::string>> commands = {
        {"edit", kKuid}, {"commit", kKuid}, {"installcdp", "a.cdp"}};
    for (size_t i = 0; i < commands.size(); ++i)
    {
        SCOPED_TRACE(commands[i][0]);
        const std::string mine = "my work " + std::to_string(i);
        root_.WriteFile(kEdit + "/mywork.txt", mine);
        const RunResult r = Run(commands[i]);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        const std::string kept = KeptIn(root_, r.out, "(edit folder without an edit)");
        ASSERT_NE(kept, "") << r.out;
        EXPECT_EQ(ReadWholeFile(kept + "/mywork.txt"), mine);
        EXPECT_TRUE(Has(root_.ReadFile(kLog), "kept in " + kept));
        EXPECT_FALSE(root_.Exists(kEdit + "/mywork.txt"));
        EXPECT_FALSE(root_.Exists(kLocal + "/mywork.txt"));
        if (i == 0)
        {
            // The edit is a fresh copy of the installed asset.
            EXPECT_EQ(root_.ReadFile(kEdit + "/data.txt"), "installed");
            ASSERT_EQ(Run({"revert", kKuid}).exitCode, 0);
        }
    }
    EXPECT_EQ(root_.ReadFile(kLocal + "/data.txt"), "installed");

    ASSERT_EQ(Run({"delete", kKuid}).exitCode, 0);
    root_.WriteFile(kEdit + "/mywork.txt", "my work");
    const RunResult r = Run({"installcdp", "a.cdp"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(FilesBelow(root_.Path(kEdit)), std::vector<std::string>{"mywork.txt"});
}

// Where the folder cannot be kept (a file stands where the uncommitted backups go), start-up leaves it, and so
// does every command that would make the edit folder there: each fails, saying why.
TEST_F(EditFolderE2E, AFolderThatCannotBeKeptIsLeftAsItWasAndTheCommandSaysWhy)
{
    ASSERT_EQ(Run({"createcdp", "a.cdp", kKuid}).exitCode, 0);
    root_.StopProcesses();
    root_.WriteFile("UserData/backups/uncommitted", "in the way");
    root_.WriteFile(kEdit + "/mywork.txt", "my work");
    ASSERT_EQ(Run({"status", kKuid}).exitCode, 0);
    EXPECT_TRUE(Has(root_.ReadFile(kLog), "has no edit and could not be set aside"));

    for (const std::string command : {"edit", "commit", "installcdp"})
    {
        SCOPED_TRACE(command);
        const RunResult r = Run({command, command == "installcdp" ? "a.cdp" : kKuid});
        EXPECT_EQ(r.exitCode, 255) << r.out;
        EXPECT_TRUE(Has(r.out, "- " + kKuid + " : Asset " + kKuid + " was not opened for editing: '" +
                                   root_.Path(kEdit) +
                                   "', an edit folder of it that no open edit made, could not be kept in a backup ("))
            << r.out;
        EXPECT_EQ(FilesBelow(root_.Path(kEdit)), std::vector<std::string>{"mywork.txt"});
        EXPECT_EQ(root_.ReadFile(kEdit + "/mywork.txt"), "my work");
    }
}

// A delete of an asset open for editing keeps its edit folder whole: a file whose name holds a backslash, a
// symbolic link (as a link) and a pipe (as a pipe) are all in the folder it says it kept.
TEST_F(EditFolderE2E, ADeleteKeepsEveryEntryOfTheEditFolder)
{
    ASSERT_EQ(Run({"edit", kKuid}).exitCode, 0);
    ASSERT_NO_FATAL_FAILURE(WriteEveryKindOfEntry(root_, kEdit));
    const RunResult r = Run({"delete", kKuid});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const std::string kept = KeptIn(root_, r.out, "(uncommitted edit)");
    ASSERT_NE(kept, "") << r.out;
    EXPECT_EQ(ReadWholeFile(kept + "/notes\\v2.txt"), "second notes");
    EXPECT_EQ(fs::read_symlink(kept + "/latest"), "notes\\v2.txt");
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(kept + "/pipe")));
    EXPECT_EQ(ReadWholeFile(kept + "/data.txt"), "installed");
    EXPECT_FALSE(root_.Exists(kEdit));
}

// A commit takes the edit folder before it installs it, and a delete before it keeps it. A writer that keeps
// adding files to the folder while either runs (the commit compiling textures meanwhile) finds its writes
// failing once the folder is taken: every file whose write succeeded is in the installed copy or in the work
// kept, none is lost.
TEST_F(EditFolderE2E, AFileWrittenWhileACommitOrDeleteRunsIsKeptOrItsWriteFails)
{
    WriteAsset(root_, true);
    ASSERT_EQ(Run({"installfrompath", "a"}).exitCode, 0);
    for (const std::string command : {"commit", "delete"})
    {
        SCOPED_TRACE(command);
        ASSERT_EQ(Run({"edit", kKuid}).exitCode, 0);
        std::mutex mutex;
        std::vector<std::string> written;
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            for (int i = 0; !stop && i < 100000; ++i)
            {
                const std::string name = command + std::to_string(i) + ".txt";
                const int fd =
                    ::open(root_.Path(kEdit + "/" + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
                if (fd < 0) continue;
                bool ok = ::write(fd, name.data(), name.size()) == static_cast<ssize_t>(name.size());
                ok = ::close(fd) == 0 && ok;
                if (ok)
                {
                    std::lock_guard lk(mutex);
                    written.push_back(name);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        EXPECT_TRUE(Eventually([&] {
            std::lock_guard lk(mutex);
            return written.size() >= 5;
        }));
        const RunResult r = Run({command, kKuid});
        stop = true;
        writer.join();
        EXPECT_EQ(r.exitCode, 0) << r.out;
        std::set<std::string> found;
        if (root_.Exists(kLocal))
            for (const std::string& file : FilesBelow(root_.Path(kLocal))) found.insert(file);
        if (root_.Exists("UserData/backups/uncommitted"))
            for (const std::string& file : FilesBelow(root_.Path("UserData/backups/uncommitted")))
                found.insert(fs::path(file).filename().string());
        EXPECT_TRUE(found.count("brick.texture")) << r.out;
        size_t lost = 0;
        for (const std::string& name : written) lost += found.count(name) == 0;
        EXPECT_EQ(lost, 0u) << "of " << written.size();
        EXPECT_FALSE(root_.Exists(kEdit));
    }
}

// Runs `commands` (sh) in a mount namespace of their own whose UserData/backups is a tmpfs of `size`; "$R" is the
// root. The daemon the tool starts there is closed at the end, while the tmpfs is still mounted.
RunResult WithBackupsOnATmpfs(const InstallRoot& root, const std::string& size, const std::string& commands)
{
    const std::string script = "R=\"$1\"\nmkdir -p \"$R/UserData/backups\"\n"
                               "mount -t tmpfs -o size=" +
                               size + " tmpfs \"$R/UserData/backups\" || exit " + std::to_string(kMountRefused) + "\n" +
                               commands + "\n\"$R/bin/VelmarUtil\" closevaddaemon >/dev/null 2>&1\nexit 0\n";
    RunOptions options = RunOptions::In(root.Path("work"));
    options.timeoutMs = 120000;
    return RunInMountNamespace(script, {root.Root()}, options);
}

// The uncommitted backups on a file system of their own, where a folder cannot be moved by a rename: start-up
// copies an edit folder without an edit there with every entry as it was, and when that file system is full it
// leaves the folder, and an edit of the asset is refused with the folder left as it was.
TEST(EditFolderOnAnotherFileSystemE2E, StartUpKeepsItWholeOrLeavesItAndTheEditIsRefused)
{
    InstallRoot root;
    fs::create_directories(root.Path("work"));
    WriteAsset(root);
    ASSERT_EQ(root.Run({"installfrompath", "a"}, RunOptions::In(root.Path("work"))).exitCode, 0);
    root.StopProcesses();
    root.WriteFile(kEdit + "/sub/mywork.txt", "my work");
    ASSERT_NO_FATAL_FAILURE(WriteEveryKindOfEntry(root, kEdit + "/sub"));

    RunResult r = WithBackupsOnATmpfs(root, "16m",
                                      "\"$R/bin/VelmarUtil\" status \"" + kKuid +
                                          "\" >/dev/null\n"
                                          "cd \"$R/UserData/backups/uncommitted\" && find . -printf '%y %p\\n' && "
                                          "cat */*/sub/notes*; echo; ls -A \"$R/UserData/editing\"");
    if (CannotMakeMountNamespace(r)) GTEST_SKIP() << "cannot mount a tmpfs in a mount namespace here: " << r.err;
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    // Each entry as what it was: a file, a link, a pipe ("find" says f, l, p).
    const std::string kept = " (edit folder without an edit)/sub/";
    for (const std::string entry : {"f mywork.txt", "f notes\\v2.txt", "l latest", "p pipe"})
    {
        bool listed = false;
        for (const std::string& line : Lines(r.out))
            listed = listed || (line[0] == entry[0] && line.ends_with("/kuid 900680 1" + kept + entry.substr(2)));
        EXPECT_TRUE(listed) << entry << "\n" << r.out;
    }
    EXPECT_TRUE(Has(r.out, "\nsecond notes\n")) << r.out;
    EXPECT_FALSE(Has(r.out, "kuid 900680 1\n")) << r.out;

    // A full one: nothing can be kept there.
    root.WriteFile(kEdit + "/mywork.txt", "my work");
    r = WithBackupsOnATmpfs(root, "2m",
                            "head -c 4m /dev/zero >\"$R/UserData/backups/filler\" 2>/dev/null\n"
                            "\"$R/bin/VelmarUtil\" status \"" +
                                kKuid + "\" >/dev/null\n" + "\"$R/bin/VelmarUtil\" edit \"" + kKuid +
                                "\"; echo \"exit $?\"");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "could not be kept in a backup (")) << r.out;
    EXPECT_TRUE(Has(r.out, "No space left on device")) << r.out;
    EXPECT_TRUE(Has(r.out, "\nexit 255\n")) << r.out;
    EXPECT_EQ(FilesBelow(root.Path(kEdit)), std::vector<std::string>{"mywork.txt"});
    EXPECT_TRUE(Has(root.ReadFile(kLog), "has no edit and could not be set aside"));
}

}  // namespace
}  // namespace e2e
