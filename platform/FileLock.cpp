#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace Platform {

FileLock::FileLock(FileLock&& other) noexcept { *this = std::move(other); }

FileLock& FileLock::operator=(FileLock&& other) noexcept
{
    if (this != &other)
    {
        Unlock();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

bool FileLock::TryLock(const std::string& path, std::string* error, bool* heldElsewhere)
{
    return Lock(path, 0, error, heldElsewhere);
}

bool FileLock::Lock(const std::string& path, int timeoutMs, std::string* error, bool* heldElsewhere)
{
    Unlock();
    if (heldElsewhere) *heldElsewhere = false;
    if (path.empty() || path.find('\0') != std::string::npos)
    {
        if (error) *error = "no lock file given";
        return false;
    }
    // Close-on-exec: a child started while we hold the lock must not inherit (and so keep) it.
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    bool creating = false;
    if (fd < 0 && errno == ENOENT)
    {
        creating = true;
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    if (fd < 0)
    {
        if (error) *error = "'" + path + "' cannot be " + (creating ? "created: " : "opened: ") + std::strerror(errno);
        return false;
    }
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    int napMs = 1;
    for (;;)
    {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) break;
        const int err = errno;
        if (err == EINTR) continue;
        if (err != EWOULDBLOCK || (timeoutMs >= 0 && Clock::now() >= deadline))
        {
            if (error)
                *error = err == EWOULDBLOCK ? "lock " + path + " is held" : "flock " + path + ": " + std::strerror(err);
            if (heldElsewhere) *heldElsewhere = err == EWOULDBLOCK;
            close(fd);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(napMs));
        napMs = std::min(napMs * 2, 25);
    }
    fd_ = fd;
    path_ = path;
    return true;
}

void FileLock::Unlock()
{
    if (fd_ >= 0)
    {
        flock(fd_, LOCK_UN);
        close(fd_);
    }
    fd_ = -1;
    path_.clear();
}

}  // namespace Platform
