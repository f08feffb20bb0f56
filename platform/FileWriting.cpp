#include "platform/FileWriting.h"

#include "platform/Interruption.h"
#include "platform/RenameNoReplace.h"
#include "platform/UniqueNumber.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <string_view>
#include <utility>

namespace Platform {

namespace {

// Repeats `step` (given the bytes done so far) until `size` bytes are done: again after a signal, on after
// a short count. A step that does nothing ends it with `endErrno`.
template <class Step>
bool Whole(size_t size, int endErrno, Step step)
{
    for (size_t done = 0; done < size;)
    {
        const ssize_t n = step(done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
        {
            if (n == 0) errno = endErrno;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

template <typename Bytes>
bool ReadStart(int fd, uint64_t size, Bytes& out, uint64_t limit, int* err)
{
    out.clear();
    if (fd < 0 || size > limit)
    {
        if (err) *err = fd < 0 ? EBADF : EFBIG;
        return false;
    }
    out.resize(static_cast<size_t>(size));
    size_t have = 0;
    while (have < out.size())
    {
        const ssize_t n = ::pread(fd, out.data() + have, out.size() - have, static_cast<off_t>(have));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
        {
            if (err) *err = errno;
            out.clear();
            return false;
        }
        if (n == 0) break;
        have += static_cast<size_t>(n);
    }
    out.resize(have);
    return true;
}

}  // namespace

bool WriteFully(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    return Whole(size, EIO, [&](size_t done) { return ::write(fd, p + done, size - done); });
}

bool WriteFullyAt(int fd, const void* data, size_t size, uint64_t offset)
{
    const char* p = static_cast<const char*>(data);
    return Whole(size, EIO,
                 [&](size_t done) { return ::pwrite(fd, p + done, size - done, static_cast<off_t>(offset + done)); });
}

bool ReadFullyAt(int fd, void* data, size_t size, uint64_t offset)
{
    char* p = static_cast<char*>(data);
    // Where the file ends first, errno is 0: no call failed.
    return Whole(size, 0,
                 [&](size_t done) { return ::pread(fd, p + done, size - done, static_cast<off_t>(offset + done)); });
}

bool ReadOpenedFile(int fd, uint64_t size, std::string& out, uint64_t limit, int* err)
{
    return ReadStart(fd, size, out, limit, err);
}

bool ReadOpenedFile(int fd, uint64_t size, std::vector<uint8_t>& out, uint64_t limit, int* err)
{
    return ReadStart(fd, size, out, limit, err);
}

bool WriteExactFile(int folderFd, const std::string& name, std::string_view data, bool exclusive, mode_t mode)
{
    const int fd = ::openat(folderFd, name.c_str(),
                            O_WRONLY | O_CREAT | (exclusive ? O_EXCL : O_TRUNC) | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return false;
    const bool ok = WriteFully(fd, data.data(), data.size());
    const int why = errno;
    if (::close(fd) != 0) return false;
    errno = why;
    return ok;
}

// ---- replacing files ----

ReplacingFile::ReplacingFile(ReplacingFile&& other) noexcept { *this = std::move(other); }

ReplacingFile& ReplacingFile::operator=(ReplacingFile&& other) noexcept
{
    if (this != &other)
    {
        Abandon();
        fd_ = std::exchange(other.fd_, -1);
        folderFd_ = other.folderFd_;
        unnamed_ = other.unnamed_;
        note_ = std::exchange(other.note_, 0);
        name_ = std::move(other.name_);
        temporary_ = std::move(other.temporary_);
    }
    return *this;
}

std::string TemporaryNameFor(const std::string& path) { return OwnNameBeside(path + ".part"); }

bool ReplacingFile::Create(const std::string& path, int access, mode_t mode)
{
    return CreateAt(AT_FDCWD, path, TemporaryNameFor(path), access, mode);
}

namespace {

// A file without a name in the folder that `temporary` (relative to `folderFd`) would be in; -1 with errno set.
int OpenUnnamedFor(int folderFd, const std::string& temporary, int access, mode_t mode)
{
    const size_t slash = temporary.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : temporary.substr(0, slash);
    const int fd = ::openat(folderFd, folder.c_str(), O_TMPFILE | access | O_CLOEXEC, mode);
    if (fd < 0) return -1;
    // The name it gets at the commit must fit the file system, as the named temporary's would have to.
    const long longest = ::fpathconf(fd, _PC_NAME_MAX);
    const size_t last = temporary.size() - (slash == std::string::npos ? 0 : slash + 1);
    if ((longest > 0 && last > static_cast<size_t>(longest)) || (folderFd == AT_FDCWD && temporary.size() >= PATH_MAX))
    {
        ::close(fd);
        errno = ENAMETOOLONG;
        return -1;
    }
    return fd;
}

// Gives the unnamed file open as `fd` the name `temporary` of the folder open as `folderFd`.
bool NameUnnamed(int fd, int folderFd, const std::string& temporary)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), folderFd, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    // Without /proc, a process that may name any open file (root) still can.
    return errno == ENOENT && ::linkat(fd, "", folderFd, temporary.c_str(), AT_EMPTY_PATH) == 0;
}

}  // namespace

bool ReplacingFile::CreateAt(int folderFd, const std::string& name, const std::string& temporary, int access,
                             mode_t mode)
{
    Abandon();
    folderFd_ = folderFd;
    name_ = name;
    temporary_ = temporary;
    // Where the file system makes files without a name, the new contents have none until the commit: a process
    // ended in any way meanwhile leaves nothing behind. Elsewhere the temporary is named from the start, and noted
    // so that a signal that ends the process removes it.
    const TemporariesLock held;
    fd_ = OpenUnnamedFor(folderFd, temporary, access, mode);
    unnamed_ = fd_ >= 0;
    if (unnamed_ || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return unnamed_;
    fd_ = ::openat(folderFd, temporary.c_str(), access | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd_ >= 0) note_ = NoteTemporary(held, folderFd, temporary, false, fd_);
    return fd_ >= 0;
}

bool ReplacingFile::Commit()
{
    if (fd_ < 0)
    {
        errno = EBADF;
        return false;
    }
    // The temporary's name, the close and the rename are one step for a signal's handler: it removes the
    // temporary before or finds the path replaced after. A file without a name is noted (and recorded where the
    // process keeps a register of its own work) just before it gets one, for a kill in that instant.
    const TemporariesLock held;
    const int fd = std::exchange(fd_, -1);
    if (unnamed_) note_ = NoteTemporary(held, folderFd_, temporary_, false, fd);
    bool named = !unnamed_ || NameUnnamed(fd, folderFd_, temporary_);
    int why = errno;
    const bool closed = ::close(fd) == 0;
    if (named && closed && ::renameat(folderFd_, temporary_.c_str(), folderFd_, name_.c_str()) == 0)
    {
        ForgetTemporary(held, std::exchange(note_, 0));
        return true;
    }
    if (named)
    {
        why = errno;
        ::unlinkat(folderFd_, temporary_.c_str(), 0);
    }
    ForgetTemporary(held, std::exchange(note_, 0));
    errno = why;
    return false;
}

void ReplacingFile::Abandon()
{
    if (fd_ < 0) return;
    const int why = errno;
    const TemporariesLock held;
    ::close(std::exchange(fd_, -1));
    if (!unnamed_) ::unlinkat(folderFd_, temporary_.c_str(), 0);
    ForgetTemporary(held, std::exchange(note_, 0));
    errno = why;
}

bool WriteFileReplacing(const std::string& path, std::string_view data, mode_t mode)
{
    ReplacingFile file;
    if (!file.Create(path, O_WRONLY, mode)) return false;
    if (!WriteFully(file.Fd(), data.data(), data.size()))
    {
        file.Abandon();
        return false;
    }
    return file.Commit();
}

// ---- new files made whole ----

namespace {

// Writes `data` to the file open as `fd` and closes it. False with errno set (the write's error first).
bool WriteAndClose(int fd, std::string_view data)
{
    const bool written = WriteFully(fd, data.data(), data.size());
    const int why = errno;
    if (::close(fd) != 0 && written) return false;
    errno = why;
    return written;
}

}  // namespace

bool WriteNewFileWholeThroughTemporary(const std::string& path, std::string_view data, mode_t mode)
{
    const std::string temporary = TemporaryNameFor(path);
    uint64_t note = 0;
    int fd = -1;
    {
        const TemporariesLock held;
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) return false;
        note = NoteTemporary(held, AT_FDCWD, temporary);
    }
    const bool written = WriteAndClose(fd, data);
    // The name and the temporary's removal are one step for a signal's handler: it removes the temporary before,
    // or finds the path made after. A hard link never replaces; without hard links, a rename that never does.
    const TemporariesLock held;
    bool linked = false, renamed = false;
    if (written)
    {
        linked = ::link(temporary.c_str(), path.c_str()) == 0;
        if (!linked && (errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK || errno == ENOSYS))
            renamed = RenameNoReplace(temporary, path);
    }
    const int why = errno;
    if (!renamed) ::unlink(temporary.c_str());
    ForgetTemporary(held, note);
    errno = why;
    return linked || renamed;
}

bool WriteNewFileWhole(const std::string& path, std::string_view data, mode_t mode)
{
    int fd = OpenUnnamedFor(AT_FDCWD, path, O_WRONLY, mode);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        return WriteNewFileWholeThroughTemporary(path, data, mode);
    if (fd < 0 || !WriteFully(fd, data.data(), data.size()))
    {
        const int why = errno;
        if (fd >= 0) ::close(fd);
        errno = why;
        return false;
    }
    // Linked only once whole: the name never shows part of it.
    const bool named = NameUnnamed(fd, AT_FDCWD, path);
    const int why = errno;
    if (::close(std::exchange(fd, -1)) != 0 && named)
    {
        // What was written may not all be there: the name made a moment ago goes again.
        const int closing = errno;
        ::unlink(path.c_str());
        errno = closing;
        return false;
    }
    errno = why;
    return named;
}

}  // namespace Platform
