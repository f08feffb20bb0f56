// What ending the process waits for and removes, each step made certain by waiting until the thread in question has
// blocked: the temporaries named from the start (where a file system makes no unnamed files) and a scratch folder
// go only once an unbroken write has ended, which may still make a temporary, and what was set aside gets its name
// back; a file never noted, or noted and then forgotten, stays; what is made after is held back; the steps of two
// threads stand side by side, and ending waits for the last. In a child process, since ending holds back the rest of
// the process's work for good.
#include "platform/Interruption.h"

#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace Platform;
using PlatformTest::WaitUntil;
using PlatformTest::WaitUntilBlocked;

// The checks that failed, as bits of the result.
int EndInChild(const PlatformTest::TempDir& dir)
{
    int failed = 0;
    const int folder = open(dir.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::ofstream(dir / "noted.part-1-1") << "x";
    std::ofstream(dir / "forgotten.part-1-2") << "x";
    std::ofstream(dir / "users.part-1-3") << "x";  // never noted
    fs::create_directories(dir / "work/inner");
    fs::create_directories(dir / "own/inner");
    {
        const TemporariesLock held;
        NoteTemporary(held, folder, "noted.part-1-1");
        ForgetTemporary(held, NoteTemporary(held, folder, "forgotten.part-1-2"));
        NoteTemporary(held, AT_FDCWD, dir / "work", true);
        NoteSetAside(held, dir / "aside", dir / "own");
        fs::rename(dir / "own", dir / "aside");
    }
    std::atomic<int> step{0};
    std::atomic<pid_t> ender{0}, late{0};
    std::thread writer([&] {
        const UnbrokenWrite unbroken;
        step = 1;
        while (step < 2) std::this_thread::yield();
        const TemporariesLock held;  // ending has begun, and waits for this write
        std::ofstream(dir / "done") << "written";
    });
    while (step < 1) std::this_thread::yield();
    std::string left;
    std::thread ending([&] {
        ender = gettid();
        left = PrepareToEnd();
    });
    // 1: the temporaries went while the unbroken write ran.
    if (!WaitUntil([&] { return ender != 0; }) || !WaitUntilBlocked(ender) || !fs::exists(dir / "noted.part-1-1"))
        failed |= 1;
    step = 2;
    writer.join();
    ending.join();
    if (PlatformTest::ReadFile(dir / "done") != "written") failed |= 2;  // the write was held back
    if (fs::exists(dir / "noted.part-1-1") || fs::exists(dir / "work") || !left.empty()) failed |= 4;
    // 16: what was set aside has its name back.
    if (fs::exists(dir / "aside") || !fs::exists(dir / "own/inner")) failed |= 16;
    // 32: a file never noted, or one noted and then forgotten, was removed.
    if (!fs::exists(dir / "forgotten.part-1-2") || !fs::exists(dir / "users.part-1-3")) failed |= 32;
    std::atomic<bool> madeLate{false};
    std::thread([&] {
        late = gettid();
        const TemporariesLock held;
        madeLate = true;
    }).detach();  // it waits for good: the process ends around it
    // 8: a temporary could still be made once ending was done.
    if (!WaitUntil([&] { return late != 0; }) || !WaitUntilBlocked(late) || madeLate) failed |= 8;
    return failed;
}

TEST(Interruption, EndingWaitsForUnbrokenWritesRemovesTheNotedTemporariesAndHoldsBackTheRest)
{
    const PlatformTest::TempDir dir;
    EXPECT_EXIT(_exit(EndInChild(dir)), testing::ExitedWithCode(0), "") << "failed checks: bits of EndInChild";
}

// The checks that failed, as bits of the result: steps of two threads stand side by side, and ending waits until
// the last has ended, then removes what it noted.
int EndWhileAStepStands(const PlatformTest::TempDir& dir)
{
    int failed = 0;
    const std::string made = dir / "made.part-1-1";
    std::atomic<int> step{0};
    std::atomic<pid_t> ender{0};
    std::thread maker([&] {
        const TemporariesLock held;
        step = 1;
        while (step < 2) std::this_thread::yield();
        std::ofstream(made) << "x";
        NoteTemporary(held, AT_FDCWD, made);
    });
    while (step < 1) std::this_thread::yield();
    // 1: another thread's step waited for the first one.
    static std::atomic<bool> beside{false};
    std::thread([] {
        const TemporariesLock other;
        beside = true;
    }).detach();
    if (!WaitUntil([] { return beside.load(); })) failed |= 1;
    std::thread ending([&] {
        ender = gettid();
        PrepareToEnd();
    });
    // 2: ending did not wait for the step that stands.
    if (!WaitUntil([&] { return ender != 0; }) || !WaitUntilBlocked(ender)) failed |= 2;
    step = 2;
    maker.join();
    ending.join();
    // 4: what the step noted stayed.
    if (fs::exists(made)) failed |= 4;
    return failed;
}

TEST(Interruption, StepsOfThreadsStandSideBySideAndEndingWaitsForTheLast)
{
    const PlatformTest::TempDir dir;
    EXPECT_EXIT(_exit(EndWhileAStepStands(dir)), testing::ExitedWithCode(0), "")
        << "failed checks: bits of EndWhileAStepStands";
}

}  // namespace
