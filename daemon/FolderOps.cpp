#include "daemon/FolderOps.h"

#include "daemon/CrashPoint.h"
#include "daemon/TakenFolder.h"
#include "platform/FileWriting.h"
#include "platform/FolderWalk.h"
#include "platform/Interruption.h"
#include "platform/OwnFolders.h"
#include "platform/RenameNoReplace.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

std::string Beside(const std::string& target, const char* prefix)
{
    fs::path p(target);
    return (p.parent_path() / (std::string(prefix) + p.filename().string())).string();
}

// "YYYYMMDD-HHMMSS", or with "-N" (N >= 2) when more than one backup of an asset was made in that second.
// The order of backups: the time stamp, then N.
bool ParseDatedName(const std::string& n, std::string& stamp, unsigned& serial)
{
    if (n.size() < 15 || n[8] != '-') return false;
    for (size_t i = 0; i < 15; ++i)
        if (i != 8 && !isdigit(static_cast<unsigned char>(n[i]))) return false;
    stamp = n.substr(0, 15);
    serial = 1;
    if (n.size() == 15) return true;
    if (n[15] != '-' || n.size() > 22 || n.size() == 16 || n[16] == '0') return false;
    serial = 0;
    for (size_t i = 16; i < n.size(); ++i)
    {
        if (!isdigit(static_cast<unsigned char>(n[i]))) return false;
        serial = serial * 10 + static_cast<unsigned>(n[i] - '0');
    }
    return serial >= 2;
}

constexpr char kDeletingPrefix[] = ".vaddel-";

// The permission bits a copy of a user's file or folder may keep: the owner's, and reading and running for
// the others. Never set-user-ID, set-group-ID or sticky, never writable by the group or other users: the copy
// belongs to the daemon's user, whoever made the original.
constexpr mode_t kCopyModeBits = 0755;
// A copied file at least this large is sent on to the disk as soon as it is written.
constexpr uint64_t kEarlyWriteBytes = 256 * 1024;
constexpr unsigned kMaxBackupsPerSecond = 10000;
// Copies a keep from another file system makes at most: each one of what was written into the folder while the
// one before was made.
constexpr int kKeepRounds = 3;

}  // namespace

bool FolderExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

std::string LastName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Writes what a walk of the source hands on below the target: each folder made, each regular file copied (or
// given a second name) from the descriptor the walk opened, with its mode; links and special files left out.
class TreeCopier : public Platform::FolderVisitor
{
public:
    TreeCopier(std::string from, std::string to, bool link, std::vector<std::string>* leftOut, TakenRecord* copied)
        : from_(std::move(from)), to_(std::move(to)), link_(link), leftOut_(leftOut), copied_(copied)
    {}

    bool Begin(Platform::Folder target)
    {
        targets_.push_back(std::move(target));
        return true;
    }
    bool EnterFolder(const std::string& path, const Platform::Folder& folder) override
    {
        const std::string name = LastName(path);
        struct stat st;
        if (copied_ && ::fstat(folder.Fd(), &st) == 0) copied_->Add(path, st);
        Platform::Folder sub;
        if (::mkdirat(targets_.back().Fd(), name.c_str(), kCopyModeBits) != 0 && errno != EEXIST)
            return Fail(errno, path);
        if (!sub.OpenSub(targets_.back(), name, &error_)) return Fail(error_, path);
        targets_.push_back(std::move(sub));
        return true;
    }
    bool LeaveFolder(const std::string&) override
    {
        targets_.pop_back();
        return true;
    }
    bool File(const std::string& path, const Platform::OpenedFile& file) override
    {
        const std::string name = LastName(path);
        const Platform::Folder& target = targets_.back();
        const mode_t mode = file.Mode() & kCopyModeBits;
        // A second name shares the file's mode: only for a file whose mode a copy could keep.
        if (link_ && mode == file.Mode())
        {
            ::unlinkat(target.Fd(), name.c_str(), 0);
            if (file.LinkAs(target, name))
            {
                if (copied_) copied_->Add(path, file.Stat(), true);
                bytes_ += file.Size();
                return true;
            }
        }
        // Its status as it was opened, before a byte of it is read.
        if (copied_) copied_->Add(path, file.Stat());
        const int out =
            ::openat(target.Fd(), name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, mode);
        if (out < 0) return Fail(errno, path);
        uint64_t copied = 0;
        int copyError = 0;
        bool ok = file.CopyTo(out, copied, &copyError) || Fail(copyError, path, !IsWriteError(copyError));
        // The source's mode less what a copy may not keep, whatever the umask made of it (a file that was there
        // already keeps its mode through O_TRUNC).
        if (ok && ::fchmod(out, mode) != 0) ok = Fail(errno, path);
        // Its bytes start on their way to the disk now, so the sync at the commit point has little left to wait for.
        if (ok && copied >= kEarlyWriteBytes) ::sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
        if (::close(out) != 0 && ok) ok = Fail(errno, path);
        if (!ok) return false;
        bytes_ += copied;
        CrashPoint("copying");
        return true;
    }
    void LeftOut(const std::string& path) override
    {
        if (leftOut_) leftOut_->push_back(from_ + "/" + path);
    }

    uint64_t Bytes() const { return bytes_; }
    // Why the copy stopped, naming the file or folder written (or, where the copy of a file failed on either
    // side, both the file read and the file written). Empty when the copier did not stop it.
    std::string Failure() const
    {
        if (failedPath_.empty()) return {};
        const std::string target = to_ + "/" + failedPath_;
        const std::string reason = std::strerror(error_ != 0 ? error_ : EIO);
        if (eitherSide_) return "copying '" + from_ + "/" + failedPath_ + "' to '" + target + "' failed: " + reason;
        return "writing '" + target + "' failed: " + reason;
    }

private:
    // Errors only the file written can have.
    static bool IsWriteError(int error)
    {
        return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS;
    }
    bool Fail(int error, const std::string& path, bool eitherSide = false)
    {
        error_ = error;
        failedPath_ = path;
        eitherSide_ = eitherSide;
        return false;
    }

    std::string from_;
    std::string to_;
    bool link_;
    std::vector<std::string>* leftOut_;
    TakenRecord* copied_;
    std::vector<Platform::Folder> targets_;
    int error_ = 0;
    std::string failedPath_;
    bool eitherSide_ = false;
    uint64_t bytes_ = 0;
};

// Copies work that is kept because it was never committed, whole: every entry below a folder, as what it is.
// A file of any name (also one no file of an asset may have) with its bytes, a folder, a symbolic link as a
// link (never followed), a pipe, socket or device as one. Entries are opened by descriptor relative to their
// open folder, as the walk of a user's folder does; the names come from the listing itself, which holds no
// '/', so a name is never a path (Platform::OpenedFile and Folder::OpenSub take only names a file of an asset
// may have, so entries are opened here directly). What cannot be carried as it is fails the copy, naming it.
class WholeCopier
{
public:
    explicit WholeCopier(TakenRecord* copied) : copied_(copied) {}

    bool Copy(int from, int to, const std::string& path, int depth)
    {
        std::vector<std::string> names;
        if (!Platform::ListNamesAt(from, names)) return Fail(errno, path.empty() ? "." : path);
        for (const std::string& name : names)
        {
            const std::string sub = path.empty() ? name : path + "/" + name;
            struct stat st;
            if (::fstatat(from, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Fail(errno, sub);
            const mode_t mode = st.st_mode & kCopyModeBits;
            if (S_ISDIR(st.st_mode))
            {
                if (depth >= Platform::kMaxFolderWalkDepth) return Fail(ELOOP, sub);
                if (::mkdirat(to, name.c_str(), mode | S_IRWXU) != 0) return Fail(errno, sub);
                Platform::UniqueFd in(::openat(from, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                Platform::UniqueFd out(::openat(to, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (in.Get() < 0 || out.Get() < 0) return Fail(errno, sub);
                struct stat opened;
                if (::fstat(in.Get(), &opened) != 0) return Fail(errno, sub);
                Record(sub, opened);
                if (!Copy(in.Get(), out.Get(), sub, depth + 1)) return false;
                // Its own mode once it is filled (a folder the owner may not write to is one all the same).
                if (::fchmod(out.Get(), mode) != 0) return Fail(errno, sub);
            }
            else if (S_ISREG(st.st_mode))
            {
                if (!CopyFile(from, to, name, mode, sub)) return false;
            }
            else if (S_ISLNK(st.st_mode))
            {
                Record(sub, st);
                std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
                const ssize_t n = ::readlinkat(from, name.c_str(), target.data(), target.size());
                if (n < 0) return Fail(errno, sub);
                // A link that grew since it was looked at changed under the copy: it is not kept cut short.
                if (static_cast<size_t>(n) >= target.size()) return Fail(EAGAIN, sub);
                target.resize(static_cast<size_t>(n));
                if (::symlinkat(target.c_str(), to, name.c_str()) != 0) return Fail(errno, sub);
            }
            else
            {
                Record(sub, st);
                if (::mknodat(to, name.c_str(), (st.st_mode & S_IFMT) | mode, st.st_rdev) != 0) return Fail(errno, sub);
            }
        }
        return true;
    }
    // What failed, naming the entry below the copied folder `from`.
    std::string Failure(const std::string& from) const
    {
        return "keeping '" + from + "/" + failedPath_ + "' failed: " + std::strerror(error_ != 0 ? error_ : EIO);
    }

private:
    bool CopyFile(int from, int to, const std::string& name, mode_t mode, const std::string& path)
    {
        Platform::UniqueFd in(::openat(from, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st;
        if (in.Get() < 0 || ::fstat(in.Get(), &st) != 0) return Fail(errno, path);
        // Something else under that name since it was looked at: the copy is not what was there.
        if (!S_ISREG(st.st_mode)) return Fail(EAGAIN, path);
        // Its status as it was opened, before a byte of it is read.
        Record(path, st);
        Platform::UniqueFd out(
            ::openat(to, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode | S_IWUSR));
        if (out.Get() < 0) return Fail(errno, path);
        // Every byte there is, also what was written since it was opened.
        char buffer[64 * 1024];
        for (;;)
        {
            const ssize_t n = ::read(in.Get(), buffer, sizeof buffer);
            if (n == 0) break;
            if (n < 0)
            {
                if (errno == EINTR) continue;
                return Fail(errno, path);
            }
            if (!Platform::WriteFully(out.Get(), buffer, static_cast<size_t>(n))) return Fail(errno, path);
        }
        if (::fchmod(out.Get(), mode) != 0 || !out.Close()) return Fail(errno, path);
        return true;
    }
    bool Fail(int error, const std::string& path)
    {
        error_ = error;
        failedPath_ = path;
        return false;
    }
    void Record(const std::string& path, const struct stat& st)
    {
        if (copied_) copied_->Add(path, st);
    }

    TakenRecord* copied_;
    int error_ = 0;
    std::string failedPath_;
};

// Copies the folder `from` whole (WholeCopier) into `to`, an empty folder the caller made for it; what it read goes
// to `copied`.
bool CopyWholeFolder(const std::string& from, const std::string& to, std::string* error, TakenRecord* copied)
{
    Platform::Folder source;
    std::string why;
    struct stat st;
    if (!FolderExists(from) || !source.Open(from, &why, Platform::kOpenNoFinalLink) || ::fstat(source.Fd(), &st) != 0)
    {
        if (error) *error = why.empty() ? "'" + from + "' is not a folder" : why;
        return false;
    }
    Platform::Folder target;
    if (!target.Open(to, &why, Platform::kOpenNoFinalLink))
    {
        if (error) *error = "cannot create '" + to + "': " + why;
        return false;
    }
    if (copied) copied->Add("", st);
    WholeCopier copier(copied);
    if (!copier.Copy(source.Fd(), target.Fd(), "", 0))
    {
        if (error) *error = copier.Failure(from);
        return false;
    }
    if (::fchmod(target.Fd(), st.st_mode & kCopyModeBits) != 0)
    {
        if (error) *error = "writing '" + to + "' failed: " + std::strerror(errno);
        return false;
    }
    return true;
}

// CopyFolderTree into `to`, which the caller made (`made`) or which is made here where it is not there.
bool CopyTreeInto(const std::string& from, const std::string& to, bool made, std::string* error,
                  std::vector<std::string>* leftOut, uint64_t* bytes, bool link, TakenRecord* copied)
{
    if (leftOut) leftOut->clear();
    auto bare = [](std::string p) {
        while (p.size() > 1 && p.back() == '/') p.pop_back();
        return p;
    };
    // The source may be a user's folder that another user can change while it is copied: it is read by
    // descriptor, nothing below it through a link.
    Platform::Folder source;
    std::string why;
    if (!FolderExists(from) || !source.Open(from, &why, Platform::kOpenNoFinalLink))
    {
        if (error) *error = why.empty() ? "'" + from + "' is not a folder" : why;
        return false;
    }
    std::error_code ec;
    if (!made && ::mkdir(to.c_str(), kCopyModeBits) != 0 && errno != EEXIST) fs::create_directories(to, ec);
    Platform::Folder target;
    if (ec || !target.Open(to, &why, Platform::kOpenNoFinalLink))
    {
        if (error) *error = "cannot create '" + to + "': " + (ec ? ec.message() : why);
        return false;
    }
    struct stat top;
    if (copied && ::fstat(source.Fd(), &top) == 0) copied->Add("", top);
    TreeCopier copier(bare(from), bare(to), link, leftOut, copied);
    copier.Begin(std::move(target));
    Platform::FolderWalkFailure failure;
    const bool ok = Platform::WalkFolder(source, copier, &failure);
    if (leftOut) std::sort(leftOut->begin(), leftOut->end());
    if (!ok)
    {
        // The file or folder at fault is named: one written (a full disk names where it was writing, not what
        // it was copying), or one of the source that could not be read; a tree too deep says how deep a copy goes.
        const std::string at = failure.path.empty() ? bare(from) : bare(from) + "/" + failure.path;
        const std::string written = copier.Failure();
        if (error)
            *error = failure.tooDeep ? "'" + at + "' lies more than " + std::to_string(Platform::kMaxFolderWalkDepth) +
                                           " folders deep; deeper folders are not copied"
                     : failure.error == 0 && !written.empty()
                         ? written
                         : "reading '" + at + "' failed: " + std::strerror(failure.error != 0 ? failure.error : EIO);
        return false;
    }
    if (bytes) *bytes = copier.Bytes();
    return true;
}

}  // namespace

bool CopyFolderTree(const std::string& from, const std::string& to, std::string* error,
                    std::vector<std::string>* leftOut, uint64_t* bytes, bool link, TakenRecord* copied)
{
    return CopyTreeInto(from, to, false, error, leftOut, bytes, link, copied);
}

bool RemoveFolderTree(const std::string& path) { return Platform::RemoveTree(path); }

namespace {

// Removes a leftover and says what became of it, as a line for the log.
std::string Removed(const std::string& path, const std::string& what)
{
    if (RemoveFolderTree(path)) return "removed " + what;
    return "could not remove " + what + ": " + std::strerror(errno);
}

// Where a keep kept what it could (more than one place across file systems), for a line of the log.
std::string Places(const std::vector<std::string>& places)
{
    std::string text;
    for (const std::string& place : places) text += (text.empty() ? "" : ", ") + place;
    return text;
}
std::string KeptSoFar(const std::vector<std::string>& places)
{
    return places.empty() ? std::string() : " (the rest of it was kept in " + Places(places) + ")";
}

}  // namespace

std::string NamedInPlace(std::string text, const std::string& aside, const std::string& place)
{
    if (aside.empty()) return text;
    for (size_t at = text.find(aside); at != std::string::npos; at = text.find(aside, at + place.size()))
        text.replace(at, aside.size(), place);
    return text;
}

std::string TempFolderFor(const std::string& target) { return Beside(target, ".vadtmp-"); }
std::string OldFolderFor(const std::string& target) { return Beside(target, ".vadold-"); }
std::string ClosedEditFolderFor(const std::string& editFolder) { return Beside(editFolder, ".vadclosed-"); }

void TakeOn(const std::string& folder, const Platform::ProvenWork& work)
{
    const std::string path = folder + "/" + work.name;
    if (!FolderExists(path)) return;
    const Platform::TemporariesLock held;
    if (work.kind == Platform::OwnWorkKind::kAside && !work.ownName.empty())
        Platform::NoteSetAside(held, path, folder + "/" + work.ownName, true);
    else if (work.kind == Platform::OwnWorkKind::kTree)
        Platform::NoteTemporary(held, AT_FDCWD, path, true);
}

std::vector<Platform::ProvenWork> DecideProven(Platform::EndedOwnWork& ended, const std::string& parent,
                                               Platform::OwnWorkKind kind, std::string_view prefix)
{
    std::vector<Platform::ProvenWork> proven = ended.ProvenIn(parent, kind);
    std::erase_if(proven, [&](const Platform::ProvenWork& work) {
        return !work.name.starts_with(prefix) || (kind == Platform::OwnWorkKind::kAside && work.ownName.empty());
    });
    for (const Platform::ProvenWork& work : proven) ended.Decided(work);
    return proven;
}

bool SetOldCopyAside(const std::string& folder, std::string& aside)
{
    aside = Platform::FreeOwnNameFor(OldFolderFor(folder));
    if (aside.empty())
    {
        errno = EEXIST;
        return false;
    }
    if (Platform::SetOwnFolderAside(folder, aside)) return true;
    aside.clear();
    return false;
}

void RemoveUnrecordedFolder(const std::string& folder)
{
    std::string aside;
    if (SetOldCopyAside(folder, aside))
        Platform::RemoveOwnFolder(aside);
    else
        RemoveFolderTree(folder);
}

bool SetEditFolderAside(const std::string& editFolder)
{
    const std::string aside = ClosedEditFolderFor(editFolder);
    // What is there already under that name is an earlier close's, which may hold work, or not the daemon's at all:
    // never replaced.
    struct stat st;
    if (::lstat(aside.c_str(), &st) == 0) errno = EEXIST;
    if (errno != ENOENT) return false;
    const bool moved = !FolderExists(editFolder) || Platform::SetOwnFolderAside(editFolder, aside);
    CrashPoint("edit-aside");
    return moved;
}

bool PutEditFolderBack(const std::string& editFolder)
{
    const std::string aside = ClosedEditFolderFor(editFolder);
    if (!Platform::IsOwnFolder(aside) || FolderExists(editFolder)) return true;
    return Platform::PutOwnFolderInPlace(aside, editFolder);
}

bool OwnClosedEditFolder(const std::string& editFolder)
{
    return Platform::IsOwnFolder(ClosedEditFolderFor(editFolder));
}

std::vector<std::string> CleanupClosedEdits(const std::string& parent, const std::string& localRoot,
                                            const std::string& backupsRoot,
                                            const std::function<bool(const std::string& editFolder)>& stillOpen,
                                            Platform::EndedOwnWork& ended)
{
    std::vector<std::string> done;
    for (const Platform::ProvenWork& work : DecideProven(ended, parent, Platform::OwnWorkKind::kAside, ".vadclosed-"))
    {
        const std::string& name = work.ownName;
        const std::string editFolder = parent + "/" + name, path = parent + "/" + work.name;
        if (stillOpen(editFolder))
        {
            // Never thrown away while its edit is open: with anything else in its place it stays aside.
            if (Platform::RenameNoReplace(path, editFolder))
            {
                done.push_back("restored the edit folder " + name + ": closing its edit was cut short");
                continue;
            }
            if (errno == EEXIST)
                done.push_back("kept " + work.name + ": its edit is open and has another folder");
            else
                done.push_back("could not put " + work.name + " back as the edit folder " + name + ": " +
                               std::strerror(errno));
            TakeOn(parent, work);
            continue;
        }
        // Closed, its close cut short before the folder went: what the installed copy holds as it is goes, the
        // rest (what was written into it after it was taken, or what a revert or delete would have discarded) is
        // kept, never removed.
        const std::string& aside = work.name;
        const std::string installed = localRoot + "/" + name;
        const TakenFolderLeft left = ClearTakenFolder(path, RecordSameAsCopy(path, installed), installed, backupsRoot,
                                                      name + kEarlierEditFolder);
        if (!left.staysIn.empty()) TakeOn(parent, work);
        const std::string removed = std::to_string(left.removed) + " entries the installed copy holds removed";
        if (left.keptIn.empty() && left.staysIn.empty())
            done.push_back("removed " + aside + ", of an edit that was closed: the installed copy holds all of it");
        else if (left.staysIn.empty())
            done.push_back(aside + ", of an edit that was closed: " + removed + ", the rest kept in " +
                           Places(left.keptIn));
        else
            done.push_back(aside + ", of an edit that was closed: " + removed + "; the rest could not be kept" +
                           (left.keptIn.empty() ? " and stays where it is" : "") + ": " + left.error +
                           KeptSoFar(left.keptIn));
    }
    return done;
}

bool StageFolderCopy(const std::string& from, const std::string& target, std::string& staged, std::string* error,
                     std::vector<std::string>* leftOut, uint64_t* bytes, bool link, TakenRecord* copied)
{
    const std::string tmp = TempFolderFor(target);
    staged.clear();
    // A copy of the daemon's own that could not be removed before goes now; anything else of that name stays.
    Platform::RemoveOwnFolder(tmp);
    bool made = Platform::MakeOwnFolder(tmp, staged, kCopyModeBits);
    if (!made && errno == ENOENT)
    {
        std::error_code ec;
        fs::create_directories(fs::path(tmp).parent_path(), ec);
        made = Platform::MakeOwnFolder(tmp, staged, kCopyModeBits);
    }
    if (!made)
    {
        if (error) *error = "cannot create '" + tmp + "': " + std::strerror(errno);
        return false;
    }
    if (CopyTreeInto(from, staged, true, error, leftOut, bytes, link, copied)) return true;
    Platform::RemoveOwnFolder(staged);
    staged.clear();
    return false;
}

namespace {

// The mode a folder of a copy gets (kCopyModeBits less the process's umask, read where it can be without
// changing it).
mode_t NewFolderMode()
{
    static const mode_t mode = [] {
        mode_t mask = 022;
        if (FILE* f = std::fopen("/proc/self/status", "re"))
        {
            char line[128];
            unsigned value = 0;
            while (std::fgets(line, sizeof line, f))
                if (std::sscanf(line, "Umask: %o", &value) == 1)
                {
                    mask = static_cast<mode_t>(value & 0777);
                    break;
                }
            std::fclose(f);
        }
        return static_cast<mode_t>(kCopyModeBits & ~mask);
    }();
    return mode;
}

// Below the open folder `dir` (at `path`, relative to the moved copy's top): adds the sizes of the regular
// files, removes whatever else is neither a file nor a folder (its path going to `leftOut`).
bool MeasureAndClean(const Platform::Folder& dir, const std::string& path, int depth, uint64_t& bytes,
                     std::vector<std::string>& leftOut, int& err)
{
    if (depth > Platform::kMaxFolderWalkDepth) return (err = ELOOP), false;
    std::vector<Platform::FolderEntry> entries;
    if (!dir.List(entries, &err)) return false;
    for (const Platform::FolderEntry& e : entries)
    {
        const std::string sub = path.empty() ? e.name : path + "/" + e.name;
        if (e.type == Platform::EntryType::kFolder)
        {
            Platform::Folder child;
            struct stat cs;
            if (!child.OpenSub(dir, e.name, &err) || ::fstat(child.Fd(), &cs) != 0 ||
                ((cs.st_mode & 07777 & ~kCopyModeBits) != 0 && ::fchmod(child.Fd(), NewFolderMode()) != 0) ||
                !MeasureAndClean(child, sub, depth + 1, bytes, leftOut, err))
                return false;
            continue;
        }
        struct stat st;
        if (e.type == Platform::EntryType::kFile &&
            ::fstatat(dir.Fd(), e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
        {
            const mode_t mode = st.st_mode & 07777;
            if ((mode & ~kCopyModeBits) != 0 && ::fchmodat(dir.Fd(), e.name.c_str(), mode & kCopyModeBits, 0) != 0)
                return (err = errno), false;
            bytes += static_cast<uint64_t>(st.st_size);
            continue;
        }
        if (::unlinkat(dir.Fd(), e.name.c_str(), 0) != 0 && errno != ENOENT) return (err = errno), false;
        leftOut.push_back(sub);
    }
    return true;
}

}  // namespace

bool PrepareStagedFolder(const std::string& from, dev_t targetDevice, std::string* error,
                         std::vector<std::string>* leftOut, uint64_t* bytes)
{
    if (leftOut) leftOut->clear();
    Platform::Folder top;
    std::string why;
    struct stat st;
    if (!top.Open(from, &why, Platform::kOpenNoFinalLink) || ::fstat(top.Fd(), &st) != 0)
    {
        if (error) *error = "'" + from + "' is not a folder";
        return false;
    }
    if (st.st_dev != targetDevice)
    {
        if (error) *error = "'" + from + "' lies on another file system";
        return false;
    }
    std::vector<std::string> removed;
    uint64_t size = 0;
    int err = 0;
    if (!MeasureAndClean(top, "", 0, size, removed, err) || ::fchmod(top.Fd(), NewFolderMode()) != 0)
    {
        if (error) *error = "reading '" + from + "' failed: " + std::strerror(err ? err : errno ? errno : EIO);
        return false;
    }
    CrashPoint("prepared");
    if (leftOut)
    {
        for (const std::string& path : removed) leftOut->push_back(from + "/" + path);
        std::sort(leftOut->begin(), leftOut->end());
    }
    if (bytes) *bytes = size;
    return true;
}

namespace {

// Exchanges two names in one step (both must exist). False with errno; EINVAL or ENOSYS where the file
// system or the kernel cannot.
bool ExchangeNames(const std::string& a, const std::string& b)
{
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

bool CannotExchange(int error) { return error == EINVAL || error == ENOSYS; }

// The swap in two renames, where names cannot be exchanged: the target is missing between them.
bool SwapByRenames(const std::string& tmp, const std::string& target, const std::string& old, std::string* error,
                   std::string* aside)
{
    if (FolderExists(target) && !Platform::SetOwnFolderAside(target, old))
    {
        if (error) *error = "cannot move the old folder aside";
        return false;
    }
    if (aside && FolderExists(old)) *aside = old;
    CrashPoint("swapping");
    if (!Platform::PutOwnFolderInPlace(tmp, target))
    {
        if (FolderExists(old)) Platform::PutOwnFolderInPlace(old, target);
        if (aside) aside->clear();
        if (error) *error = "cannot move the new folder into place";
        return false;
    }
    return true;
}

}  // namespace

bool SwapInFolder(const std::string& target, const std::string& staged, std::string* error, std::string* aside)
{
    if (aside) aside->clear();
    // Nothing in place yet (a new asset): the new folder goes there in one step.
    if (Platform::PutOwnFolderInPlace(staged, target)) return true;
    if (errno != EEXIST)
    {
        if (error) *error = "cannot move the new folder into place";
        return false;
    }
    // The old copy's place beside the target: never anything that stands there and is not the daemon's.
    const std::string old = Platform::FreeOwnNameFor(OldFolderFor(target));
    if (old.empty())
    {
        if (error) *error = "no name is free beside it for the old folder ('" + OldFolderFor(target) + "' is taken)";
        return false;
    }
    if (!FolderExists(target)) return SwapByRenames(staged, target, old, error, aside);
    // The target never goes missing: the new copy waits under the old copy's name beside it, and the two
    // names are exchanged in one step. A crash before the exchange leaves the target as it was, the new copy
    // (noted as the daemon's own) beside it, which the sweep at the next start removes; after it, the old copy
    // waits there, noted as set aside from the target, for the start-up clean-up to remove or put back.
    const bool own = Platform::IsOwnFolder(staged);
    {
        const Platform::TemporariesLock held;
        if (!Platform::RenameNoReplace(staged, old))
        {
            if (error) *error = "cannot move the new folder beside the old one";
            return false;
        }
        Platform::ForgetOwnWorkMovedFrom(held, staged);
        Platform::NoteTemporary(held, AT_FDCWD, old, true);
    }
    CrashPoint("swapping");
    int why = 0;
    {
        const Platform::TemporariesLock held;
        const uint64_t setAside = Platform::NoteSetAside(held, old, target);
        if (ExchangeNames(old, target))
        {
            // The new copy's note goes; the old copy's stands until it is removed or put back.
            Platform::ForgetOwnWorkGoneFrom(held, old);
            if (aside) *aside = old;
            return true;
        }
        why = errno;
        Platform::ForgetTemporary(held, setAside);
        // Named back as it was staged, for the two renames (or for the caller to remove).
        if (Platform::RenameNoReplace(old, staged))
        {
            Platform::ForgetOwnWorkMovedFrom(held, old);
            if (own) Platform::NoteTemporary(held, AT_FDCWD, staged, true);
        }
    }
    if (CannotExchange(why)) return SwapByRenames(staged, target, old, error, aside);
    if (error) *error = "cannot move the new folder into place";
    return false;
}

void FinishSwap(const std::string& aside) { Platform::RemoveOwnFolder(aside); }

bool UndoSwap(const std::string& target, const std::string& aside)
{
    const Platform::TemporariesLock held;
    // Back in one step where the names can be exchanged; the copy that did not count then goes (what cannot be
    // removed of it now is removed at the next start, noted as the daemon's own).
    const Platform::UniqueFd placed(
        FolderExists(aside) ? ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1);
    if (placed.Get() >= 0)
    {
        // The copy that did not count, noted as it will be named once the names are exchanged.
        const uint64_t made = Platform::NoteTemporary(held, AT_FDCWD, aside, true, placed.Get());
        if (ExchangeNames(aside, target))
        {
            Platform::ForgetOwnWorkGoneFrom(held, aside);
            RemoveFolderTree(aside);
            Platform::ForgetOwnWorkGoneFrom(held, aside);
            return true;
        }
        Platform::ForgetTemporary(held, made);
    }
    if (!RemoveFolderTree(target)) return false;
    const bool back = !FolderExists(aside) || Platform::RenameNoReplace(aside, target);
    Platform::ForgetOwnWorkGoneFrom(held, aside);
    return back;
}

std::vector<std::string> CleanupFolderLeftovers(const std::string& parent,
                                                const std::function<bool(const std::string& target)>& swapRecorded,
                                                Platform::EndedOwnWork& ended)
{
    std::vector<std::string> done;
    for (const Platform::ProvenWork& work : DecideProven(ended, parent, Platform::OwnWorkKind::kAside, ".vadold-"))
    {
        const std::string& name = work.name;
        const std::string path = parent + "/" + name, target = parent + "/" + work.ownName;
        const bool present = FolderExists(target);
        // Recorded: the store holds the copy at X (a swap), or no copy there at all (a delete, whose removal was cut
        // short: it is finished, never undone, so no asset comes back with files missing).
        if (swapRecorded ? swapRecorded(target) : present)
        {
            done.push_back(Removed(path, (present ? "replaced copy " : "deleted copy ") + name));
            TakeOn(parent, work);
            continue;
        }
        // The new copy never counted: the old one is the installed version.
        if (present && !RemoveFolderTree(target))
        {
            done.push_back("could not remove the unrecorded copy " + work.ownName + ": " + std::strerror(errno) +
                           "; the replaced copy stays as " + name);
            TakeOn(parent, work);
            continue;
        }
        if (Platform::RenameNoReplace(path, target))
            done.push_back((present ? "rolled back unrecorded copy of " : "restored ") + work.ownName);
        else
        {
            done.push_back("could not put " + name + " back as " + work.ownName + ": " + std::strerror(errno));
            TakeOn(parent, work);
        }
    }
    return done;
}

std::vector<std::string> ListBackupFolders(const std::string& backupsRoot)
{
    std::vector<std::tuple<std::string, unsigned, std::string>> found;
    std::error_code ec;
    for (fs::directory_iterator it(backupsRoot, ec), end; !ec && it != end; it.increment(ec))
    {
        std::string n = it->path().filename().string(), stamp;
        unsigned serial = 0;
        if (ParseDatedName(n, stamp, serial) && it->is_directory(ec)) found.emplace_back(stamp, serial, n);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto& f : found) out.push_back(std::get<2>(f));
    return out;
}

namespace {

bool EndsWith(const std::string& s, const char* ending)
{
    const size_t n = std::strlen(ending);
    return s.size() >= n && s.compare(s.size() - n, n, ending) == 0;
}

// An entry of a dated folder that an earlier version kept there although it was never committed.
bool IsUncommittedWork(const std::string& name)
{
    return name[0] != '.' && (EndsWith(name, kEarlierEditFolder) || EndsWith(name, kUncommittedEdit) ||
                              EndsWith(name, kEditFolderWithoutEdit));
}

// The names in a folder; the error when it cannot be listed.
std::error_code NamesIn(const std::string& folder, std::vector<std::string>& names)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    return ec;
}

// A dated folder that holds nothing but work that was never committed (an earlier version kept it there): it
// is no folder of installed copies, and thinning passes it by.
bool HoldsUncommittedWorkOnly(const std::string& dated)
{
    std::vector<std::string> names;
    if (NamesIn(dated, names)) return false;
    bool any = false;
    for (const std::string& n : names)
    {
        if (n[0] == '.') continue;
        if (!IsUncommittedWork(n)) return false;
        any = true;
    }
    return any;
}

// Moves the work that was never committed out of a dated folder about to be removed, into `keptIn`
// (uncommitted/<the same dated name>), each entry by one rename that replaces nothing. False when any of it is
// still there: the folder must then stay. Lines for the log go to `done`.
bool MoveUncommittedWorkOut(const std::string& dated, const std::string& keptIn, std::vector<std::string>* done)
{
    std::vector<std::string> names;
    if (const std::error_code ec = NamesIn(dated, names))
    {
        if (done) done->push_back("could not look for uncommitted work in " + dated + ": " + ec.message());
        return false;
    }
    bool all = true;
    for (const std::string& n : names)
    {
        if (!IsUncommittedWork(n)) continue;
        std::error_code ec;
        fs::create_directories(keptIn, ec);
        const std::string from = dated + "/" + n, to = keptIn + "/" + n;
        if (!ec && Platform::RenameNoReplace(from, to))
        {
            if (done) done->push_back("moved " + from + " to " + to);
            continue;
        }
        all = false;
        if (done)
            done->push_back("kept " + dated + ": " + n + " could not be moved to " + keptIn + ": " +
                            (ec ? ec.message() : std::strerror(errno)));
    }
    return all;
}

// Copies `folder` into root/<YYYYMMDD-HHMMSS>[-N]/<name> under a hidden name, renamed when whole; the dated
// name goes to `datedName`. `move`: the folder itself goes there by one rename, which needs no room and leaves it
// whole under one of its two names whenever the daemon dies; it is copied only from another file system, and
// then stays where it was for the caller to remove (`moved` says which). `whole`: copied with every entry as it is
// (CopyWholeFolder), or not at all; what the copy read goes to `copied`.
bool CopyIntoDatedFolder(const std::string& folder, const std::string& root, const std::string& name,
                         std::string* error, std::string* madeAt, std::string& datedName, bool move = false,
                         bool whole = false, TakenRecord* copied = nullptr, bool* moved = nullptr)
{
    if (moved) *moved = false;
    time_t now = time(nullptr);
    tm t;
    localtime_r(&now, &t);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &t);
    // A backup is never overwritten. Backups of one second share a dated folder; when the newest folder of
    // this second already holds a copy of that name (two replacements within a second), the copy goes into
    // a new "<stamp>-N" after it, so the order of the folders stays the order of the copies.
    datedName = stamp;
    unsigned newest = 0;
    for (const std::string& n : ListBackupFolders(root))
    {
        std::string s;
        unsigned serial = 0;
        if (ParseDatedName(n, s, serial) && s == stamp) newest = std::max(newest, serial);
    }
    auto nameFor = [&](unsigned serial) {
        return serial <= 1 ? std::string(stamp) : std::string(stamp) + "-" + std::to_string(serial);
    };
    std::error_code ec;
    if (newest > 0)
    {
        datedName = nameFor(newest);
        std::string taken = root + "/" + datedName + "/" + name;
        if (fs::exists(fs::symlink_status(taken, ec)) || fs::exists(fs::symlink_status(TempFolderFor(taken), ec)))
        {
            if (newest >= kMaxBackupsPerSecond)
            {
                if (error) *error = "too many backups in one second";
                return false;
            }
            datedName = nameFor(std::max(newest + 1, 2u));
        }
    }
    std::string dest = root + "/" + datedName + "/" + name;
    const std::string dated = root + "/" + datedName;
    if (move)
    {
        fs::create_directories(dated, ec);
        if (ec)
        {
            if (error) *error = "cannot make '" + dated + "': " + ec.message();
            return false;
        }
        if (Platform::RenameNoReplace(folder, dest))
        {
            if (madeAt) *madeAt = dest;
            if (moved) *moved = true;
            return true;
        }
        if (errno != EXDEV)
        {
            if (error) *error = "cannot move it to '" + dest + "': " + std::strerror(errno);
            ::rmdir(dated.c_str());
            return false;
        }
    }
    // Copied under a hidden name of the daemon's own and renamed when whole: a backup cut short by a crash never
    // looks complete, and is removed after it as the daemon's own work.
    std::string partial;
    fs::create_directories(dated, ec);
    bool ok = !ec && Platform::MakeOwnFolder(TempFolderFor(dest), partial, whole ? S_IRWXU : kCopyModeBits);
    if (!ok && error)
        *error = "cannot create '" + TempFolderFor(dest) + "': " + (ec ? ec.message() : std::strerror(errno));
    if (ok) ok = whole ? CopyWholeFolder(folder, partial, error, copied) : CopyFolderTree(folder, partial, error);
    CrashPoint("backed-up");
    if (ok)
    {
        ok = Platform::PutOwnFolderInPlace(partial, dest);
        if (!ok && error) *error = "cannot move the backup copy into place";
    }
    if (ok && madeAt) *madeAt = dest;
    if (ok) return true;
    // Nothing is left of a copy that failed, nor a dated folder made for it alone.
    if (!partial.empty()) Platform::RemoveOwnFolder(partial);
    ::rmdir(dated.c_str());
    return false;
}

}  // namespace

bool BackupFolder(const std::string& folder, const std::string& backupsRoot, const std::string& name, int maxFolders,
                  std::string* error, std::string* madeAt, std::vector<std::string>* done)
{
    std::string datedName;
    const bool ok = CopyIntoDatedFolder(folder, backupsRoot, name, error, madeAt, datedName);

    // The oldest dated folders of installed copies beyond the limit go, never the one just written; a folder
    // holding only work that was never committed is none. Work of that kind in a folder that goes is moved
    // into the uncommitted backups first, and the folder stays when it cannot be. Each folder is first renamed
    // to a hidden name, so that a removal cut short leaves nothing that looks like a backup.
    if (maxFolders < 1) maxFolders = 1;
    std::vector<std::string> copies;
    for (const std::string& n : ListBackupFolders(backupsRoot))
        if (!HoldsUncommittedWorkOnly(backupsRoot + "/" + n)) copies.push_back(n);
    size_t excess =
        copies.size() > static_cast<size_t>(maxFolders) ? copies.size() - static_cast<size_t>(maxFolders) : 0;
    const std::string uncommitted = backupsRoot + "/" + kUncommittedBackups + "/";
    for (size_t i = 0; i < copies.size() && excess > 0; ++i)
    {
        if (copies[i] == datedName) continue;
        const std::string dated = backupsRoot + "/" + copies[i];
        if (!MoveUncommittedWorkOut(dated, uncommitted + copies[i], done)) continue;
        --excess;
        // Noted as the daemon's own to remove before it takes that name: a removal cut short is finished after it.
        const std::string aside = Platform::FreeOwnNameFor(backupsRoot + "/" + kDeletingPrefix + copies[i]);
        const Platform::UniqueFd taken(::open(dated.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (aside.empty() || taken.Get() < 0) continue;
        {
            const Platform::TemporariesLock held;
            const uint64_t note = Platform::NoteTemporary(held, AT_FDCWD, aside, true, taken.Get());
            if (!Platform::RenameNoReplace(dated, aside))
            {
                Platform::ForgetTemporary(held, note);
                continue;
            }
        }
        CrashPoint("thinning");
        Platform::RemoveOwnFolder(aside);
    }
    return ok;
}

bool KeepUncommittedWork(const std::string& folder, const std::string& backupsRoot, const std::string& name, bool move,
                         std::string* error, std::string* madeAt, TakenRecord* copied, std::vector<std::string>* keptIn)
{
    const std::string root = backupsRoot + "/" + kUncommittedBackups;
    std::string datedName, at;
    TakenRecord record;
    bool moved = false;
    // A folder of the daemon's own (one it set aside) that went is no longer noted; what stays of it stays so.
    struct ForgetMoved
    {
        const std::string& folder;
        bool move;
        ~ForgetMoved()
        {
            if (move) Platform::ForgetOwnWorkGone(folder);
        }
    } forgetMoved{folder, move};
    if (!CopyIntoDatedFolder(folder, root, name, error, &at, datedName, move, true, &record, &moved)) return false;
    if (madeAt) *madeAt = at;
    if (keptIn) keptIn->push_back(at);
    if (!move || moved)
    {
        if (copied) *copied = std::move(record);
        return true;
    }
    // Copied from another file system: what the copy read goes, as far as it is still what was read. What was
    // written into the folder meanwhile (or is open in another program) is copied again by another round.
    std::string why;
    for (int round = 1;; ++round)
    {
        const TakenRemoval removal = RemoveTakenEntries(folder, record, at);
        if (removal.gone) return true;
        if (removal.error != 0)
        {
            why = std::strerror(removal.error);
            break;
        }
        if (round == kKeepRounds) break;
        record.Clear();
        if (!CopyIntoDatedFolder(folder, root, name, &why, &at, datedName, false, true, &record)) break;
        if (keptIn) keptIn->push_back(at);
    }
    if (error)
        *error = "what was written into it while it was copied stays in '" + folder + "'" +
                 (why.empty() ? "" : " (" + why + ")");
    return false;
}

std::string KeepingFolderFor(const std::string& folder) { return Beside(folder, ".vadkeep-"); }

bool KeepFolderWithoutEdit(const std::string& folder, const std::string& backupsRoot, const std::string& name,
                           std::string* error, std::vector<std::string>* keptIn)
{
    const std::string aside = KeepingFolderFor(folder);
    // What a keep cut short left aside under that name is another folder of the user's, and anything else of that
    // name is not the daemon's: never replaced.
    if (!Platform::SetOwnFolderAside(folder, aside))
    {
        if (error) *error = "it could not be set aside as '" + aside + "': " + std::strerror(errno);
        return false;
    }
    if (KeepUncommittedWork(aside, backupsRoot, name, true, error, nullptr, nullptr, keptIn)) return true;
    // Back as it was, or what was written into it while it was copied, and named where its user has it; where a
    // folder was made in its place meanwhile, it waits aside (noted as set aside) for the next start.
    if (!Platform::PutOwnFolderInPlace(aside, folder))
    {
        if (error) *error += "; it waits as '" + aside + "'";
        return false;
    }
    if (error) *error = NamedInPlace(*error, aside, folder);
    return false;
}

std::vector<std::string> CleanupKeepLeftovers(const std::string& parent, const std::string& backupsRoot,
                                              Platform::EndedOwnWork& ended)
{
    std::vector<std::string> done;
    for (const Platform::ProvenWork& work : DecideProven(ended, parent, Platform::OwnWorkKind::kAside, ".vadkeep-"))
    {
        const std::string& name = work.ownName;
        const std::string path = parent + "/" + work.name;
        if (Platform::RenameNoReplace(path, parent + "/" + name))
        {
            done.push_back("put back the edit folder " + name + ": keeping it was cut short");
            continue;
        }
        // Another folder took its place meanwhile: it is kept from where it is.
        std::string error;
        std::vector<std::string> keptIn;
        if (KeepUncommittedWork(path, backupsRoot, name + kEditFolderWithoutEdit, true, &error, nullptr, nullptr,
                                &keptIn))
            done.push_back("the edit folder " + name + " had no edit: kept " + work.name + " in " + Places(keptIn));
        else
        {
            done.push_back("could not keep " + work.name + " (an edit folder without an edit)" +
                           (keptIn.empty() ? "" : " whole") + ": " + error + KeptSoFar(keptIn));
            TakeOn(parent, work);
        }
    }
    return done;
}

std::vector<std::string> CleanupBackupLeftovers(const std::string& backupsRoot, Platform::EndedOwnWork& ended)
{
    std::vector<std::string> done;
    const std::string uncommitted = backupsRoot + "/" + kUncommittedBackups;
    for (const Platform::ProvenWork& work :
         DecideProven(ended, backupsRoot, Platform::OwnWorkKind::kTree, kDeletingPrefix))
    {
        // A removal cut short may hold work that was never committed (an earlier version kept it there).
        const std::string path = backupsRoot + "/" + work.name;
        if (MoveUncommittedWorkOut(path, uncommitted + "/" + work.name.substr(8), &done))
            done.push_back(Removed(path, "the rest of an old backup " + work.name));
        TakeOn(backupsRoot, work);
    }
    for (const std::string& root : {backupsRoot, uncommitted})
        for (const std::string& name : ListBackupFolders(root))
        {
            const std::string dated = root + "/" + name;
            for (const Platform::ProvenWork& work :
                 DecideProven(ended, dated, Platform::OwnWorkKind::kTree, ".vadtmp-"))
            {
                const std::string path = dated + "/" + work.name;
                done.push_back(Removed(path, "an unfinished backup in " + dated));
                TakeOn(dated, work);
                // A dated folder of uncommitted work is never thinned: one the unfinished copy left empty goes now.
                if (root == uncommitted) ::rmdir(dated.c_str());
            }
        }
    return done;
}

TakenFolderLeft ClearTakenFolder(const std::string& folder, const TakenRecord& record, const std::string& copy,
                                 const std::string& backupsRoot, const std::string& name)
{
    TakenFolderLeft left;
    const TakenRemoval removal = RemoveTakenEntries(folder, record, copy);
    left.removed = removal.removed;
    if (removal.gone)
    {
        Platform::ForgetOwnWorkGone(folder);
        return left;
    }
    if (!KeepUncommittedWork(folder, backupsRoot, name, true, &left.error, nullptr, nullptr, &left.keptIn))
        left.staysIn = folder;
    return left;
}
