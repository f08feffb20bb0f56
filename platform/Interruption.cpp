#include "platform/Interruption.h"

#include "platform/FileWriting.h"
#include "platform/FolderWalk.h"
#include "platform/OwnWorkRecords.h"
#include "platform/OwnerOnlyFile.h"
#include "platform/RenameNoReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <iterator>
#include <map>
#include <utility>

namespace Platform {

namespace {

struct Temporary
{
    int folderFd;
    std::string name;
    OwnWorkKind kind;
    std::string own;     // kAside: the path it is given back as
    std::string line;    // its line in the register, where it was recorded
    bool known = false;  // what was noted could be looked at: its device and inode
    uint64_t device = 0;
    uint64_t inode = 0;
};

// The register of the process's own work on disk (OwnWorkRecords.h), made with the first record.
struct Register
{
    std::string folder;  // empty: none is kept
    std::string path;
    int fd = -1;
    int owner = 0;         // the process that made it (a child forked without exec writes none)
    bool tried = false;    // made, or found not to be possible
    uint64_t written = 0;  // bytes appended since it was last whole with only what stands
};

// Process-wide and never destroyed: worker threads may still make or commit a file while the process ends.
struct EndingState
{
    std::mutex mutex;
    std::condition_variable changed;
    int writes = 0;
    bool ending = false;
    uint64_t lastNote = 0;
    std::map<uint64_t, Temporary> temporaries;
    Register record;
};

// Past this many bytes appended, a register with nothing standing is cut back to its first line, and one whose notes
// do not all go is written anew with only what stands, so that it stays small however long the process runs.
constexpr uint64_t kCutRegisterAfter = 64 * 1024;
constexpr uint64_t kRewriteRegisterAfter = 256 * 1024;

EndingState& State()
{
    static EndingState* state = new EndingState;
    return *state;
}

// How many unbroken writes this thread is inside: what it does there runs to its end, since ending waits for it.
thread_local int t_unbroken = 0;

// Waits, with `lock` held, until the process is gone once ending has begun (never returns then).
void HoldBackWhileEnding(std::unique_lock<std::mutex>& lock)
{
    if (t_unbroken > 0) return;
    State().changed.wait(lock, [] { return !State().ending; });
}

// The path of `name` in the folder open as `folderFd`, absolute where /proc or the working folder tells it.
std::string PathIn(int folderFd, const std::string& name)
{
    if (!name.empty() && name[0] == '/') return name;
    if (folderFd == AT_FDCWD)
    {
        char here[PATH_MAX];
        return ::getcwd(here, sizeof here) != nullptr ? std::string(here) + "/" + name : name;
    }
    char folder[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(folderFd);
    const ssize_t n = ::readlink(link.c_str(), folder, sizeof folder);
    return (n > 0 ? std::string(folder, static_cast<size_t>(n)) : link) + "/" + name;
}

// The register, made exclusively (owner-only) the first time a line is recorded, its header and that line written
// together (one change of the file, as each line after it is).
bool RegisterOpen(Register& r, const std::string& first)
{
    if (r.folder.empty() || r.tried) return false;
    r.tried = true;
    const std::string name = OwnWorkRegisterNameOf(::getpid());
    if (name.empty() || !MakeOwnerOnlyFolder(r.folder)) return false;
    const std::string path = r.folder + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const std::string text = kOwnWorkHeader + first;
    if (::fchmod(fd, 0600) != 0 || !WriteFully(fd, text.data(), text.size()))
    {
        ::unlink(path.c_str());
        ::close(fd);
        return false;
    }
    r.path = path;
    r.fd = fd;
    r.owner = ::getpid();
    r.written = first.size();
    return true;
}

// Appends one line whole (one write where the system takes it at once); false when it did not go whole. A child
// forked without exec writes nothing into its parent's register.
bool RegisterAppend(Register& r, const std::string& line)
{
    if (line.empty()) return false;
    if (r.fd < 0) return RegisterOpen(r, line);
    if (r.owner != ::getpid() || !WriteFully(r.fd, line.data(), line.size())) return false;
    r.written += line.size();
    return true;
}

// Once it has grown: with nothing recorded left, the register is cut back to its first line; with notes that stay,
// written anew beside itself with only what stands, and renamed over itself (whole or not at all).
void RegisterTidy(Register& r, const std::map<uint64_t, Temporary>& temporaries)
{
    if (r.fd < 0 || r.owner != ::getpid() || r.written < kCutRegisterAfter) return;
    std::string standing;
    for (const auto& [note, t] : temporaries) standing += t.line;
    const std::string_view header = kOwnWorkHeader;
    if (standing.empty())
    {
        if (::ftruncate(r.fd, static_cast<off_t>(header.size())) == 0) r.written = 0;
        return;
    }
    if (r.written < kRewriteRegisterAfter) return;
    const std::string anew = r.path + kOwnWorkRewriteSuffix;
    const int fd = ::open(anew.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return;
    standing.insert(0, header);
    if (::fchmod(fd, 0600) != 0 || !WriteFully(fd, standing.data(), standing.size()) ||
        ::rename(anew.c_str(), r.path.c_str()) != 0)
    {
        ::unlink(anew.c_str());
        ::close(fd);
        return;
    }
    ::close(std::exchange(r.fd, fd));
    r.written = 0;
}

// The register goes (nothing it records stands any more); nothing more is recorded.
void RegisterDrop(Register& r)
{
    if (r.fd >= 0 && r.owner == ::getpid())
    {
        ::unlink(r.path.c_str());
        ::close(r.fd);
    }
    r = Register();
    r.tried = true;
}

uint64_t Note(int folderFd, std::string name, OwnWorkKind kind, std::string own, const struct stat* made)
{
    EndingState& s = State();
    const uint64_t note = ++s.lastNote;
    Temporary t{folderFd, std::move(name), kind, std::move(own), {}};
    if (made != nullptr)
    {
        t.known = true;
        t.device = static_cast<uint64_t>(made->st_dev);
        t.inode = static_cast<uint64_t>(made->st_ino);
    }
    if (!s.record.folder.empty() && made != nullptr)
    {
        OwnWorkRecord r;
        r.note = note;
        r.kind = kind;
        r.device = t.device;
        r.inode = t.inode;
        r.path = PathIn(folderFd, t.name);
        r.own = t.own;
        const std::string line = OwnWorkRecordLine(r);
        if (RegisterAppend(s.record, line)) t.line = line;
    }
    s.temporaries.emplace(note, std::move(t));
    return note;
}

// Gives what was set aside its own name back where nothing has that name (nothing to do where it was never set aside).
bool GiveBack(const Temporary& t) { return RenameNoReplace(t.name, t.own) || errno == ENOENT; }

// The note goes, and its record in the register with it.
void Forget(EndingState& s, std::map<uint64_t, Temporary>::iterator it)
{
    const uint64_t note = it->first;
    const bool recorded = !it->second.line.empty();
    s.temporaries.erase(it);
    if (recorded && RegisterAppend(s.record, OwnWorkForgetLine(note))) RegisterTidy(s.record, s.temporaries);
}

// Whether the note was made of the path `path` and what that path names now (`there`, when anything) is what was
// noted.
bool NotedAt(const Temporary& t, const std::string& path) { return t.folderFd == AT_FDCWD && t.name == path; }
bool StillThere(const Temporary& t, const struct stat* there)
{
    return there != nullptr && t.known && static_cast<uint64_t>(there->st_dev) == t.device &&
           static_cast<uint64_t>(there->st_ino) == t.inode;
}

}  // namespace

UnbrokenWrite::UnbrokenWrite()
{
    std::unique_lock lock(State().mutex);
    HoldBackWhileEnding(lock);
    ++State().writes;
    ++t_unbroken;
}

UnbrokenWrite::~UnbrokenWrite()
{
    std::lock_guard lock(State().mutex);
    --t_unbroken;
    if (--State().writes == 0) State().changed.notify_all();
}

TemporariesLock::TemporariesLock() : lock_(State().mutex) { HoldBackWhileEnding(lock_); }

uint64_t NoteTemporary(const TemporariesLock&, int folderFd, std::string name, bool tree, int madeFd)
{
    struct stat st;
    const bool known =
        (madeFd >= 0 ? ::fstat(madeFd, &st) : ::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW)) == 0;
    return Note(folderFd, std::move(name), tree ? OwnWorkKind::kTree : OwnWorkKind::kFile, {}, known ? &st : nullptr);
}

uint64_t NoteSetAside(const TemporariesLock&, const std::string& aside, const std::string& own, bool already)
{
    struct stat st;
    const bool known = ::lstat((already ? aside : own).c_str(), &st) == 0;
    return Note(AT_FDCWD, aside, OwnWorkKind::kAside, PathIn(AT_FDCWD, own), known ? &st : nullptr);
}

void ForgetTemporary(const TemporariesLock&, uint64_t note)
{
    EndingState& s = State();
    const auto it = s.temporaries.find(note);
    if (it != s.temporaries.end()) Forget(s, it);
}

bool IsOwnWork(const TemporariesLock&, const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return false;
    for (const auto& [note, t] : State().temporaries)
        if (NotedAt(t, path) && StillThere(t, &st)) return true;
    return false;
}

void ForgetOwnWorkGoneFrom(const TemporariesLock&, const std::string& path)
{
    EndingState& s = State();
    struct stat st;
    const bool there = ::lstat(path.c_str(), &st) == 0;
    for (auto it = s.temporaries.begin(); it != s.temporaries.end();)
    {
        const auto next = std::next(it);
        if (NotedAt(it->second, path) && !StillThere(it->second, there ? &st : nullptr)) Forget(s, it);
        it = next;
    }
}

void KeepRegisterOfOwnWork(const std::string& folder)
{
    const TemporariesLock held;
    Register& r = State().record;
    if (r.fd >= 0 || folder.empty()) return;
    r = Register();
    r.folder = folder;
}

void EndRegisterOfOwnWork()
{
    EndingState& s = State();
    std::unique_lock lock(s.mutex, std::try_to_lock);
    if (!lock.owns_lock() || s.ending) return;
    for (const auto& [note, t] : s.temporaries)
        if (!t.line.empty()) return;
    RegisterDrop(s.record);
}

std::string PrepareToEnd()
{
    EndingState& s = State();
    std::unique_lock lock(s.mutex);
    s.ending = true;
    s.changed.wait(lock, [&s] { return s.writes == 0; });
    std::string left;
    for (const auto& [note, t] : s.temporaries)
    {
        errno = 0;
        const bool done = t.kind == OwnWorkKind::kAside ? GiveBack(t)
                          : t.kind == OwnWorkKind::kTree
                              ? RemoveTree(t.name)
                              : ::unlinkat(t.folderFd, t.name.c_str(), 0) == 0 || errno == ENOENT;
        if (done) continue;
        if (t.kind == OwnWorkKind::kAside)
            left += "'" + t.name + "' could not be given its name '" + t.own +
                    "' back: " + std::strerror(errno != 0 ? errno : EIO) + "\n";
        else
            left += "The temporary file '" + PathIn(t.folderFd, t.name) +
                    "' could not be removed: " + std::strerror(errno != 0 ? errno : EIO) + "\n";
    }
    s.temporaries.clear();
    // What could not go stays recorded, for the sweep after this process.
    if (left.empty()) RegisterDrop(s.record);
    return left;
}

}  // namespace Platform
