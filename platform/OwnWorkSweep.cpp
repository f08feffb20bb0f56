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

bool OwnerOnly(const struct stat& st, mode_t mode) { return st.st_uid == ::geteuid() && (st.st_mode & 07777) == mode; }

bool Proven(const struct stat& st, const OwnWorkRecord& r)
{
    return static_cast<uint64_t>(st.st_dev) == r.device && static_cast<uint64_t>(st.st_ino) == r.inode;
}

bool OfKind(const struct stat& st, OwnWorkKind kind)
{
    return kind == OwnWorkKind::kAside || (kind == OwnWorkKind::kTree ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode));
}

std::string Why() { return std::strerror(errno != 0 ? errno : EIO); }

std::string ParentOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}
std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Does what one record proves is still to do; a line for the log where anything was there.
void SweepRecord(const OwnWorkRecord& r, std::vector<std::string>& done)
{
    const std::string name = NameOf(r.path);
    const UniqueFd folder(::open(ParentOf(r.path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (name.empty() || folder.Get() < 0 || ::fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!Proven(st, r))
    {
        done.push_back("left " + r.path + " as it is: it is not what the process made");
        return;
    }
    errno = 0;
    if (!OfKind(st, r.kind)) return;
    switch (r.kind)
    {
    case OwnWorkKind::kFile:
        done.push_back(::unlinkat(folder.Get(), name.c_str(), 0) == 0
                           ? "removed the temporary file " + r.path
                           : "could not remove the temporary file " + r.path + ": " + Why());
        return;
    case OwnWorkKind::kTree:
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

// The register `name` opened and locked against another sweep (one working through it is waited for), when it is a
// file of this user's that only it may use and is still named so (one another sweep removed meanwhile is not); its
// status goes to `st`.
UniqueFd OpenRegister(int folder, const std::string& name, struct stat& st, bool& sound)
{
    UniqueFd fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0 && errno == ENOENT)
    {
        sound = true;  // swept meanwhile
        return fd;
    }
    sound = fd.Get() >= 0 && ::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode) && OwnerOnly(st, 0600);
    if (!sound) return UniqueFd();
    struct stat now;
    if (::flock(fd.Get(), LOCK_EX) != 0 || ::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        now.st_dev != st.st_dev || now.st_ino != st.st_ino)
        return UniqueFd();
    return fd;
}

}  // namespace

std::vector<std::string> SweepOwnWorkOfEndedProcesses(const std::string& folder)
{
    return EndedOwnWork(folder).Sweep();
}

EndedOwnWork::EndedOwnWork(const std::string& folder) : folder_(folder)
{
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (fd.Get() < 0)
    {
        if (errno != ENOENT) done_.push_back("the registers of own work in " + folder + " cannot be read: " + Why());
        return;
    }
    if (::fstat(fd.Get(), &st) != 0 || !OwnerOnly(st, 0700))
    {
        done_.push_back("left the registers of own work in " + folder +
                        " alone: it is no owner-only folder of this user");
        return;
    }
    usable_ = true;
    std::vector<std::string> names;
    if (!ListNamesAt(fd.Get(), names)) return;
    if (names.size() > kMaxRegisters) names.resize(kMaxRegisters);
    for (const std::string& name : names)
    {
        std::string base = name;
        const std::string_view suffix = kOwnWorkRewriteSuffix;
        const bool rewrite =
            base.size() > suffix.size() && base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0;
        if (rewrite) base.resize(base.size() - suffix.size());
        const int pid = OwnWorkRegisterProcess(base);
        // A process still running (the same start, since the same boot) keeps its register.
        if (pid == 0 || OwnWorkRegisterNameOf(pid) == base) continue;
        if (rewrite)
        {
            // A register being written anew when its process ended: the register itself holds what stands.
            rewrites_.push_back(name);
            continue;
        }
        const std::string path = folder + "/" + name;
        struct stat file;
        bool sound = false;
        const UniqueFd reg = OpenRegister(fd.Get(), name, file, sound);
        if (!sound)
        {
            done_.push_back("left the register " + path + " as it is: it is no owner-only file of this user");
            continue;
        }
        if (reg.Get() < 0) continue;
        std::string bytes, why;
        Register r;
        int error = 0;
        if (!ReadOpenedFile(reg.Get(), static_cast<uint64_t>(file.st_size), bytes, kMaxOwnWorkBytes, &error))
            why = error == EFBIG ? "it is larger than a register may be" : std::strerror(error);
        else
            ReadOwnWorkRecords(bytes, r.records, &why);
        if (!why.empty())
        {
            done_.push_back("left the register " + path + " as it is: " + why);
            continue;
        }
        r.name = name;
        r.device = static_cast<uint64_t>(file.st_dev);
        r.inode = static_cast<uint64_t>(file.st_ino);
        r.decided.assign(r.records.size(), false);
        registers_.push_back(std::move(r));
    }
}

std::vector<ProvenWork> EndedOwnWork::ProvenIn(const std::string& folder, OwnWorkKind kind) const
{
    std::vector<ProvenWork> proven;
    struct stat asked, parent, entry;
    if (registers_.empty() || ::stat(folder.c_str(), &asked) != 0) return proven;
    for (size_t i = 0; i < registers_.size(); ++i)
        for (size_t j = 0; j < registers_[i].records.size(); ++j)
        {
            const OwnWorkRecord& r = registers_[i].records[j];
            if (registers_[i].decided[j] || r.kind != kind) continue;
            const std::string in = ParentOf(r.path), name = NameOf(r.path);
            const UniqueFd at(::open(in.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (name.empty() || at.Get() < 0 || ::fstat(at.Get(), &parent) != 0 || parent.st_dev != asked.st_dev ||
                parent.st_ino != asked.st_ino || ::fstatat(at.Get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 ||
                !Proven(entry, r) || !OfKind(entry, kind))
                continue;
            ProvenWork work;
            work.name = name;
            work.kind = kind;
            if (kind == OwnWorkKind::kAside && ParentOf(r.own) == in) work.ownName = NameOf(r.own);
            work.from = i;
            work.record = j;
            proven.push_back(std::move(work));
        }
    return proven;
}

void EndedOwnWork::Decided(const ProvenWork& work)
{
    if (work.from < registers_.size() && work.record < registers_[work.from].decided.size())
        registers_[work.from].decided[work.record] = true;
}

std::vector<std::string> EndedOwnWork::Sweep()
{
    std::vector<std::string> done = std::move(done_);
    done_.clear();
    if (swept_ || !usable_) return done;
    swept_ = true;
    const UniqueFd fd(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.Get() < 0) return done;
    for (const Register& r : registers_)
    {
        // Only the file that was read, while no other sweep works through it (one that swept it meanwhile removed it).
        struct stat st;
        bool sound = false;
        const UniqueFd reg = OpenRegister(fd.Get(), r.name, st, sound);
        if (reg.Get() < 0 || static_cast<uint64_t>(st.st_dev) != r.device ||
            static_cast<uint64_t>(st.st_ino) != r.inode)
            continue;
        for (size_t j = 0; j < r.records.size(); ++j)
            if (!r.decided[j]) SweepRecord(r.records[j], done);
        ::unlinkat(fd.Get(), r.name.c_str(), 0);
    }
    for (const std::string& name : rewrites_)
    {
        struct stat file;
        if (::fstatat(fd.Get(), name.c_str(), &file, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(file.st_mode) &&
            OwnerOnly(file, 0600))
            ::unlinkat(fd.Get(), name.c_str(), 0);
    }
    return done;
}

}  // namespace Platform
