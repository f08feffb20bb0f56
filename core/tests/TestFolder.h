#pragma once
// Shared bits of the core tests: a private scratch folder for one test, removed afterwards (CTest runs the
// tests of one executable side by side, so no two tests may share a folder), and a bounded wait.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

class TestFolder
{
public:
    explicit TestFolder(const std::string& stem = "velmar-core")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TestFolder()
    {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    bool IsValid() const { return !path_.empty(); }
    const std::filesystem::path& Path() const { return path_; }
    std::string Str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

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
