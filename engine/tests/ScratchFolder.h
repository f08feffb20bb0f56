#pragma once
// A private scratch folder for one test, removed with everything in it when the test ends.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

struct ScratchFolder
{
    ScratchFolder() : path((std::filesystem::temp_directory_path() / "velmar-engine-XXXXXX").string())
    {
        if (!mkdtemp(path.data())) path.clear();
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    bool IsValid() const { return !path.empty(); }
    std::string operator/(const std::string& rel) const { return path + "/" + rel; }
    std::string path;
};
