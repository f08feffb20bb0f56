#include "platform/OutputFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace Platform {

const char* NotWritableKind(mode_t mode) { return S_ISDIR(mode) ? "it is a folder" : "it is not a regular file"; }

bool OutputFile::Fail(int error)
{
    reason_ = std::strerror(error != 0 ? error : EIO);
    Abandon();
    return false;
}

bool OutputFile::Open(const std::string& path, mode_t mode)
{
    Abandon();
    reason_.clear();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
    {
        // A name not there yet (a link to nothing included) becomes a new file.
        if (errno != ENOENT) return Fail(errno);
        return replacing_.Create(path, O_WRONLY, mode) || Fail(errno);
    }
    if (S_ISREG(st.st_mode))
    {
        // Through a link the file it leads to is replaced, not the link. The new file keeps the old one's
        // permissions, whatever the umask says (a user's private file stays private); set-user-ID, set-group-ID
        // and sticky bits are not carried over to new contents, as a write in place would clear them too.
        char real[PATH_MAX];
        const std::string target = ::realpath(path.c_str(), real) ? std::string(real) : path;
        const mode_t keep = st.st_mode & 0777;
        return (replacing_.Create(target, O_WRONLY, keep) && ::fchmod(replacing_.Fd(), keep) == 0) || Fail(errno);
    }
    if (!S_ISCHR(st.st_mode))
    {
        reason_ = NotWritableKind(st.st_mode);
        return false;
    }
    // Opened without waiting, and checked again once open: a name swapped for a FIFO meanwhile is refused too.
    device_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (device_ < 0) return Fail(errno);
    if (::fstat(device_, &st) != 0) return Fail(errno);
    if (!S_ISCHR(st.st_mode))
    {
        Abandon();
        reason_ = NotWritableKind(st.st_mode);
        return false;
    }
    const int flags = ::fcntl(device_, F_GETFL);
    if (flags < 0 || ::fcntl(device_, F_SETFL, flags & ~O_NONBLOCK) != 0) return Fail(errno);
    return true;
}

bool OutputFile::Write(std::string_view data)
{
    const int fd = device_ >= 0 ? device_ : replacing_.Fd();
    if (fd < 0) return Fail(EBADF);
    return WriteFully(fd, data.data(), data.size()) || Fail(errno);
}

bool OutputFile::Commit()
{
    if (device_ >= 0)
    {
        // A device reports a failed write at the latest when it is closed.
        const int fd = std::exchange(device_, -1);
        return ::close(fd) == 0 || Fail(errno);
    }
    if (!replacing_.IsOpen()) return Fail(EBADF);
    return replacing_.Commit() || Fail(errno);
}

void OutputFile::Abandon()
{
    if (device_ >= 0) ::close(std::exchange(device_, -1));
    replacing_.Abandon();
}

bool WriteOutputFile(const std::string& path, std::string_view data, mode_t mode, std::string* reason)
{
    OutputFile file;
    const bool ok = file.Open(path, mode) && file.Write(data) && file.Commit();
    if (!ok && reason) *reason = file.Reason();
    return ok;
}

}  // namespace Platform
