#include "daemon/RootWatch.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

bool RootWatch::Add(const std::string& path, std::string* error)
{
    struct stat st
    {};
    if (lstat(path.c_str(), &st) != 0)
    {
        if (error) *error = "'" + path + "' cannot be read: " + std::strerror(errno);
        return false;
    }
    watched_.push_back({path, st.st_dev, st.st_ino});
    return true;
}

bool RootWatch::AddOpen(int fd, const std::string& path, std::string* error)
{
    struct stat st
    {};
    if (fd < 0 || fstat(fd, &st) != 0)
    {
        if (error) *error = "'" + path + "' is not open";
        return false;
    }
    watched_.push_back({path, st.st_dev, st.st_ino});
    return true;
}

std::string RootWatch::Changed() const
{
    for (const Watched& w : watched_)
    {
        struct stat st
        {};
        if (lstat(w.path.c_str(), &st) != 0)
        {
            // Only a name that is gone counts: a passing failure to look (no memory) is not a removal.
            if (errno == ENOENT || errno == ENOTDIR) return "'" + w.path + "' was removed";
            continue;
        }
        if (st.st_dev != w.dev || st.st_ino != w.ino) return "'" + w.path + "' was replaced";
    }
    return {};
}
