#pragma once
// What a name leads to: the device and inode of a file. Two names (a second hard link, a symbolic link, a
// path through a bind mount) lead to one file exactly when their identities are equal, which comparing the
// paths cannot tell.
#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace Platform {

struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool known = false;  // false: no file (a name not there, or one that could not be looked at)

    static FileIdentity Of(const struct stat& st) { return {st.st_dev, st.st_ino, true}; }
    // The file the path leads to, following symbolic links; unknown when there is none.
    static FileIdentity OfPath(const std::string& path)
    {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? Of(st) : FileIdentity{};
    }
    // The file the name itself is: a symbolic link is not followed.
    static FileIdentity OfName(const std::string& path)
    {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0 ? Of(st) : FileIdentity{};
    }
    static FileIdentity OfFd(int fd)
    {
        struct stat st;
        return fd >= 0 && ::fstat(fd, &st) == 0 ? Of(st) : FileIdentity{};
    }
    // Only two known identities are one file.
    bool IsSameFile(const FileIdentity& other) const
    {
        return known && other.known && device == other.device && inode == other.inode;
    }
};

}  // namespace Platform
