#pragma once
// Shared bits of the platform tests: a private temporary folder and waiting for a child's file.
#include <unistd.h>

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

class TempDir
{
public:
    // `root` empty: the system's temporary folder. Executables are copied below the build folder
    // instead, in case the temporary folder is mounted without exec rights.
    explicit TempDir(const std::string& root = {})
    {
        std::filesystem::path base =
            root.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(root);
        std::string pattern = (base / "velmar-platform-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Runs the helper program with `args` to its end: its exit code, or -1 when it could not start.
inline int RunHelper(const std::vector<std::string>& args)
{
    Platform::LaunchResult r = Platform::LaunchProcess(HelperPath(), args, {}, Platform::kLaunchWait);
    return r ? r.exitCode : -1;
}

// Waits (up to 10 s, so a hung child fails the test instead of hanging it) for `path` to appear.
inline bool WaitForFile(const std::string& path)
{
    for (int i = 0; i < 2000; ++i)
    {
        if (std::filesystem::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// A unique shared-memory or lock name for this test process.
inline std::string UniqueName(const std::string& stem)
{
    static int counter = 0;
    return "velmar-test-" + stem + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

}  // namespace PlatformTest
