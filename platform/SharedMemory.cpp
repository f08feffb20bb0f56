#include "platform/SharedMemory.h"

#include "platform/EntryNames.h"
#include "platform/FileWriting.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace Platform {
namespace {

void SetError(std::string* error, const std::string& what)
{
    if (error) *error = what;
}

std::string Errno(const std::string& what) { return what + ": " + std::strerror(errno); }

// Every open of a name: a link there is never followed and nothing there makes the open wait (a FIFO would, until
// somebody opened its other end). What was opened is checked with fstat afterwards.
int OpenName(const std::string& posix, int flags, mode_t mode = 0)
{
    return shm_open(posix.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
}

std::string OpenError(const std::string& posix)
{
    return errno == ELOOP ? "shared memory " + posix + " is a symbolic link" : Errno("shm_open " + posix);
}

// A block of this user's: a regular file that it owns. Whatever else is at a name (a FIFO, say) is nobody's block.
bool OwnBlock(const struct stat& st, const std::string& posix, std::string* error)
{
    if (!S_ISREG(st.st_mode))
    {
        SetError(error, "shared memory " + posix + " is not a regular file");
        return false;
    }
    if (st.st_uid != geteuid())
    {
        SetError(error, "shared memory " + posix + " belongs to another user (uid " + std::to_string(st.st_uid) + ")");
        return false;
    }
    return true;
}

// A block is used only when it is this user's own and nobody else may read or write it.
bool OwnedAndPrivate(const struct stat& st, const std::string& posix, std::string* error)
{
    if (!OwnBlock(st, posix, error)) return false;
    if ((st.st_mode & 07777) != 0600)
    {
        char mode[8];
        snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        SetError(error, "shared memory " + posix + " has mode " + mode + ", not 0600");
        return false;
    }
    return true;
}

// Reserves the first `size` bytes of the object (its size grows to that when it is smaller); `number` gets the
// errno of a failure.
bool Reserve(int fd, size_t size, const std::string& posix, std::string* error, int* number = nullptr)
{
    int err;
    do err = posix_fallocate(fd, 0, static_cast<off_t>(size));
    while (err == EINTR);
    if (err == 0) return true;
    if (number) *number = err;
    SetError(error, "no room for the " + std::to_string(size) + " bytes of shared memory " + posix + ": " +
                        std::strerror(err) + (err == ENOSPC ? " (/dev/shm is full)" : ""));
    return false;
}

// True when every page of the object has its memory: touching one that has none can raise SIGBUS.
bool Backed(const struct stat& st) { return st.st_size <= 0 || st.st_blocks * 512 >= st.st_size; }

}  // namespace

std::string SharedMemoryName(const std::string& name)
{
    std::string n = !name.empty() && name[0] == '/' ? name.substr(1) : name;
    if (n.empty() || n.size() > 250 || IsDotOrDotDot(n)) return {};
    for (char c : n)
        if (c == '/' || c == '\0') return {};
    return "/" + n;
}

SharedMemoryBlock::SharedMemoryBlock(SharedMemoryBlock&& other) noexcept { *this = std::move(other); }

SharedMemoryBlock& SharedMemoryBlock::operator=(SharedMemoryBlock&& other) noexcept
{
    if (this != &other)
    {
        Close();
        name_ = std::move(other.name_);
        fd_ = std::exchange(other.fd_, -1);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        writable_ = other.writable_;
    }
    return *this;
}

bool SharedMemoryBlock::Map(int fd, size_t size, bool writable, std::string* error)
{
    void* p = mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED)
    {
        const int err = errno;
        SetError(error, Errno("mmap"));
        errno = err;
        return false;
    }
    fd_ = fd;
    data_ = p;
    size_ = size;
    writable_ = writable;
    return true;
}

bool SharedMemoryBlock::Create(const std::string& name, size_t size, std::string* error, int* errorNumber)
{
    Close();
    int number = 0;
    auto refuse = [&](int err, const std::string& why) {
        if (errorNumber) *errorNumber = err;
        SetError(error, why);
        return false;
    };
    std::string posix = SharedMemoryName(name);
    if (posix.empty()) return refuse(EINVAL, "invalid shared memory name '" + name + "'");
    if (size == 0 || size > kMaxSize) return refuse(EINVAL, "invalid shared memory size");
    int fd = OpenName(posix, O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
    {
        number = errno;
        return refuse(number, OpenError(posix));
    }
    // The errno of the step that failed is taken before closing and unlinking can change it.
    auto fail = [&](const std::string& why) {
        close(fd);
        shm_unlink(posix.c_str());
        return refuse(number, why);
    };
    // The umask may have taken bits away; the block must end up exactly 0600 and ours.
    struct stat st
    {};
    if (fchmod(fd, 0600) != 0 || fstat(fd, &st) != 0)
    {
        number = errno;
        return fail(Errno("fstat " + posix));
    }
    std::string why;
    number = EPERM;
    if (!OwnedAndPrivate(st, posix, &why)) return fail(why);
    // The block's pages are reserved now: a full /dev/shm is a clear error here rather than a SIGBUS at the
    // first write. The size appears only once the space is there.
    if (!Reserve(fd, size, posix, &why, &number)) return fail(why);
    if (!Map(fd, size, true, &why))
    {
        number = errno;
        return fail(why);
    }
    name_ = posix;
    return true;
}

bool SharedMemoryBlock::Open(const std::string& name, bool writable, std::string* error)
{
    Close();
    std::string posix = SharedMemoryName(name);
    if (posix.empty())
    {
        SetError(error, "invalid shared memory name '" + name + "'");
        return false;
    }
    int fd = OpenName(posix, writable ? O_RDWR : O_RDONLY);
    if (fd < 0)
    {
        SetError(error, OpenError(posix));
        return false;
    }
    struct stat st
    {};
    if (fstat(fd, &st) != 0)
    {
        SetError(error, Errno("fstat " + posix));
        close(fd);
        return false;
    }
    if (!OwnedAndPrivate(st, posix, error))
    {
        close(fd);
        return false;
    }
    if (st.st_size <= 0 || static_cast<size_t>(st.st_size) > kMaxSize)
    {
        SetError(error, "shared memory " + posix + " has no usable size");
        close(fd);
        return false;
    }
    // A block whose maker could not back it (a full /dev/shm) is reserved before it is written through.
    std::string why;
    if (writable && !Backed(st) && !Reserve(fd, static_cast<size_t>(st.st_size), posix, &why))
    {
        SetError(error, why);
        close(fd);
        return false;
    }
    if (!Map(fd, static_cast<size_t>(st.st_size), writable, error))
    {
        close(fd);
        return false;
    }
    name_ = posix;
    return true;
}

void SharedMemoryBlock::Close()
{
    if (data_) munmap(data_, size_);
    if (fd_ >= 0) close(fd_);
    data_ = nullptr;
    fd_ = -1;
    size_ = 0;
    name_.clear();
}

bool SharedMemoryBlock::RemoveName()
{
    if (fd_ < 0 || name_.empty()) return false;
    int fd = OpenName(name_, O_RDONLY);
    if (fd < 0) return false;
    struct stat named
    {};
    struct stat mine
    {};
    const bool same =
        fstat(fd, &named) == 0 && fstat(fd_, &mine) == 0 && named.st_dev == mine.st_dev && named.st_ino == mine.st_ino;
    close(fd);
    return same && shm_unlink(name_.c_str()) == 0;
}

bool SharedMemoryBlock::Unlink(const std::string& name)
{
    std::string posix = SharedMemoryName(name);
    return !posix.empty() && shm_unlink(posix.c_str()) == 0;
}

bool SharedMemoryBlock::RemoveOwn(const std::string& name, std::string* error)
{
    std::string posix = SharedMemoryName(name);
    if (posix.empty())
    {
        SetError(error, "invalid shared memory name '" + name + "'");
        return false;
    }
    int fd = OpenName(posix, O_RDONLY);
    if (fd < 0)
    {
        SetError(error, errno == EACCES ? "shared memory " + posix + " belongs to another user" : OpenError(posix));
        return false;
    }
    struct stat st
    {};
    const bool known = fstat(fd, &st) == 0;
    close(fd);
    if (!known)
    {
        SetError(error, Errno("fstat " + posix));
        return false;
    }
    // Only a block of ours: whatever else is there is not ours to take away, whoever made it.
    if (!OwnBlock(st, posix, error)) return false;
    if (shm_unlink(posix.c_str()) != 0)
    {
        SetError(error, Errno("shm_unlink " + posix));
        return false;
    }
    return true;
}

bool SharedMemoryBlock::Exists(const std::string& name)
{
    std::string posix = SharedMemoryName(name);
    if (posix.empty()) return false;
    // Anything at the name takes it: a link, a FIFO, a block nobody may open. Only a name that is not there is free.
    int fd = OpenName(posix, O_RDONLY);
    if (fd < 0) return errno != ENOENT;
    close(fd);
    return true;
}

bool SharedMemoryBlock::InBounds(size_t offset, size_t length) const
{
    if (!data_ || offset > size_ || length > size_ - offset) return false;
    // Touching pages beyond a shrunken object would raise SIGBUS.
    struct stat st
    {};
    if (fstat(fd_, &st) != 0 || st.st_size < 0) return false;
    return offset + length <= static_cast<size_t>(st.st_size);
}

// Reads and writes go through the descriptor, not the mapping: a page without memory (a block made while
// /dev/shm was full) reads as zeros and fails a write with an error, where touching it would raise SIGBUS.
bool SharedMemoryBlock::Read(size_t offset, void* out, size_t length) const
{
    if (length == 0) return data_ != nullptr && offset <= size_;
    if (!out || !InBounds(offset, length)) return false;
    return ReadFullyAt(fd_, out, length, offset);
}

bool SharedMemoryBlock::Write(size_t offset, const void* in, size_t length)
{
    if (!writable_) return false;
    if (length == 0) return data_ != nullptr && offset <= size_;
    if (!in || !InBounds(offset, length)) return false;
    return WriteFullyAt(fd_, in, length, offset);
}

}  // namespace Platform
