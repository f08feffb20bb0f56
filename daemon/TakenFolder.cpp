#include "daemon/TakenFolder.h"

#include "platform/FileLease.h"
#include "platform/FolderWalk.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

// How long a copy's record of a file waits at most for the file's times to leave the step they were stamped in.
constexpr int kTickWaitSteps = 25;
constexpr long kTickWaitStepNs = 1000000;
// A time further ahead of the clock than this was not stamped in its current step (a clock set back since, a file
// system with a clock of its own, a time set by hand): a later write is stamped otherwise, and nothing is waited
// for.
constexpr long long kFarAheadNs = 20000000;
// How long a record of a folder taken without a copy waits at most for the times of its files to settle: the
// coarsest step a file system stamps in (two seconds, FAT's) and a little.
constexpr long long kSettleWaitNs = 2200000000LL;
// Bytes compared at a time when a file is checked against the installed copy.
constexpr size_t kCompareBlock = 256 * 1024;

long long Nanoseconds(const timespec& t) { return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec; }

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// The clock the file systems stamp changes with (0 when it cannot be read, which nothing counts as settled).
long long ClockNow()
{
    timespec now{};
    return ::clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0 ? Nanoseconds(now) : 0;
}

// Whether the file system of the device `dev` is one known to stamp times in steps of a second at most, so that
// a whole even second it stamped is not FAT's step of two: learnt from the mount table, and taken as known for a
// second (another file system may be mounted from the same device later).
bool StepsWithinASecond(dev_t dev, long long now)
{
    static constexpr const char* kKnown[] = {"ext2", "ext3", "ext4", "xfs", "btrfs", "tmpfs", "f2fs", "zfs"};
    static std::mutex mutex;
    static std::unordered_map<dev_t, std::pair<bool, long long>> known;  // device -> within, when learnt
    std::lock_guard lock(mutex);
    if (const auto it = known.find(dev); it != known.end() && now - it->second.second < 1000000000LL)
        return it->second.first;
    bool within = false;
    // "<id> <parent id> <major>:<minor> <root> <mount point> <options> [<optional fields>] - <type> <source> ..."
    std::ifstream table("/proc/self/mountinfo");
    for (std::string line; std::getline(table, line);)
    {
        unsigned major = 0, minor = 0;
        const size_t dash = line.find(" - ");
        if (std::sscanf(line.c_str(), "%*u %*u %u:%u", &major, &minor) != 2 || makedev(major, minor) != dev ||
            dash == std::string::npos)
            continue;
        const std::string type = line.substr(dash + 3, line.find(' ', dash + 3) - dash - 3);
        within = std::find(std::begin(kKnown), std::end(kKnown), type) != std::end(kKnown);
        break;
    }
    if (known.size() >= 256) known.clear();
    known[dev] = {within, now};
    return within;
}

// The coarsest step of its file system's clock that the time `t` of a file on the device `dev` can have been
// stamped in. A file system keeps times in steps of its own (nanoseconds on most, one second on ext3 and on an
// ext4 with small inodes, two on FAT), so every time it stamps is a whole number of its steps: two seconds for an
// even whole second (one where the file system is known to stamp no coarser), one for an odd one, else the largest
// power of ten of nanoseconds that divides it. Never finer than the file system's own step, so that waiting it out
// is always enough; coarser only by chance, which costs a wait or a comparison.
long long StampStep(const timespec& t, dev_t dev, long long now)
{
    constexpr long long kSecond = 1000000000LL;
    if (t.tv_nsec == 0)
        return t.tv_sec % 2 != 0 || Nanoseconds(t) + 2 * kSecond <= now || StepsWithinASecond(dev, now) ? kSecond
                                                                                                        : 2 * kSecond;
    long long step = 1;
    for (long n = t.tv_nsec; n % 10 == 0; n /= 10) step *= 10;
    return step;
}

// The clock time from which any write to the file `st` gives it other times: both its change and its modification
// time have left the steps they were stamped in (FAT, say, changes only the latter). A time far ahead of `now` is
// none a write can stamp again, and asks for no wait. 0 when nothing is to be waited for.
long long SettledAt(const struct stat& st, long long now)
{
    long long settled = 0;
    for (const timespec& t : {st.st_ctim, st.st_mtim})
        if (Nanoseconds(t) - now <= kFarAheadNs)
            settled = std::max(settled, Nanoseconds(t) + StampStep(t, st.st_dev, now));
    return settled;
}

// Waits until the clock reads `until`, for `maxNs` at most. False when it did not get there.
bool WaitForClock(long long until, long long maxNs)
{
    for (long long waited = 0;; waited += kTickWaitStepNs)
    {
        const long long now = ClockNow();
        if (now >= until) return true;
        if (waited >= maxNs || now == 0) return false;
        const long long left = std::min<long long>(until - now, kTickWaitStepNs);
        const timespec pause{0, static_cast<long>(left)};
        ::nanosleep(&pause, nullptr);
    }
}

// Whether `st` is still the entry recorded as `e`, as far as its status tells (an unsure file's bytes tell the rest).
bool StillAsRecorded(const TakenEntry& e, const struct stat& st)
{
    if (e.device != st.st_dev || e.inode != st.st_ino || e.type != (st.st_mode & S_IFMT)) return false;
    if (S_ISDIR(st.st_mode) || e.linked) return true;
    return e.size == st.st_size && SameTime(e.modified, st.st_mtim) && SameTime(e.changed, st.st_ctim);
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
        // The clock before the look: a write after the look is stamped at least this late.
        const long long before = ClockNow();
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(st.st_mode))
        {
            record.AddSeen(sub, st, before);
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

// Whether the regular file open as `file` (of `size` bytes) holds the bytes of the regular file `name` in the open
// folder `copy`.
bool SameAsCopy(int file, off_t size, int copy, const char* name)
{
    if (copy < 0) return false;
    const Platform::UniqueFd other(::openat(copy, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    return other.Get() >= 0 && ::fstat(other.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == size &&
           SameBytes(file, other.Get(), size);
}

// Whether the write lease held on `fd` is being broken: another program is opening the file, and its open waits
// until the lease is let go. Removed now, the file would be written on by that program where nobody sees it.
bool LeaseBreaking(int fd)
{
    const int type = ::fcntl(fd, F_GETLEASE);
    return type >= 0 && type != F_WRLCK;
}

// Removes the recorded entries below the open folder `fd` (at `path`) that are still as recorded; `copy` is the
// open folder of the copy at the same place (-1 when there is none), against which an unsure file is compared.
class Remover
{
public:
    explicit Remover(const TakenRecord& record) : record_(record) {}

    void Clear(int fd, int copy, const std::string& path, int depth)
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
                ClearFolder(fd, copy, name, sub, *e, depth);
            else if (S_ISREG(st.st_mode) && !e->linked)
                RemoveFile(fd, copy, name, *e);
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
    void ClearFolder(int fd, int copy, const std::string& name, const std::string& sub, const TakenEntry& e, int depth)
    {
        const Platform::UniqueFd folder(OpenFolderAt(fd, name.c_str()));
        struct stat st;
        if (folder.Get() < 0 || ::fstat(folder.Get(), &st) != 0 || !StillAsRecorded(e, st) ||
            depth >= Platform::kMaxFolderWalkDepth)
        {
            ++result.kept;
            return;
        }
        const Platform::UniqueFd copied(copy >= 0 ? OpenFolderAt(copy, name.c_str()) : -1);
        Clear(folder.Get(), copied.Get(), sub, depth + 1);
        // Only an empty folder goes: whatever stays in it keeps it.
        if (::unlinkat(fd, name.c_str(), AT_REMOVEDIR) == 0)
            ++result.removed;
        else if (errno != ENOTEMPTY && errno != EEXIST)
            Failed(errno);
    }
    // A regular file goes while this process holds its write lease (nobody else has it open, and an open
    // meanwhile is held back until the lease is let go, and then keeps it), once its status is still the
    // recorded one and, for a file whose status cannot tell (unsure), its bytes are still those of the copy.
    void RemoveFile(int fd, int copy, const std::string& name, const TakenEntry& e)
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
                          named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
                          (!e.unsure || SameAsCopy(file.Get(), opened.st_size, copy, name.c_str()));
        if (!same || (lease == Platform::LeaseResult::kHeld && LeaseBreaking(file.Get())))
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

void TakenRecord::Put(const std::string& path, const struct stat& st, bool linked, long long seen, bool wait)
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
    if (S_ISREG(st.st_mode) && !linked)
    {
        const long long settled = SettledAt(st, seen);
        if (seen == 0 || settled > seen)
        {
            // A copy reads the file only after this: waiting here a little is enough where the step is short.
            e.unsure = !wait || settled - seen > kTickWaitSteps * kTickWaitStepNs ||
                       !WaitForClock(settled, kTickWaitSteps * kTickWaitStepNs);
            if (e.unsure && settled - seen <= kSettleWaitNs) settledAt_ = std::max(settledAt_, settled);
        }
    }
    entries_[path] = e;
}

void TakenRecord::Add(const std::string& path, const struct stat& st, bool linked)
{
    Put(path, st, linked, ClockNow(), true);
}

void TakenRecord::AddSeen(const std::string& path, const struct stat& st, long long clockBefore)
{
    Put(path, st, false, clockBefore, false);
}

const TakenEntry* TakenRecord::Find(const std::string& path) const
{
    const auto it = entries_.find(path);
    return it == entries_.end() ? nullptr : &it->second;
}

namespace {

TakenRecord RecordFolderOnce(const std::string& folder)
{
    TakenRecord record;
    const Platform::UniqueFd top(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (top.Get() < 0 || ::fstat(top.Get(), &st) != 0) return record;
    record.Add("", st);
    RecordBelow(top.Get(), "", 0, record);
    return record;
}

}  // namespace

TakenRecord RecordTakenFolder(const std::string& folder)
{
    TakenRecord record = RecordFolderOnce(folder);
    // Files changed within their file system's step: once it is over, a second record can tell any later write.
    if (record.UnsureSettledAt() == 0 || !WaitForClock(record.UnsureSettledAt(), kSettleWaitNs)) return record;
    return RecordFolderOnce(folder);
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

TakenRemoval RemoveTakenEntries(const std::string& folder, const TakenRecord& record, const std::string& copy)
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
    const Platform::UniqueFd copied(
        copy.empty() ? -1 : ::open(copy.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    remover.Clear(fd.Get(), copied.Get(), "", 0);
    if (::unlinkat(parent.Get(), name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT)
    {
        result.gone = true;
        ++result.removed;
    }
    else if (errno != ENOTEMPTY && errno != EEXIST && result.error == 0)
        result.error = errno;
    return result;
}
