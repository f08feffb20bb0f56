#include "script/compiler/GSFileIO.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

bool ReadWholeFile(const std::string& path, size_t maxSize, std::string* data, std::string* error)
{
    std::error_code ec;
    if (path.empty() || !fs::is_regular_file(path, ec))
    {
        if (error) *error = "cannot open";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        if (error) *error = "cannot open";
        return false;
    }
    // Read in pieces rather than trusting the size the file system reports up front.
    std::string buf;
    char chunk[65536];
    while (in)
    {
        in.read(chunk, sizeof chunk);
        std::streamsize got = in.gcount();
        if (got <= 0) break;
        if (buf.size() + static_cast<size_t>(got) > maxSize)
        {
            if (error) *error = "larger than " + std::to_string(maxSize >> 20) + " MiB";
            return false;
        }
        buf.append(chunk, static_cast<size_t>(got));
    }
    if (in.bad())
    {
        if (error) *error = "read failed";
        return false;
    }
    *data = std::move(buf);
    return true;
}

bool WriteFileReplacing(const std::string& path, const std::string& data, std::string* error)
{
    static std::atomic<unsigned> counter{0};
    std::string tmp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out)
        {
            if (error) *error = "cannot create";
            return false;
        }
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.flush();
        if (!out)
        {
            out.close();
            std::remove(tmp.c_str());
            if (error) *error = "write failed";
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0)
    {
        std::remove(tmp.c_str());
        if (error) *error = "cannot replace";
        return false;
    }
    return true;
}
