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

    // Takes the lock on `path` (the file is created with mode 0600 if missing) without waiting.
    bool TryLock(const std::string& path, std::string* error = nullptr);
    // Waits up to `timeoutMs` for the lock (negative: without limit).
    bool Lock(const std::string& path, int timeoutMs, std::string* error = nullptr);
    void Unlock();
    bool IsLocked() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace Platform
