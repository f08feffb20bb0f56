// Work interrupted as a user interrupts it: SIGINT, SIGTERM, SIGHUP and SIGQUIT sent to the tool at the moment
// an output starts to change, a temporary file appears or a description is set aside (watched with inotify, never
// guessed with a timer), and a daemon killed while it makes a package. The tool ends by the signal, and what it
// leaves is whole: an output written in place is the old file or the new one, no temporary file stays or is
// installed, every description has its name back, and a start of the daemon removes what a killed export left.
#include "E2EFixture.h"

#include "engine/Bitmap.h"
#include "platform/Process.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// inotify events of one file or folder, waited for while a process runs.
class Watch
{
public:
    Watch(const std::string& path, uint32_t mask) : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK))
    {
        if (fd_ >= 0 && inotify_add_watch(fd_, path.c_str(), mask) < 0) fd_ = -1;
    }
    ~Watch()
    {
        if (fd_ >= 0) close(fd_);
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
    bool Ok() const { return fd_ >= 0; }

    // True as soon as an event comes whose name (empty for the watched file itself) `wanted` takes; false when
    // process `pid` ends first.
    bool WaitFor(int pid, const std::function<bool(const std::string&)>& wanted)
    {
        const int ended = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        for (int round = 0; round < 6000; ++round)
        {
            pollfd fds[2] = {{fd_, POLLIN, 0}, {ended, POLLIN, 0}};
            // Where the kernel has no process descriptors, the process is looked at every 10 ms.
            poll(fds, ended >= 0 ? 2 : 1, ended >= 0 ? 60000 : 10);
            alignas(inotify_event) char buffer[16384];
            for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;)
                for (ssize_t at = 0; at < got;)
                {
                    const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                    if (wanted(e->len > 0 ? std::string(e->name) : std::string()))
                    {
                        if (ended >= 0) close(ended);
                        return true;
                    }
                    at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                }
            if (!Platform::IsProcessAlive(pid)) break;
        }
        if (ended >= 0) close(ended);
        return false;
    }

private:
    int fd_;
};

bool Contains(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }

std::vector<std::string> TemporariesIn(const std::string& folder)
{
    std::vector<std::string> found;
    for (const std::string& name : FilesBelow(folder))
        if (Contains(name, ".part-") || Contains(name, "convert-tex")) found.push_back(name);
    return found;
}

class InterruptE2E : public DaemonRootTest
{
protected:
    // A texture asset installed from work/big and open for editing: a picture large enough that its conversion
    // lasts a moment, and, with `uncompressed`, a compiled texture of several MiB, whose writing does too.
    void InstallBigTexture(bool uncompressed)
    {
        root_.WriteFile("work/big/config.txt", "kuid " + std::string(kKuid) +
                                                   "\nkind \"texture\"\nusername \"Big\"\nvelmar-build 3.7\n"
                                                   "category-class \"TX\"\ntexture \"big.texture\"\n");
        Orvo::Bitmap picture(1024, 1024, Orvo::Bitmap::FormatXRGB32);
        for (uint32_t y = 0; y < 1024; ++y)
            for (uint32_t x = 0; x < 1024; ++x)
            {
                uint8_t* p = picture.Row(y) + x * 4;
                p[0] = uint8_t(x * 7 + y), p[1] = uint8_t(x ^ y), p[2] = uint8_t(y * 3), p[3] = 255;
            }
        ASSERT_TRUE(picture.Save(root_.Path("work/big/big.tga")));
        root_.WriteFile("work/big/big.texture.txt",
                        std::string("Primary=big.tga\n") + (uncompressed ? "Compression=none\n" : ""));
        ASSERT_EQ(Run({"installfrompath", "big"}).exitCode, 0);
        ASSERT_EQ(Run({"edit", kKuid}).exitCode, 0);
        ASSERT_TRUE(root_.Exists(kEditing + std::string("/big.texture.txt")));
    }

    // compresstexture on the edit folder, sent `signal` as soon as `watched` (relative to the root) reports an
    // event `wanted` takes. `sent` says whether it came before the tool ended.
    RunResult ConvertUntil(const std::string& watched, uint32_t mask,
                           const std::function<bool(const std::string&)>& wanted, int signal, bool& sent,
                           RunOptions options = {})
    {
        Watch watch(root_.Path(watched), mask);
        EXPECT_TRUE(watch.Ok());
        options.workDir = root_.Path("work");
        std::unique_ptr<RunningProgram> tool = root_.Start({"compresstexture", root_.Path(kEditing)}, options);
        sent = watch.WaitFor(tool->Pid(), wanted);
        if (sent) kill(tool->Pid(), signal);
        return tool->Wait();
    }

    static constexpr char kKuid[] = "<kuid:900002:31>";
    static constexpr char kEditing[] = "UserData/editing/kuid 900002 31";
    static constexpr char kLocal[] = "UserData/local/kuid 900002 31";
};

// A compiled texture with a second name is written in place. A signal sent the moment it starts to change ends the
// tool only once the new texture is there whole, under both names.
TEST_F(InterruptE2E, ASignalNeverEndsTheToolInTheMiddleOfAnOutputWrittenInPlace)
{
    InstallBigTexture(true);
    const std::string texture = std::string(kEditing) + "/big.texture";
    ASSERT_EQ(Run({"compresstexture", root_.Path(kEditing)}).exitCode, 0);
    fs::create_hard_link(root_.Path(texture), root_.Path("work/second-name"));
    ASSERT_EQ(Run({"compresstexture", root_.Path(kEditing)}).exitCode, 0);
    const std::string whole = root_.ReadFile(texture), old(8 << 20, 'o');
    ASSERT_GT(whole.size(), size_t(4) << 20);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
    {
        SCOPED_TRACE(signal);
        std::ofstream(root_.Path(texture), std::ios::binary | std::ios::trunc) << old;  // in place: both names
        bool sent = false;
        const RunResult r = ConvertUntil(
            texture, IN_MODIFY, [](const std::string&) { return true; }, signal, sent);
        ASSERT_TRUE(sent) << "the texture never changed: " << r.out;
        EXPECT_TRUE(r.exitCode == 128 + signal || r.exitCode == 0) << r.exitCode;
        EXPECT_TRUE(root_.ReadFile(texture) == whole) << "neither the old texture nor the new one";
        EXPECT_TRUE(root_.ReadFile("work/second-name") == whole);
        EXPECT_EQ(fs::hard_link_count(root_.Path(texture)), 2u);
        EXPECT_EQ(TemporariesIn(root_.Path(kEditing)), std::vector<std::string>{});
    }
}

// A texture of one name is written under a temporary name (or none) and renamed into place. A signal sent the
// moment that name appears leaves no temporary file behind, so none can be installed by the commit after. A daemon
// killed while it makes a package leaves its folder, which the next start removes; a user's folder of such a name
// stays.
TEST_F(InterruptE2E, NoTemporaryFileOutlivesASignalOrIsInstalled)
{
    InstallBigTexture(false);
    for (int signal : {SIGINT, SIGTERM})
    {
        SCOPED_TRACE(signal);
        fs::remove(root_.Path(kEditing + std::string("/big.texture")));
        bool sent = false;
        const RunResult r = ConvertUntil(
            kEditing, IN_CREATE | IN_MOVED_TO, [](const std::string& name) { return Contains(name, ".part-"); }, signal,
            sent);
        EXPECT_TRUE(r.exitCode == 128 + signal || r.exitCode == 0) << r.exitCode;
        EXPECT_EQ(TemporariesIn(root_.Path(kEditing)), std::vector<std::string>{});
    }
    // What a kill leaves (where the file system names temporaries from the start): a temporary of a process that is
    // gone is never installed.
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    ASSERT_GT(gone, 0);
    waitpid(gone, nullptr, 0);
    const std::string left = "big.texture.part-" + std::to_string(gone) + "-7";
    root_.WriteFile(kEditing + std::string("/") + left, "half a texture");
    const RunResult committed = Run({"commit", kKuid});
    EXPECT_EQ(committed.exitCode, 0) << committed.out;
    EXPECT_NE(committed.out.find("! " + std::string(kKuid) + " : '" + root_.Path(kEditing) + "/" + left +
                                 "' was not installed: it is a temporary file that a command cut short left behind."),
              std::string::npos)
        << committed.out;
    EXPECT_EQ(TemporariesIn(root_.Path(kLocal)), std::vector<std::string>{});
    EXPECT_TRUE(root_.Exists(kLocal + std::string("/big.texture")));

    // The export's folder appears, and the daemon is killed (as a shutdown's SIGKILL would).
    fs::create_directories(root_.Path("UserData/packages/mine.export-partial"));
    root_.WriteFile("UserData/packages/mine.export-partial/notes.txt", "the user's own\n");
    const int daemon = root_.DaemonPid();
    ASSERT_GT(daemon, 0);
    {
        Watch packages(root_.Path("UserData/packages"), IN_CREATE);
        std::unique_ptr<RunningProgram> tool =
            root_.Start({"export-package", "etc1", "pack", kKuid}, RunOptions::In(root_.Path("work")));
        ASSERT_TRUE(
            packages.WaitFor(tool->Pid(), [](const std::string& name) { return name == "pack.export-partial"; }));
        kill(daemon, SIGKILL);
        EXPECT_NE(tool->Wait().exitCode, 0);
    }
    ASSERT_TRUE(root_.Exists("UserData/packages/pack.export-partial"));
    EXPECT_EQ(Run({"status", kKuid}).exitCode, 0);  // starts a daemon
    EXPECT_FALSE(root_.Exists("UserData/packages/pack.export-partial"));
    EXPECT_EQ(root_.ReadFile("UserData/packages/mine.export-partial/notes.txt"), "the user's own\n");
}

// Ctrl-C while standard error is a pipe whose reader has gone: the description set aside gets its name back and the
// tool ends by SIGINT (exit 130), not by the SIGPIPE its last words would raise.
TEST_F(InterruptE2E, AGoneReaderOfStandardErrorNeitherKeepsADescriptionAsideNorChangesTheSignal)
{
    InstallBigTexture(false);
    const std::string description = root_.ReadFile(kEditing + std::string("/big.texture.txt"));
    RunOptions options;
    options.errorReaderGone = true;
    bool sent = false;
    const RunResult r = ConvertUntil(
        kEditing, IN_MOVED_TO, [](const std::string& name) { return name == "big.convert-tex.txt"; }, SIGINT, sent,
        options);
    ASSERT_TRUE(sent) << r.out;
    EXPECT_EQ(r.exitCode, 128 + SIGINT);
    EXPECT_EQ(root_.ReadFile(kEditing + std::string("/big.texture.txt")), description);
    EXPECT_EQ(TemporariesIn(root_.Path(kEditing)), std::vector<std::string>{});
}

}  // namespace
}  // namespace e2e
