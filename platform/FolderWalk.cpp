#include "platform/FolderWalk.h"

#include "platform/FileWriting.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

namespace Platform {
namespace {

// Links followed on one path at most, as the kernel allows.
constexpr int kMaxLinks = 40;
constexpr size_t kCopyBlock = size_t(1) << 20;

bool OwnedHere(uid_t uid) { return uid == geteuid() || uid == 0; }

// Group write counts as others: whoever else is in the folder's group (this user's own group too) can change it.
bool WritableByOthers(const struct stat& st) { return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

std::string Describe(std::string_view path, int error)
{
    return "'" + std::string(path) + "': " + std::strerror(error);
}

// The descriptors of the folders from the start of a path to where its resolution stands; closes them all.
class FolderChain
{
public:
    ~FolderChain()
    {
        for (int fd : fds_) ::close(fd);
    }
    int Back() const { return fds_.back(); }
    void Push(int fd) { fds_.push_back(fd); }
    void Reset(int fd)
    {
        for (int f : fds_) ::close(f);
        fds_.assign(1, fd);
    }
    // Goes to the parent folder: the one below on the chain, or the folder's own ".." at the start.
    bool Up()
    {
        if (fds_.size() > 1)
        {
            ::close(fds_.back());
            fds_.pop_back();
            return true;
        }
        const int up = ::openat(fds_.back(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (up < 0) return false;
        ::close(fds_.back());
        fds_.back() = up;
        return true;
    }

private:
    std::vector<int> fds_;
};

// Components still to resolve, the next one last.
void PushComponents(std::vector<std::string>& todo, std::string_view path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size())
    {
        size_t cut = path.find('/', start);
        if (cut == std::string_view::npos) cut = path.size();
        if (cut > start) parts.emplace_back(path.substr(start, cut - start));
        start = cut + 1;
    }
    todo.insert(todo.end(), parts.rbegin(), parts.rend());
}

// The usual case in one call: a path without any symbolic link on it, opened by the kernel with links refused.
// -1 when it holds one (or the kernel cannot tell), for the walk component by component to decide.
int OpenWithoutLinks(int start, std::string_view path)
{
    const std::string p(path);
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS;
    const long fd = ::syscall(SYS_openat2, start >= 0 ? start : AT_FDCWD, p.c_str(), &how, sizeof how);
    return fd >= 0 ? static_cast<int>(fd) : -1;
}

// Resolves `path` from `start` (a descriptor this takes over; ignored for an absolute path) to an open
// folder. See Folder::Open.
int ResolveFolder(int start, std::string_view path, unsigned flags, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return -1;
    };
    if ((flags & kOpenGuarded) == 0 && path.find('\0') == std::string_view::npos)
    {
        const int fd = OpenWithoutLinks(start, path);
        if (fd >= 0)
        {
            if (start >= 0) ::close(start);
            return fd;
        }
    }
    FolderChain chain;
    if (!path.empty() && path.front() == '/')
    {
        if (start >= 0) ::close(start);
        start = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (start < 0) return fail(Describe(path, errno));
    chain.Push(start);
    std::vector<std::string> todo;
    PushComponents(todo, path);
    int links = 0;
    while (!todo.empty())
    {
        const std::string part = std::move(todo.back());
        todo.pop_back();
        if (part == ".") continue;
        if (part == "..")
        {
            if (!chain.Up()) return fail(Describe(path, errno));
            continue;
        }
        struct stat folder
        {};
        if (::fstat(chain.Back(), &folder) != 0) return fail(Describe(path, errno));
        const int fd = ::openat(chain.Back(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0)
        {
            struct stat entry
            {};
            if (::fstat(fd, &entry) != 0 || !S_ISDIR(entry.st_mode))
            {
                ::close(fd);
                return fail(Describe(path, ENOTDIR));
            }
            chain.Push(fd);
            if ((flags & kOpenGuarded) != 0 && !EntryIsGuarded(folder, entry))
                return fail("'" + std::string(path) + "' lies in a folder that another user can change ('" + part +
                            "')");
            continue;
        }
        const int why = errno;
        struct stat link
        {};
        if ((why != ELOOP && why != ENOTDIR) ||
            ::fstatat(chain.Back(), part.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode))
            return fail(Describe(path, why));
        if (todo.empty() && (flags & kOpenNoFinalLink) != 0)
            return fail("'" + std::string(path) + "' is a symbolic link, not a folder");
        // A link that another user may have put there, or swapped in since the path was looked at, is never
        // followed: it could lead anywhere this user can read.
        if (!EntryIsGuarded(folder, link))
            return fail("'" + std::string(path) + "' is reached through a symbolic link ('" + part +
                        "') that another user can change");
        if (++links > kMaxLinks) return fail(Describe(path, ELOOP));
        char target[PATH_MAX];
        const ssize_t n = ::readlinkat(chain.Back(), part.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof target)
            return fail(Describe(path, n < 0 ? errno : ENAMETOOLONG));
        const std::string_view to(target, static_cast<size_t>(n));
        if (to.front() == '/')
        {
            const int root = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (root < 0) return fail(Describe(path, errno));
            chain.Reset(root);
        }
        PushComponents(todo, to);
    }
    // The folder itself, opened to be read.
    const int fd = ::openat(chain.Back(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return fail(Describe(path, errno));
    struct stat last
    {};
    if ((flags & kOpenGuarded) != 0 && (::fstat(fd, &last) != 0 || !OwnedHere(last.st_uid)))
    {
        ::close(fd);
        return fail("'" + std::string(path) + "' belongs to another user");
    }
    return fd;
}

}  // namespace

bool EntryIsGuarded(const struct stat& folder, const struct stat& entry)
{
    if (!OwnedHere(folder.st_uid)) return false;
    if (!WritableByOthers(folder)) return true;
    // In a sticky folder only the entry's owner and the folder's may remove or rename the entry.
    return (folder.st_mode & S_ISVTX) != 0 && OwnedHere(entry.st_uid);
}

Folder::Folder(Folder&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Folder& Folder::operator=(Folder&& other) noexcept
{
    if (this != &other)
    {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void Folder::Close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Folder::Open(const std::string& path, std::string* error, unsigned flags)
{
    Close();
    if (path.empty())
    {
        if (error) *error = "no folder named";
        return false;
    }
    const int start = path.front() == '/' ? -1 : ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    fd_ = ResolveFolder(start, path, flags, error);
    return fd_ >= 0;
}

bool Folder::OpenFrom(const Folder& base, std::string_view path, std::string* error, unsigned flags)
{
    int start = base.IsOpen() ? ::fcntl(base.fd_, F_DUPFD_CLOEXEC, 0) : -1;
    if (start < 0 && (path.empty() || path.front() != '/'))
    {
        if (error) *error = Describe(path, base.IsOpen() ? errno : EBADF);
        return false;
    }
    const int fd = ResolveFolder(start, path, flags, error);
    Close();
    fd_ = fd;
    return fd_ >= 0;
}

bool Folder::OpenSub(const Folder& parent, std::string_view name, int* err)
{
    Close();
    const std::string n(name);
    if (!parent.IsOpen() || !IsPlainEntryName(name))
    {
        if (err) *err = parent.IsOpen() ? EINVAL : EBADF;
        return false;
    }
    fd_ = ::openat(parent.fd_, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0 && err) *err = errno;
    return fd_ >= 0;
}

bool ListNamesAt(int fd, std::vector<std::string>& names)
{
    const int own = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = own >= 0 ? ::fdopendir(own) : nullptr;
    if (!d)
    {
        if (own >= 0) ::close(own);
        return false;
    }
    errno = 0;
    while (const dirent* e = ::readdir(d))
    {
        if (!IsDotOrDotDot(e->d_name)) names.emplace_back(e->d_name);
        errno = 0;
    }
    const int why = errno;
    ::closedir(d);
    errno = why;
    return why == 0;
}

bool Folder::List(std::vector<FolderEntry>& out, int* err) const
{
    out.clear();
    // The listing reads through a descriptor of its own, which closedir closes; it shares the position of
    // ours, so it starts from the beginning.
    const int fd = IsOpen() ? ::fcntl(fd_, F_DUPFD_CLOEXEC, 0) : -1;
    DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!d)
    {
        if (err) *err = IsOpen() ? errno : EBADF;
        if (fd >= 0) ::close(fd);
        return false;
    }
    ::rewinddir(d);
    errno = 0;
    while (dirent* e = ::readdir(d))
    {
        const std::string_view n(e->d_name);
        if (IsDotOrDotDot(n)) continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN)
        {
            struct stat st;
            type = ::fstatat(fd_, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ? DT_UNKNOWN
                   : S_ISDIR(st.st_mode)                                    ? DT_DIR
                   : S_ISREG(st.st_mode)                                    ? DT_REG
                                                                            : DT_UNKNOWN;
        }
        out.push_back({std::string(n), type == DT_REG   ? EntryType::kFile
                                       : type == DT_DIR ? EntryType::kFolder
                                                        : EntryType::kOther});
        errno = 0;
    }
    const int why = errno;
    ::closedir(d);
    if (why != 0)
    {
        if (err) *err = why;
        out.clear();
        return false;
    }
    std::sort(out.begin(), out.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
}

OpenedFile::Result OpenedFile::Open(const Folder& folder, std::string_view name, int* err)
{
    Close();
    if (!folder.IsOpen() || !IsPlainEntryName(name))
    {
        if (err) *err = folder.IsOpen() ? EINVAL : EBADF;
        return Result::kFailed;
    }
    const std::string n(name);
    // No link is followed and no pipe waited on, whatever the name was when the folder was listed.
    const int fd = ::openat(folder.Fd(), n.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
    {
        const int why = errno;
        struct stat st;
        if (why == ELOOP || (::fstatat(folder.Fd(), n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)))
            return Result::kNotRegular;
        if (err) *err = why;
        return Result::kFailed;
    }
    if (::fstat(fd, &stat_) != 0)
    {
        if (err) *err = errno;
        ::close(fd);
        return Result::kFailed;
    }
    if (!S_ISREG(stat_.st_mode))
    {
        ::close(fd);
        return Result::kNotRegular;
    }
    fd_ = fd;
    return Result::kOpened;
}

void OpenedFile::Close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool OpenedFile::Read(std::string& out, uint64_t limit, int* err) const
{
    return ReadOpenedFile(fd_, Size(), out, limit, err);
}

bool OpenedFile::Read(std::vector<uint8_t>& out, uint64_t limit, int* err) const
{
    return ReadOpenedFile(fd_, Size(), out, limit, err);
}

bool OpenedFile::CopyTo(int out, uint64_t& copied, int* err) const
{
    copied = 0;
    if (fd_ < 0)
    {
        if (err) *err = EBADF;
        return false;
    }
    const uint64_t size = Size();
    loff_t at = 0;
    bool kernel = true;
    std::vector<char> block;
    while (copied < size)
    {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(size - copied, uint64_t(1) << 30));
        ssize_t n;
        if (kernel)
        {
            n = ::copy_file_range(fd_, &at, out, nullptr, want, 0);
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
            {
                kernel = false;  // not between these files: through a buffer
                continue;
            }
        }
        else
        {
            block.resize(kCopyBlock);
            n = ::pread(fd_, block.data(), std::min(want, block.size()), at);
            if (n > 0 && !WriteFully(out, block.data(), static_cast<size_t>(n)))
            {
                if (err) *err = errno;
                return false;
            }
            if (n > 0) at += n;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
        {
            if (err) *err = errno;
            return false;
        }
        if (n == 0) break;  // it shrank since it was opened
        copied += static_cast<uint64_t>(n);
    }
    return true;
}

bool OpenedFile::LinkAs(const Folder& folder, std::string_view name, int* err) const
{
    if (fd_ < 0 || !folder.IsOpen() || !IsPlainEntryName(name))
    {
        if (err) *err = EINVAL;
        return false;
    }
    // Through the descriptor's own name in /proc: the file that was opened, not whatever the name is now.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_), n(name);
    if (::linkat(AT_FDCWD, self.c_str(), folder.Fd(), n.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (err) *err = errno;
    return false;
}

namespace {

class Walker
{
public:
    Walker(FolderVisitor& visitor, FolderWalkFailure* failure, int maxDepth)
        : visitor_(visitor), failure_(failure), maxDepth_(maxDepth)
    {}

    bool Walk(const Folder& folder, const std::string& path, int depth)
    {
        std::vector<FolderEntry> entries;
        int err = 0;
        if (!folder.List(entries, &err)) return Fail(path, err, true);
        for (const FolderEntry& e : entries)
        {
            const std::string child = path.empty() ? e.name : path + "/" + e.name;
            const FolderVisitor::Want want = visitor_.Wanted(path, e);
            if (want == FolderVisitor::Want::kStop) return Fail(child, 0);
            if (want == FolderVisitor::Want::kPass) continue;
            if (e.type == EntryType::kOther || !IsPlainEntryName(e.name))
            {
                visitor_.LeftOut(child);
                continue;
            }
            if (e.type == EntryType::kFolder)
            {
                if (depth >= maxDepth_)
                {
                    Fail(child, ELOOP, true);
                    if (failure_) failure_->tooDeep = true;
                    return false;
                }
                Folder sub;
                if (!sub.OpenSub(folder, e.name, &err))
                {
                    if (err != ELOOP && err != ENOTDIR) return Fail(child, err, true);
                    visitor_.LeftOut(child);
                    continue;
                }
                if (!visitor_.EnterFolder(child, sub)) return Fail(child, 0, true);
                if (!Walk(sub, child, depth + 1)) return false;
                if (!visitor_.LeaveFolder(child)) return Fail(child, 0, true);
                continue;
            }
            OpenedFile file;
            switch (file.Open(folder, e.name, &err))
            {
            case OpenedFile::Result::kNotRegular: visitor_.LeftOut(child); continue;
            case OpenedFile::Result::kFailed: return Fail(child, err);
            case OpenedFile::Result::kOpened: break;
            }
            if (!visitor_.File(child, file)) return Fail(child, 0);
        }
        return true;
    }

private:
    bool Fail(const std::string& path, int error, bool folder = false)
    {
        if (failure_) *failure_ = {path, error, folder};
        return false;
    }

    FolderVisitor& visitor_;
    FolderWalkFailure* failure_;
    int maxDepth_;
};

}  // namespace

bool WalkFolder(const Folder& top, FolderVisitor& visitor, FolderWalkFailure* failure, int maxDepth)
{
    if (!top.IsOpen())
    {
        if (failure) *failure = {std::string(), EBADF, true};
        return false;
    }
    return Walker(visitor, failure, maxDepth).Walk(top, std::string(), 0);
}

bool IsSystemFolder(const Folder& folder)
{
    if (!folder.IsOpen()) return false;
    struct statfs fs
    {};
    if (::fstatfs(folder.Fd(), &fs) == 0) switch (static_cast<unsigned long>(fs.f_type))
        {
        case PROC_SUPER_MAGIC:
        case SYSFS_MAGIC:
        case DEVPTS_SUPER_MAGIC:
        case DEBUGFS_MAGIC:
        case TRACEFS_MAGIC:
        case SECURITYFS_MAGIC:
        case CGROUP_SUPER_MAGIC:
        case CGROUP2_SUPER_MAGIC:
        case BPF_FS_MAGIC: return true;
        default: break;
        }
    // /dev is an ordinary memory file system by its type: by where the folder lies.
    char where[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(folder.Fd());
    const ssize_t n = ::readlink(self.c_str(), where, sizeof where - 1);
    if (n <= 0) return false;
    const std::string_view path(where, static_cast<size_t>(n));
    auto below = [&](std::string_view top) {
        return path.substr(0, top.size()) == top && (path.size() == top.size() || path[top.size()] == '/');
    };
    // /dev/shm is a memory file system of ordinary files and folders, which users keep work in.
    if (below("/dev/shm")) return false;
    return below("/proc") || below("/sys") || below("/dev");
}

namespace {

// Empties the open folder `fd` (which this takes over), deepest first.
bool RemoveBelow(int fd, int depth)
{
    DIR* d = ::fdopendir(fd);
    if (!d)
    {
        ::close(fd);
        return false;
    }
    bool ok = true;
    while (const dirent* e = ::readdir(d))
    {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        // A file or link goes at once; a folder says so (EISDIR) and is emptied first.
        if (e->d_type != DT_DIR && ::unlinkat(::dirfd(d), name, 0) == 0) continue;
        if (e->d_type != DT_DIR && e->d_type != DT_UNKNOWN && errno != EISDIR)
        {
            ok = false;
            continue;
        }
        const int sub = depth < kMaxFolderWalkDepth
                            ? ::openat(::dirfd(d), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                            : -1;
        if (sub < 0 || !RemoveBelow(sub, depth + 1) || ::unlinkat(::dirfd(d), name, AT_REMOVEDIR) != 0) ok = false;
    }
    ::closedir(d);
    return ok;
}

}  // namespace

bool RemoveTree(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) RemoveBelow(fd, 0);
    return ::rmdir(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace Platform
