#include "platform/OwnWorkSweep.h"

#include "platform/FileWriting.h"
#include "platform/FolderWalk.h"
#include "platform/OwnWorkRecords.h"
#include "platform/RenameNoReplace.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Platform {

namespace {

// A folder holding more registers than this is looked through no further at one sweep.
constexpr size_t kMaxRegisters = 10000;
constexpr char kRewriteSuffix[] = ".new";  // a register being written anew (Interruption.cpp)

bool OwnerOnly(const struct stat& st, mode_t mode) { return st.st_uid == ::geteuid() && (st.st_mode & 07777) == mode; }

bool Proven(const struct stat& st, const OwnWorkRecord& r)
{
    return static_cast<uint64_t>(st.st_dev) == r.device && static_cast<uint64_t>(st.st_ino) == r.inode;
}

std::string Why() { return std::strerror(errno != 0 ? errno : EIO); }

// Does what one record proves is still to do; a line for the log where anything was there.
void Sweep(const OwnWorkRecord& r, std::vector<std::string>& done)
{
    const size_t slash = r.path.rfind('/');
    const std::string parent = slash == 0 ? "/" : r.path.substr(0, slash), name = r.path.substr(slash + 1);
    const UniqueFd folder(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (name.empty() || folder.Get() < 0 || ::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!Proven(st, r))
    {
        done.push_back("left " + r.path + " as it is: it is not what the process made");
        return;
    }
    errno = 0;
    switch (r.kind)
    {
    case OwnWorkKind::kFile:
        if (!S_ISREG(st.st_mode)) return;
        done.push_back(::unlinkat(folder.Get(), name.c_str(), 0) == 0
                           ? "removed the temporary file " + r.path
                           : "could not remove the temporary file " + r.path + ": " + Why());
        return;
    case OwnWorkKind::kTree:
        if (!S_ISDIR(st.st_mode)) return;
        done.push_back(RemoveTree(r.path) ? "removed the work folder " + r.path
                                          : "could not remove all of the work folder " + r.path + ": " + Why());
        return;
    case OwnWorkKind::kAside:
        done.push_back(RenameNoReplace(r.path, r.own) ? "gave " + r.path + " its name " + r.own + " back"
                                                      : "left " + r.path + " as it is (its name " + r.own +
                                                            " could not be given back: " + Why() + ")");
        return;
    }
}

// One register of a process that has ended: its records done, then the register removed. Left as it is where it
// is not a sound register of this user's.
void SweepRegister(int folder, const std::string& name, const std::string& path, std::vector<std::string>& done)
{
    const UniqueFd fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || !OwnerOnly(st, 0600))
    {
        done.push_back("left the register " + path + " as it is: it is no owner-only file of this user");
        return;
    }
    // A sweep at the same time (another thread's) finishes first: the copy that waits for this one must not find
    // what is still being removed.
    if (::flock(fd.Get(), LOCK_EX) != 0) return;
    std::string bytes, why;
    std::vector<OwnWorkRecord> records;
    int error = 0;
    if (!ReadOpenedFile(fd.Get(), static_cast<uint64_t>(st.st_size), bytes, kMaxOwnWorkBytes, &error))
        why = error == EFBIG ? "it is larger than a register may be" : std::strerror(error);
    else
        ReadOwnWorkRecords(bytes, records, &why);
    if (!why.empty())
    {
        done.push_back("left the register " + path + " as it is: " + why);
        return;
    }
    for (const OwnWorkRecord& r : records) Sweep(r, done);
    // Only the file that was read: one put in its place meanwhile stays for the next sweep.
    struct stat now;
    if (::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == st.st_dev &&
        now.st_ino == st.st_ino)
        ::unlinkat(folder, name.c_str(), 0);
}

}  // namespace

std::vector<std::string> SweepOwnWorkOfEndedProcesses(const std::string& folder)
{
    std::vector<std::string> done;
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (fd.Get() < 0)
    {
        if (errno != ENOENT) done.push_back("the registers of own work in " + folder + " cannot be read: " + Why());
        return done;
    }
    if (::fstat(fd.Get(), &st) != 0 || !OwnerOnly(st, 0700))
    {
        done.push_back("left the registers of own work in " + folder +
                       " alone: it is no owner-only folder of this user");
        return done;
    }
    std::vector<std::string> names;
    if (!ListNamesAt(fd.Get(), names)) return done;
    if (names.size() > kMaxRegisters) names.resize(kMaxRegisters);
    for (const std::string& name : names)
    {
        std::string base = name;
        const std::string_view suffix = kRewriteSuffix;
        const bool rewrite =
            base.size() > suffix.size() && base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0;
        if (rewrite) base.resize(base.size() - suffix.size());
        const int pid = OwnWorkRegisterProcess(base);
        // A process still running (the same start, since the same boot) keeps its register.
        if (pid == 0 || OwnWorkRegisterNameOf(pid) == base) continue;
        const std::string path = folder + "/" + name;
        if (!rewrite)
        {
            SweepRegister(fd.Get(), name, path, done);
            continue;
        }
        // A register being written anew when its process ended: the register itself holds what stands.
        struct stat file;
        if (::fstatat(fd.Get(), name.c_str(), &file, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(file.st_mode) &&
            OwnerOnly(file, 0600))
            ::unlinkat(fd.Get(), name.c_str(), 0);
    }
    return done;
}

}  // namespace Platform
