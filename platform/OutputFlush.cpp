#include "platform/OutputFlush.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace Platform {

namespace {

struct NotedFileSystem
{
    dev_t device;
    int folder;  // a folder on it, open for reading: what syncfs is given
};

std::atomic<bool> noting{false};
std::mutex notedMutex;
std::vector<NotedFileSystem> noted;
bool syncEverything = false;  // a file system could not be noted: the flush syncs them all

bool KnownLocked(dev_t device)
{
    return std::any_of(noted.begin(), noted.end(), [&](const NotedFileSystem& n) { return n.device == device; });
}

bool Known(dev_t device)
{
    const std::lock_guard lock(notedMutex);
    return KnownLocked(device);
}

// Keeps the folder open as `folder` for its file system `device`, unless one is kept for it already; the record is
// full, or no folder could be opened (-1): every file system is synced instead.
void Keep(int folder, dev_t device)
{
    std::unique_lock lock(notedMutex);
    if (folder >= 0 && !KnownLocked(device) && noted.size() < kMaxNotedFileSystems)
    {
        noted.push_back({device, folder});
        return;
    }
    if (folder < 0 || !KnownLocked(device)) syncEverything = true;
    lock.unlock();
    if (folder >= 0) ::close(folder);
}

// The folder at `path` (relative to `at`), opened for syncfs; -1 where it cannot be opened, or is not on `device`.
int OpenFolderOn(int at, const char* path, dev_t device)
{
    const int fd = ::openat(at, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_dev == device) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// Syncs the file system of the open folder `fd` and closes it; the first failure goes to `failed` (0: none yet).
// syncfs reports a write that failed on the file system since the folder was opened, which sync cannot.
void SyncAndClose(int fd, int& failed)
{
    if (::syncfs(fd) != 0 && failed == 0) failed = errno != 0 ? errno : EIO;
    ::close(fd);
}

bool Synced(int failed, std::string* reason)
{
    if (failed != 0 && reason) *reason = std::strerror(failed);
    return failed == 0;
}

}  // namespace

void SetNotingWrittenOutputs(bool on) { noting.store(on, std::memory_order_relaxed); }

bool NotingWrittenOutputs() { return noting.load(std::memory_order_relaxed); }

void NoteWrittenFolder(int at, const char* folder)
{
    if (!NotingWrittenOutputs()) return;
    struct stat st;
    if (::fstatat(at, folder, &st, 0) != 0)
    {
        Keep(-1, 0);
        return;
    }
    if (Known(st.st_dev)) return;
    Keep(OpenFolderOn(at, folder, st.st_dev), st.st_dev);
}

void NoteWrittenFile(int fd)
{
    if (!NotingWrittenOutputs()) return;
    struct stat st;
    if (::fstat(fd, &st) != 0)
    {
        Keep(-1, 0);
        return;
    }
    if (Known(st.st_dev)) return;
    // The folder that holds it now, by the name the system has for it; one that is no longer on the file's own file
    // system (renamed meanwhile), or a file without a name, falls back to syncing everything.
    char path[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(self.c_str(), path, sizeof path - 1);
    int folder = -1;
    if (n > 0 && static_cast<size_t>(n) < sizeof path - 1 && path[0] == '/')
    {
        const std::string_view name(path, static_cast<size_t>(n));
        const std::string parent(name.substr(0, std::max<size_t>(name.rfind('/'), 1)));
        folder = OpenFolderOn(AT_FDCWD, parent.c_str(), st.st_dev);
    }
    Keep(folder, st.st_dev);
}

bool FlushWrittenOutputs(std::string* reason)
{
    std::vector<NotedFileSystem> flushing;
    bool everything = false;
    {
        const std::lock_guard lock(notedMutex);
        flushing.swap(noted);
        everything = std::exchange(syncEverything, false);
    }
    if (everything) ::sync();
    int failed = 0;
    for (const NotedFileSystem& n : flushing) SyncAndClose(n.folder, failed);
    return Synced(failed, reason);
}

bool SyncFileSystems(const std::vector<std::string>& folders, std::string* reason)
{
    std::vector<dev_t> synced;
    int failed = 0;
    for (const std::string& folder : folders)
    {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0)
        {
            if (errno != ENOENT && failed == 0) failed = errno;  // nothing there, nothing to keep
            if (fd >= 0) ::close(fd);
            continue;
        }
        if (std::find(synced.begin(), synced.end(), st.st_dev) != synced.end())
        {
            ::close(fd);
            continue;
        }
        synced.push_back(st.st_dev);
        SyncAndClose(fd, failed);
    }
    return Synced(failed, reason);
}

size_t NotedFileSystems()
{
    const std::lock_guard lock(notedMutex);
    return noted.size();
}

}  // namespace Platform
