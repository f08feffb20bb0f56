#pragma once
// Reading folders that another user may change while they are read: a user's asset folders, edit folders,
// what is packed into an archive. Every entry is opened by descriptor, relative to its open folder, without
// following a symbolic link, and what was opened is what counts (its type and size come from fstat),
// whatever the name was when the folder was listed. A file that is a link or not a regular file when it is
// opened is left out; the caller says so on its log.
//
// The path that leads to such a folder is taken as named, except that a symbolic link on it is followed
// only where no other user can have put it (EntryIsGuarded): in a folder that only this user or root may
// change, or in a sticky folder (such as /tmp) when this user or root owns the link itself.
#include "platform/EntryNames.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace Platform {

// Deepest folder tree a walk goes into.
constexpr int kMaxFolderWalkDepth = 256;

// True when no user but this one and root can remove, rename or replace the entry `entry` of the folder
// `folder` (both as fstat gives them): the folder belongs to this user or root and, by its mode, no other
// user may write to it (group write counts as others, whatever the group); or it is sticky and the entry
// belongs to this user or root.
bool EntryIsGuarded(const struct stat& folder, const struct stat& entry);

enum class EntryType : uint8_t
{
    kFile,
    kFolder,
    kOther,  // a symbolic link, a device, a pipe or a socket
};

struct FolderEntry
{
    std::string name;
    EntryType type = EntryType::kOther;  // as the listing says (a link is kOther)
};

// Every name in the open folder `fd` but "." and "..", whatever it holds (a backslash too), read through a descriptor
// of its own. False with errno.
bool ListNamesAt(int fd, std::vector<std::string>& names);

// How Folder::Open treats the path.
enum FolderOpenFlags : unsigned
{
    kOpenGuarded = 1,      // no folder on the way, the last one too, can be replaced by another user, and the
                           // last one belongs to this user or root
    kOpenNoFinalLink = 2,  // the folder named must not itself be a symbolic link
};

// An open folder (a descriptor read-only, close-on-exec).
class Folder
{
public:
    Folder() = default;
    ~Folder() { Close(); }
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // Opens the folder at `path` (a relative path from the working folder), following a symbolic link on
    // the way only where no other user can have put it (FolderOpenFlags add conditions). False with the
    // reason, which names the link where one was not followed.
    bool Open(const std::string& path, std::string* error = nullptr, unsigned flags = 0);
    // The same, with `path` taken from the folder `base` (an absolute path from the root).
    bool OpenFrom(const Folder& base, std::string_view path, std::string* error = nullptr, unsigned flags = 0);
    // Opens the sub-folder `name` of `parent` without following a link. False with errno in *err: ELOOP or
    // ENOTDIR when the name is no folder now.
    bool OpenSub(const Folder& parent, std::string_view name, int* err = nullptr);
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // The folder's entries (not "." and ".."), in name order. False with errno in *err.
    bool List(std::vector<FolderEntry>& out, int* err = nullptr) const;

private:
    int fd_ = -1;
};

// A regular file opened below a folder.
class OpenedFile
{
public:
    enum class [[nodiscard]] Result{
        kOpened,
        kNotRegular,  // a link, a folder or a special file: nothing is kept open
        kFailed,      // errno in *err
    };

    OpenedFile() = default;
    ~OpenedFile() { Close(); }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    // openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC), then fstat of what was opened.
    Result Open(const Folder& folder, std::string_view name, int* err = nullptr);
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    const struct stat& Stat() const { return stat_; }
    // The size it had when it was opened.
    uint64_t Size() const { return static_cast<uint64_t>(stat_.st_size); }
    mode_t Mode() const { return stat_.st_mode & 07777; }

    // Its bytes from the start, at most Size() of them: a file that grows while it is read is not read
    // past that, one that shrank gives what is there. False when Size() is over `limit` or a read fails.
    bool Read(std::string& out, uint64_t limit, int* err = nullptr) const;
    bool Read(std::vector<uint8_t>& out, uint64_t limit, int* err = nullptr) const;
    // Copies its bytes (at most Size()) to the descriptor `out` at its position; `copied` gets their count.
    bool CopyTo(int out, uint64_t& copied, int* err = nullptr) const;
    // Gives exactly this file a second name `name` in `folder` (a hard link). False with errno in *err where
    // the file system or the process cannot.
    bool LinkAs(const Folder& folder, std::string_view name, int* err = nullptr) const;

private:
    int fd_ = -1;
    struct stat stat_
    {};
};

// What WalkFolder hands on. Paths are relative to the top folder ("sub/name").
class FolderVisitor
{
public:
    enum class Want
    {
        kVisit,
        kPass,  // passed over without a word
        kStop,  // ends the walk, which then fails
    };
    virtual ~FolderVisitor() = default;
    // Asked for each entry of the folder at `folder` ("" at the top) before anything is opened.
    virtual Want Wanted(const std::string& folder, const FolderEntry& entry)
    {
        (void)folder;
        (void)entry;
        return Want::kVisit;
    }
    // A sub-folder opened: its entries follow, then LeaveFolder. False ends the walk.
    virtual bool EnterFolder(const std::string& path, const Folder& folder) = 0;
    virtual bool LeaveFolder(const std::string& path)
    {
        (void)path;
        return true;
    }
    // A regular file, opened. False ends the walk.
    virtual bool File(const std::string& path, const OpenedFile& file) = 0;
    // A link or special file, when listed or when opened: left out.
    virtual void LeftOut(const std::string& path) = 0;
};

// Where a walk failed: a folder that could not be listed or opened, a file that could not be opened (errno),
// a folder deeper than the walk goes, or the visitor stopped it (error 0).
struct FolderWalkFailure
{
    std::string path;
    int error = 0;
    bool folder = false;   // the path names a folder (that could not be listed or opened)
    bool tooDeep = false;  // the path names a folder below the deepest the walk goes into (error ELOOP)
};

// Walks the tree below `top` in name order, each folder's entries right after its EnterFolder. Sub-folders
// deeper than `maxDepth` fail the walk (tooDeep, ELOOP). An entry whose name cannot stand for a file of its own
// (IsPlainEntryName: a '\' in it, say) is left out as a link is.
bool WalkFolder(const Folder& top, FolderVisitor& visitor, FolderWalkFailure* failure = nullptr,
                int maxDepth = kMaxFolderWalkDepth);

// True for a folder of the kernel's own file systems, which are no content and may never end when walked:
// below /proc, /sys or /dev (by where the open folder really lies; not /dev/shm, a memory file system of
// ordinary files), or on a proc, sysfs or similar file system.
bool IsSystemFolder(const Folder& folder);

// Removes `path` and, when it is a folder, everything below it, by descriptor: a symbolic link is removed, never
// followed. True when nothing is left at `path` (also when nothing was there).
bool RemoveTree(const std::string& path);

}  // namespace Platform
