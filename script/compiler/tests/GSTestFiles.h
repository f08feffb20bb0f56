#pragma once
// A scratch folder for one test, removed afterwards.
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

class GSTempFolder
{
public:
    GSTempFolder()
    {
        static int n = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("gscompiler-test-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~GSTempFolder() { std::filesystem::remove_all(path_); }

    std::string operator/(const std::string& rel) const { return (path_ / rel).string(); }
    const std::filesystem::path& Path() const { return path_; }

    std::string Write(const std::string& rel, const std::string& data) const
    {
        std::filesystem::path p = path_ / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << data;
        return p.string();
    }
    std::string Read(const std::string& rel) const
    {
        std::ifstream in(path_ / rel, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path path_;
};
