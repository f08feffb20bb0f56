#include "platform/FileWriting.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>

namespace Platform {

bool WriteFully(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0)
    {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
        {
            if (n == 0) errno = EIO;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteFullyAt(int fd, const void* data, size_t size, uint64_t offset)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0)
    {
        const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
        {
            if (n == 0) errno = EIO;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool ReadFullyAt(int fd, void* data, size_t size, uint64_t offset)
{
    char* p = static_cast<char*>(data);
    while (size > 0)
    {
        const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
        {
            if (n == 0) errno = 0;  // the file ends first: no failure of the system's
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool WriteExactFile(const std::string& path, std::string_view data, mode_t mode)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
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
        name_ = std::move(other.name_);
        temporary_ = std::move(other.temporary_);
    }
    return *this;
}

bool ReplacingFile::Create(const std::string& path, int access, mode_t mode)
{
    static std::atomic<uint64_t> s_count{0};
    return CreateAt(AT_FDCWD, path,
                    path + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(s_count.fetch_add(1)), access,
                    mode);
}

bool ReplacingFile::CreateAt(int folderFd, const std::string& name, const std::string& temporary, int access,
                             mode_t mode)
{
    Abandon();
    folderFd_ = folderFd;
    name_ = name;
    temporary_ = temporary;
    fd_ = ::openat(folderFd, temporary.c_str(), access | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    return fd_ >= 0;
}

bool ReplacingFile::Commit()
{
    if (fd_ < 0)
    {
        errno = EBADF;
        return false;
    }
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) == 0 && ::renameat(folderFd_, temporary_.c_str(), folderFd_, name_.c_str()) == 0) return true;
    const int why = errno;
    ::unlinkat(folderFd_, temporary_.c_str(), 0);
    errno = why;
    return false;
}

void ReplacingFile::Abandon()
{
    if (fd_ < 0) return;
    const int why = errno;
    ::close(std::exchange(fd_, -1));
    ::unlinkat(folderFd_, temporary_.c_str(), 0);
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

}  // namespace Platform
