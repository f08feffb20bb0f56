#include "platform/RenameNoReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace Platform {

namespace {

// Renames `from` over the reservation made for it at `to`; the reservation goes again when that fails (a
// folder only while it is still empty).
bool RenameOverReservation(const std::string& from, const std::string& to, bool folder)
{
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    const int error = errno;
    if (folder)
        ::rmdir(to.c_str());
    else
        ::unlink(to.c_str());
    errno = error;
    return false;
}

}  // namespace

bool RenameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    return RenameNoReplaceInSteps(from, to);
}

bool RenameNoReplaceInSteps(const std::string& from, const std::string& to)
{
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) return false;
    const bool folder = S_ISDIR(st.st_mode);
    if (!folder)
    {
        // link() never follows a link at `from` and never replaces what is at `to`.
        if (::link(from.c_str(), to.c_str()) == 0)
        {
            if (::unlink(from.c_str()) == 0) return true;
            // The file keeps its first name and loses the second again.
            const int error = errno;
            ::unlink(to.c_str());
            errno = error;
            return false;
        }
        // Only a file system that makes no hard links (or none of this file) leaves the reservation to try.
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK && errno != ENOSYS) return false;
    }
    if (folder)
    {
        if (::mkdir(to.c_str(), 0700) != 0) return false;
    }
    else
    {
        const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        ::close(fd);
    }
    return RenameOverReservation(from, to, folder);
}

}  // namespace Platform
