#pragma once
// Shared bits of the platform tests: a private temporary folder, files read and written whole, the helper program and
// bounded waits.
#include <sys/stat.h>
#include <unistd.h>

#include "TempDir.h"
#include "platform/Process.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace PlatformTest {

inline std::string HelperPath() { return VELMAR_PLATFORM_HELPER; }

inline std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Writes `text` as the whole file `path` (its folders made first), of mode `mode`.
inline void WriteFile(const std::string& path, const std::string& text, mode_t mode = 0644)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    ::chmod(path.c_str(), mode);
}

// Runs the helper program with `args` to its end: its exit code, or -1 when it could not start.
inline int RunHelper(const std::vector<std::string>& args)
{
    Platform::LaunchResult r = Platform::LaunchProcess(HelperPath(), args, {}, Platform::kLaunchWait);
    return r ? r.exitCode : -1;
}

// Checks `done` until it holds; false after ten seconds, so that a lost event fails the test instead of
// hanging it.
template <class Pred>
bool WaitUntil(Pred done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline bool WaitForFile(const std::string& path)
{
    return WaitUntil([&] { return std::filesystem::exists(path); });
}

// Waits until thread `tid` of this process sleeps in the kernel, that is, has blocked in a call.
inline bool WaitUntilBlocked(pid_t tid)
{
    const std::string stat = "/proc/self/task/" + std::to_string(tid) + "/stat";
    return WaitUntil([&] {
        const std::string text = ReadFile(stat);
        const size_t close = text.rfind(')');  // the state follows the parenthesised name
        return close != std::string::npos && text.compare(close, 3, ") S") == 0;
    });
}

// A unique shared-memory or lock name for this test process.
inline std::string UniqueName(const std::string& stem)
{
    static int counter = 0;
    return "velmar-test-" + stem + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

}  // namespace PlatformTest
