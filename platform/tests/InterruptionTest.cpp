// What ending the process waits for and removes: in a child process, since ending holds back the rest of the
// process's work for good.
#include "platform/Interruption.h"

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace Platform;
using PlatformTest::TempDir;

// Each check the child makes, as a bit of its exit value.
enum Failed
{
    kWriteCut = 1,        // ending returned before the unbroken write was done
    kTemporaryStays = 2,  // a noted file or folder is still there
    kNotNotedGone = 4,    // a file never noted, or one forgotten, was removed
    kNotHeldBack = 8,     // a temporary could still be made once ending began
    kReported = 16,       // ending reported a temporary it could not remove
};

int EndInChild(const TempDir& dir)
{
    int failed = 0;
    const int folder = open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::ofstream(dir / "noted.part-1-1") << "x";
    std::ofstream(dir / "forgotten.part-1-2") << "x";
    std::ofstream(dir / "users.part-1-3") << "x";
    fs::create_directories(dir / "work/inner");
    std::ofstream(dir / "work/inner/file") << "x";
    {
        const TemporariesLock held;
        NoteTemporary(held, folder, "noted.part-1-1");
        ForgetTemporary(held, NoteTemporary(held, folder, "forgotten.part-1-2"));
        NoteTemporary(held, AT_FDCWD, dir / "work", true);
    }
    std::atomic<bool> entered{false}, ending{false}, madeLate{false};
    std::thread writer([&] {
        const UnbrokenWrite unbroken;
        entered = true;
        while (!ending) std::this_thread::yield();
        // Ending has begun (or is about to): what the write does still runs, a temporary's commit included.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        {
            const TemporariesLock held;
        }
        std::ofstream(dir / "done") << "written";
    });
    while (!entered) std::this_thread::yield();
    ending = true;
    if (!PrepareToEnd().empty()) failed |= kReported;
    if (!fs::exists(dir / "done")) failed |= kWriteCut;
    writer.join();
    if (fs::exists(dir / "noted.part-1-1") || fs::exists(dir / "work")) failed |= kTemporaryStays;
    if (!fs::exists(dir / "forgotten.part-1-2") || !fs::exists(dir / "users.part-1-3")) failed |= kNotNotedGone;
    std::thread late([&] {
        const TemporariesLock held;
        madeLate = true;
    });
    late.detach();  // it waits for good: the process ends around it
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (madeLate) failed |= kNotHeldBack;
    return failed;
}

TEST(Interruption, EndingWaitsForUnbrokenWritesRemovesTheNotedTemporariesAndHoldsBackTheRest)
{
    TempDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(EndInChild(dir));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed checks (bits of Failed)";
}

}  // namespace
