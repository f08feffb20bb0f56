#pragma once
// Disk space of the file system that holds a path.
#include <cstdint>
#include <string>

namespace Platform {

struct DiskSpace
{
    uint64_t freeBytes = 0;  // available to this (unprivileged) user
    uint64_t totalBytes = 0;
};

// False when `path` does not exist or cannot be examined.
bool GetDiskSpace(const std::string& path, DiskSpace* out);
// Free bytes for this user, 0 on any failure.
uint64_t FreeDiskSpace(const std::string& path);

}  // namespace Platform
