#include "daemon/TakenFolder.h"

#include "platform/FileLease.h"
#include "platform/FolderWalk.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// How long a record waits at most for the clock to leave the tick of a file's last change.
constexpr int kTickWaitSteps = 25;
constexpr long kTickWaitStepNs = 1000000;
// A change time further ahead of the clock than this was not stamped in its current tick (a clock set back
// since, a file system with a clock of its own): a later write is stamped otherwise, and nothing is waited for.
constexpr long long kFarAheadNs = 20000000;
// Bytes compared at a time when a file is checked against the installed copy.
constexpr size_t kCompareBlock = 256 * 1024;

long long Nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec; }

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// Waits until the clock the file systems stamp changes with has left the tick of `st`'s last change: any write
// from then on gives the file another change time. False when it did not within a few milliseconds.
bool AfterLastChangeTick(const struct stat& st)
{
    for (int step = 0;; ++step)
    {
        timespec now{};
        if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) return false;
        const long long ahead = Nanoseconds(st.st_ctim) - Nanoseconds(now);
        if (ahead < 0 || ahead > kFarAheadNs) return true;
        if (step == kTickWaitSteps) return false;
        const timespec pause{0, kTickWaitStepNs};
        ::nanosleep(&pause, nullptr);
    }
}

// Whether `st` is still the entry recorded as `e`.
bool StillAsRecorded(const TakenEntry& e, const struct stat& st)
{
    if (e.device != st.st_dev || e.inode != st.st_ino || e.type != (st.st_mode & S_IFMT)) return false;
    if (S_ISDIR(st.st_mode) || e.linked) return true;
    return !e.unsure && e.size == st.st_size && SameTime(e.modified, st.st_mtim) && SameTime(e.changed, st.st_ctim);
}

int OpenFolderAt(int at, const char* name)
{
    return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

std::string Below(const std::string& path, const std::string& name) { return path.empty() ? name : path + "/" + name; }

// Adds each entry below the open folder `fd` (at `path`) to `record`.
void RecordBelow(int fd, const std::string& path, int depth, TakenRecord& record)
{
    std::vector<std::string> names;
    if (depth > Platform::kMaxFolderWalkDepth || !Platform::ListNamesAt(fd, names)) return;
    for (const std::string& name : names)
    {
        const std::string sub = Below(path, name);
        struct stat st;
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(st.st_mode))
        {
            record.Add(sub, st);
            continue;
        }
        const Platform::UniqueFd folder(OpenFolderAt(fd, name.c_str()));
        if (folder.Get() < 0 || ::fstat(folder.Get(), &st) != 0) continue;
        record.Add(sub, st);
        RecordBelow(folder.Get(), sub, depth + 1, record);
    }
}

// Whether the two open regular files hold the same bytes (both of `size` bytes as opened).
bool SameBytes(int a, int b, off_t size)
{
    std::vector<char> left(kCompareBlock), right(kCompareBlock);
    for (off_t at = 0; at < size;)
    {
        const size_t want = static_cast<size_t>(std::min<off_t>(size - at, static_cast<off_t>(kCompareBlock)));
        const ssize_t n = ::pread(a, left.data(), want, at);
        if (n <= 0 || ::pread(b, right.data(), static_cast<size_t>(n), at) != n ||
            std::memcmp(left.data(), right.data(), static_cast<size_t>(n)) != 0)
            return false;
        at += n;
    }
    return true;
}

// Adds the entries below the open folder `fd` (at `path`) that the open folder `copy` holds as they are.
void RecordSameBelow(int fd, int copy, const std::string& path, int depth, TakenRecord& record)
{
    std::vector<std::string> names;
    if (depth > Platform::kMaxFolderWalkDepth || !Platform::ListNamesAt(fd, names)) return;
    for (const std::string& name : names)
    {
        const std::string sub = Below(path, name);
        struct stat st, theirs;
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            ::fstatat(copy, name.c_str(), &theirs, AT_SYMLINK_NOFOLLOW) != 0 ||
            (st.st_mode & S_IFMT) != (theirs.st_mode & S_IFMT))
            continue;
        if (S_ISDIR(st.st_mode))
        {
            const Platform::UniqueFd folder(OpenFolderAt(fd, name.c_str()));
            const Platform::UniqueFd other(OpenFolderAt(copy, name.c_str()));
            if (folder.Get() < 0 || other.Get() < 0 || ::fstat(folder.Get(), &st) != 0) continue;
            record.Add(sub, st);
            RecordSameBelow(folder.Get(), other.Get(), sub, depth + 1, record);
            continue;
        }
        if (!S_ISREG(st.st_mode)) continue;
        const Platform::UniqueFd mine(::openat(fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        const Platform::UniqueFd other(::openat(copy, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (mine.Get() < 0 || other.Get() < 0 || ::fstat(mine.Get(), &st) != 0 || ::fstat(other.Get(), &theirs) != 0 ||
            !S_ISREG(st.st_mode) || !S_ISREG(theirs.st_mode))
            continue;
        if (st.st_dev == theirs.st_dev && st.st_ino == theirs.st_ino)
        {
            record.Add(sub, st, true);
            continue;
        }
        if (st.st_size != theirs.st_size) continue;
        // The status is recorded before the bytes are read: a write after that changes it.
        record.Add(sub, st);
        if (!SameBytes(mine.Get(), other.Get(), st.st_size)) record.Forget(sub);
    }
}

// Removes the recorded entries below the open folder `fd` (at `path`) that are still as recorded.
class Remover
{
public:
    explicit Remover(const TakenRecord& record) : record_(record) {}

    void Clear(int fd, const std::string& path, int depth)
    {
        std::vector<std::string> names;
        if (!Platform::ListNamesAt(fd, names))
        {
            Failed(errno);
            return;
        }
        for (const std::string& name : names)
        {
            const std::string sub = Below(path, name);
            const TakenEntry* e = record_.Find(sub);
            struct stat st;
            if (!e || ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !StillAsRecorded(*e, st))
            {
                ++result.kept;
                continue;
            }
            if (S_ISDIR(st.st_mode))
                ClearFolder(fd, name, sub, *e, depth);
            else if (S_ISREG(st.st_mode) && !e->linked)
                RemoveFile(fd, name, *e);
            else if (::unlinkat(fd, name.c_str(), 0) == 0)
                ++result.removed;
            else
                Failed(errno);
        }
    }

    TakenRemoval result;

private:
    void Failed(int error)
    {
        if (error != ENOENT && result.error == 0) result.error = error;
    }
    void ClearFolder(int fd, const std::string& name, const std::string& sub, const TakenEntry& e, int depth)
    {
        const Platform::UniqueFd folder(OpenFolderAt(fd, name.c_str()));
        struct stat st;
        if (folder.Get() < 0 || ::fstat(folder.Get(), &st) != 0 || !StillAsRecorded(e, st) ||
            depth >= Platform::kMaxFolderWalkDepth)
        {
            ++result.kept;
            return;
        }
        Clear(folder.Get(), sub, depth + 1);
        // Only an empty folder goes: whatever stays in it keeps it.
        if (::unlinkat(fd, name.c_str(), AT_REMOVEDIR) == 0)
            ++result.removed;
        else if (errno != ENOTEMPTY && errno != EEXIST)
            Failed(errno);
    }
    // A regular file goes while this process holds its write lease (nobody else has it open, and an open
    // meanwhile is held back until the lease is let go), once its status is still the recorded one.
    void RemoveFile(int fd, const std::string& name, const TakenEntry& e)
    {
        const Platform::UniqueFd file(::openat(fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (file.Get() < 0)
        {
            // Held by another lease (EWOULDBLOCK), or gone or replaced since it was looked at.
            ++result.kept;
            return;
        }
        const Platform::LeaseResult lease = Platform::TakeWriteLease(file.Get());
        // Open elsewhere: a write through that descriptor may still come.
        if (lease == Platform::LeaseResult::kOpenElsewhere)
        {
            ++result.kept;
            return;
        }
        struct stat opened, named;
        const bool same = ::fstat(file.Get(), &opened) == 0 && StillAsRecorded(e, opened) &&
                          ::fstatat(fd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                          named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
        if (!same)
            ++result.kept;
        else if (::unlinkat(fd, name.c_str(), 0) == 0)
            ++result.removed;
        else
            Failed(errno);
        if (lease == Platform::LeaseResult::kHeld) Platform::ReleaseLease(file.Get());
    }

    const TakenRecord& record_;
};

// The parent of `path` and its last name.
void Split(const std::string& path, std::string& parent, std::string& name)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const size_t slash = p.rfind('/');
    parent = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
    name = slash == std::string::npos ? p : p.substr(slash + 1);
}

}  // namespace

void TakenRecord::Add(const std::string& path, const struct stat& st, bool linked)
{
    if (entries_.size() >= kMaxEntries && !entries_.count(path)) return;
    TakenEntry e;
    e.device = st.st_dev;
    e.inode = st.st_ino;
    e.type = st.st_mode & S_IFMT;
    e.size = st.st_size;
    e.modified = st.st_mtim;
    e.changed = st.st_ctim;
    e.linked = linked;
    e.unsure = S_ISREG(st.st_mode) && !linked && !AfterLastChangeTick(st);
    entries_[path] = e;
}

const TakenEntry* TakenRecord::Find(const std::string& path) const
{
    const auto it = entries_.find(path);
    return it == entries_.end() ? nullptr : &it->second;
}

TakenRecord RecordTakenFolder(const std::string& folder)
{
    TakenRecord record;
    const Platform::UniqueFd top(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (top.Get() < 0 || ::fstat(top.Get(), &st) != 0) return record;
    record.Add("", st);
    RecordBelow(top.Get(), "", 0, record);
    return record;
}

TakenRecord RecordSameAsCopy(const std::string& folder, const std::string& copy)
{
    TakenRecord record;
    const Platform::UniqueFd top(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const Platform::UniqueFd other(::open(copy.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (top.Get() < 0 || other.Get() < 0 || ::fstat(top.Get(), &st) != 0) return record;
    record.Add("", st);
    RecordSameBelow(top.Get(), other.Get(), "", 0, record);
    return record;
}

TakenRemoval RemoveTakenEntries(const std::string& folder, const TakenRecord& record)
{
    Remover remover(record);
    TakenRemoval& result = remover.result;
    std::string parentPath, name;
    Split(folder, parentPath, name);
    const Platform::UniqueFd parent(::open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.Get() < 0)
    {
        result.gone = errno == ENOENT;
        if (!result.gone) result.error = errno;
        return result;
    }
    struct stat st;
    if (::fstatat(parent.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    {
        result.gone = errno == ENOENT;
        if (!result.gone) result.error = errno;
        return result;
    }
    const TakenEntry* top = record.Find("");
    const Platform::UniqueFd fd(S_ISDIR(st.st_mode) ? OpenFolderAt(parent.Get(), name.c_str()) : -1);
    if (!top || fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !StillAsRecorded(*top, st))
    {
        ++result.kept;
        return result;
    }
    remover.Clear(fd.Get(), "", 0);
    if (::unlinkat(parent.Get(), name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT)
    {
        result.gone = true;
        ++result.removed;
    }
    else if (errno != ENOTEMPTY && errno != EEXIST && result.error == 0)
        result.error = errno;
    return result;
}
