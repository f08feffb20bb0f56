#include "platform/Disk.h"

#include <sys/statvfs.h>

namespace Platform {

bool GetDiskSpace(const std::string& path, DiskSpace* out)
{
    if (!out || path.empty()) return false;
    struct statvfs st
    {};
    if (statvfs(path.c_str(), &st) != 0) return false;
    uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    out->freeBytes = static_cast<uint64_t>(st.f_bavail) * unit;
    out->totalBytes = static_cast<uint64_t>(st.f_blocks) * unit;
    return true;
}

uint64_t FreeDiskSpace(const std::string& path)
{
    DiskSpace d;
    return GetDiskSpace(path, &d) ? d.freeBytes : 0;
}

}  // namespace Platform
