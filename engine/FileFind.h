#pragma once
// File::Find: the entries of one folder that match a pattern such as "dir/*.txt" or "dir/*". The
// pattern's last component may hold "*" and "?" and matches without regard to case; "*.*" matches
// every name. "." and ".." are never listed. Entries come sorted by name so walks are repeatable.
#include "engine/File.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Orvo {

class File::Find
{
public:
    struct Entry
    {
        std::string name;
        bool isFolder = false;
        uint64_t size = 0;
        int64_t modified = 0;  // seconds since 1970
        int64_t changed = 0;   // status change time, the nearest thing to a creation time here
        uint32_t Attributes() const { return isFolder ? 16u : 0u; }
    };

    Find() = default;
    explicit Find(std::string_view pattern) { Open(pattern); }
    // The pattern taken below the substitution `sourceName` ("sourceName:pattern").
    Find(std::string_view sourceName, std::string_view pattern) { Open(sourceName, pattern); }

    // False when the folder cannot be listed (LastError says why). A folder with no match opens
    // with no entries.
    bool Open(std::string_view pattern);
    bool Open(std::string_view sourceName, std::string_view pattern);
    bool IsOpen() const { return open_; }
    explicit operator bool() const { return open_; }

    // Walking: Next() moves to the next entry (the first after Open) and is false at the end.
    bool Next();
    const Entry& Current() const { return entries_[index_]; }
    const std::string& Name() const { return Current().name; }
    bool IsFolder() const { return Current().isFolder; }

    const std::vector<Entry>& Entries() const { return entries_; }
    std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
    std::vector<Entry>::const_iterator end() const { return entries_.end(); }

    // Windows-style wildcard match of one name, without regard to case.
    static bool Match(std::string_view pattern, std::string_view name);

private:
    std::vector<Entry> entries_;
    size_t index_ = static_cast<size_t>(-1);
    bool open_ = false;
};

}  // namespace Orvo
