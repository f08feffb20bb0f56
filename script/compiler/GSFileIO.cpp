#include "script/compiler/GSFileIO.h"

#include "platform/FileWriting.h"

#include <filesystem>
#include <fstream>
#include <system_error>

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
    Platform::ReplacingFile out;
    const char* why = nullptr;
    if (!out.Create(path, O_WRONLY, 0666))
        why = "cannot create";
    else if (!Platform::WriteFully(out.Fd(), data.data(), data.size()))
        why = "write failed";
    else if (!out.Commit())
        why = "cannot replace";
    if (why && error) *error = why;
    return why == nullptr;
}
