#include "engine/FileFind.h"

#include "engine/FilePath.h"
#include "engine/TextCase.h"
#include "platform/EntryNames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace Orvo {

bool File::Find::Match(std::string_view pattern, std::string_view name)
{
    if (pattern == "*" || pattern == "*.*") return true;
    size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size())
    {
        if (p < pattern.size() && (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n])))
        {
            ++p;
            ++n;
        }
        else if (p < pattern.size() && pattern[p] == '*')
        {
            star = p++;
            mark = n;
        }
        else if (star != std::string_view::npos)
        {
            p = star + 1;
            n = ++mark;
        }
        else
        {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool File::Find::Open(std::string_view sourceName, std::string_view pattern)
{
    if (sourceName.empty()) return Open(pattern);
    std::string full(sourceName);
    full.push_back(':');
    full.append(pattern);
    return Open(full);
}

bool File::Find::Open(std::string_view pattern)
{
    entries_.clear();
    index_ = static_cast<size_t>(-1);
    open_ = false;

    Path p(pattern);
    std::string_view v = p.View();
    // The folder is everything up to the last "/" (or the substitution's ":"), the mask the rest.
    size_t cut = v.rfind('/');
    size_t colon = v.find(':');
    if (cut == std::string_view::npos && colon != std::string_view::npos) cut = colon;
    std::string folder = cut == std::string_view::npos ? std::string(".") : std::string(v.substr(0, cut + 1));
    std::string mask(cut == std::string_view::npos ? v : v.substr(cut + 1));
    if (mask.empty()) mask = "*";

    std::string dir;
    if (!Resolve(folder, dir)) return false;
    if (dir.empty()) dir = ".";
    DIR* d = ::opendir(dir.c_str());
    if (!d)
    {
        int e = errno;
        SetLastError(e == ENOENT || e == ENOTDIR ? NotFound : AccessDenied,
                     "File::Find> cannot search '" + std::string(pattern) + "': " + std::strerror(e));
        return false;
    }
    while (dirent* e = ::readdir(d))
    {
        std::string_view n(e->d_name);
        if (Platform::IsDotOrDotDot(n) || !Match(mask, n)) continue;
        Entry entry;
        entry.name.assign(n);
        std::string full = dir;
        if (full.back() != '/') full.push_back('/');
        full += entry.name;
        struct stat st;
        if (::stat(full.c_str(), &st) == 0 || ::lstat(full.c_str(), &st) == 0)
        {
            entry.isFolder = S_ISDIR(st.st_mode);
            entry.size = entry.isFolder ? 0 : static_cast<uint64_t>(st.st_size);
            entry.modified = static_cast<int64_t>(st.st_mtime);
            entry.changed = static_cast<int64_t>(st.st_ctime);
        }
        entries_.push_back(std::move(entry));
    }
    ::closedir(d);
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    open_ = true;
    return true;
}

bool File::Find::Next()
{
    if (!open_) return false;
    size_t next = index_ + 1;  // wraps from -1 to 0 on the first call
    if (next >= entries_.size())
    {
        index_ = entries_.size();
        return false;
    }
    index_ = next;
    return true;
}

}  // namespace Orvo
