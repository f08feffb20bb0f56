#include "CommandTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "velmar-tool-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    path_ = made ? made : "";
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

void TempFolder::Write(const std::string& name, const std::string& text) const
{
    std::filesystem::path p = std::filesystem::path(path_) / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}
