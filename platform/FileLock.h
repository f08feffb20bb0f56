#pragma once
// A named exclusive lock between processes: flock() on a lock file. The system drops the lock when
// its holder ends, however it ends, so a crashed holder never leaves it taken.
#include <string>

namespace Platform {

class FileLock
{
public:
    FileLock() = default;
    ~FileLock() { Unlock(); }
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock on `path` (the file is created with mode 0600 if missing) without waiting. On failure
    // `heldElsewhere` tells a lock another holder has from a file that cannot be opened or created (the
    // error then names the file and the system's reason).
    bool TryLock(const std::string& path, std::string* error = nullptr, bool* heldElsewhere = nullptr);
    // Waits up to `timeoutMs` for the lock (negative: without limit).
    bool Lock(const std::string& path, int timeoutMs, std::string* error = nullptr, bool* heldElsewhere = nullptr);
    void Unlock();
    bool IsLocked() const { return fd_ >= 0; }
    // The descriptor of the locked file (-1 when not locked), to tell whether `path` still names it.
    int Descriptor() const { return fd_; }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace Platform
