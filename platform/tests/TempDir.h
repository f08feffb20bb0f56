#pragma once
// A private temporary folder for one test, removed with everything in it when the test is done (also after a
// failed assertion): CTest runs the tests of one executable side by side, so no two tests may share a folder.
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace PlatformTest {

class TempDir
{
public:
    // Made in `root`, or, when that is empty, in the system's temporary folder (tests that copy executables
    // give a folder below the build folder, in case the temporary folder is mounted without exec rights).
    explicit TempDir(const std::string& root = {})
    {
        std::filesystem::path base =
            root.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(root);
        std::string pattern = (base / "velmar-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Empty when the folder could not be made.
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace PlatformTest
