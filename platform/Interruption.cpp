#include "platform/Interruption.h"

#include "platform/FileWriting.h"
#include "platform/FolderWalk.h"
#include "platform/OwnWorkRecords.h"
#include "platform/OwnerOnlyFile.h"
#include "platform/RenameNoReplace.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <iterator>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

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
    std::string waiting;   // lines of notes forgotten in a batch, for the next write (OwnWorkBatch)
};

// Process-wide and never destroyed: worker threads may still make or commit a file while the process ends.
struct EndingState
{
    std::mutex mutex;  // the notes and the register, held while they are looked at or changed
    std::condition_variable changed;
    int writes = 0;
    std::atomic<int> steps{0};  // TemporariesLock objects standing, which ending waits for
    std::atomic<bool> ending{false};
    uint64_t lastNote = 0;
    std::map<uint64_t, Temporary> temporaries;
    std::unordered_multimap<std::string, uint64_t> byPath;  // the notes made of a path (AT_FDCWD), by that path
    Register record;
    int batches = 0;  // OwnWorkBatch objects standing
};

// Past this many bytes appended, a register with nothing standing is cut back to its first line, and one whose notes
// do not all go is written anew with only what stands, so that it stays small however long the process runs.
constexpr uint64_t kCutRegisterAfter = 64 * 1024;
constexpr uint64_t kRewriteRegisterAfter = 256 * 1024;
// Past this many bytes of lines waiting in a batch, they are written at once.
constexpr size_t kMaxWaitingLines = 4096;

EndingState& State()
{
    static EndingState* state = new EndingState;
    return *state;
}

// This process's id, asked for once rather than at each line written; asked again in a child forked without exec, so
// that the child never takes its parent's register for its own.
std::atomic<int> g_process{0};

void ProcessForked() { g_process.store(::getpid(), std::memory_order_relaxed); }

int ThisProcess()
{
    static const bool watched = ::pthread_atfork(nullptr, nullptr, ProcessForked) == 0;
    int pid = g_process.load(std::memory_order_relaxed);
    if (pid == 0 || !watched)
    {
        pid = ::getpid();
        g_process.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

// How many unbroken writes this thread is inside: what it does there runs to its end, since ending waits for it.
thread_local int t_unbroken = 0;

// Waits, with `lock` held, until the process is gone once ending has begun (never returns then).
void HoldBackWhileEnding(std::unique_lock<std::mutex>& lock)
{
    if (t_unbroken > 0) return;
    State().changed.wait(lock, [] { return !State().ending.load(); });
}

// A step is over: ending, waiting for the last one, is told. (The count and the flag are each one change in a single
// order of all such changes: either ending finds the step still counted and waits, or the step finds ending begun.)
void StepEnded(EndingState& s)
{
    if (s.steps.fetch_sub(1) != 1 || !s.ending.load()) return;
    const std::lock_guard lock(s.mutex);
    s.changed.notify_all();
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
    const std::string name = OwnWorkRegisterNameOf(ThisProcess());
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
    r.owner = ThisProcess();
    r.written = first.size();
    return true;
}

// Appends one line whole, after the lines waiting (one write where the system takes it at once); false when it did
// not go whole. A child forked without exec writes nothing into its parent's register.
bool RegisterAppend(Register& r, const std::string& line)
{
    if (line.empty()) return false;
    if (r.fd < 0) return RegisterOpen(r, line);
    if (r.owner != ThisProcess()) return false;
    const std::string* text = &line;
    std::string both;
    if (!r.waiting.empty())
    {
        both = std::exchange(r.waiting, {}) + line;
        text = &both;
    }
    if (!WriteFully(r.fd, text->data(), text->size())) return false;
    r.written += text->size();
    return true;
}

// Once it has grown: with nothing recorded left, the register is cut back to its first line; with notes that stay,
// written anew beside itself with only what stands, and renamed over itself (whole or not at all).
void RegisterTidy(Register& r, const std::map<uint64_t, Temporary>& temporaries)
{
    if (r.fd < 0 || r.owner != ThisProcess() || r.written < kCutRegisterAfter) return;
    std::string standing;
    for (const auto& [note, t] : temporaries) standing += t.line;
    const std::string_view header = kOwnWorkHeader;
    if (standing.empty())
    {
        if (::ftruncate(r.fd, static_cast<off_t>(header.size())) != 0) return;
        r.written = 0;
        r.waiting.clear();
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
    r.waiting.clear();
}

// Writes the lines waiting, if any (then tidies the register).
void RegisterFlush(Register& r, const std::map<uint64_t, Temporary>& temporaries)
{
    if (r.waiting.empty()) return;
    if (r.fd < 0 || r.owner != ThisProcess())
    {
        r.waiting.clear();
        return;
    }
    const std::string lines = std::exchange(r.waiting, {});
    if (WriteFully(r.fd, lines.data(), lines.size())) r.written += lines.size();
    RegisterTidy(r, temporaries);
}

// The register goes (nothing it records stands any more); nothing more is recorded.
void RegisterDrop(Register& r)
{
    if (r.fd >= 0 && r.owner == ThisProcess())
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
    if (folderFd == AT_FDCWD) s.byPath.emplace(t.name, note);
    s.temporaries.emplace(note, std::move(t));
    return note;
}

// Gives what was set aside its own name back where nothing has that name (nothing to do where it was never set aside).
bool GiveBack(const Temporary& t) { return RenameNoReplace(t.name, t.own) || errno == ENOENT; }

// Whether what the note's path names now (`there`, when anything) is what was noted.
bool StillThere(const Temporary& t, const struct stat* there)
{
    return there != nullptr && t.known && static_cast<uint64_t>(there->st_dev) == t.device &&
           static_cast<uint64_t>(there->st_ino) == t.inode;
}

// The note goes, and its record in the register with it. Of what was seen to be no longer there (`gone`), the line
// waits while a batch stands: late, it changes nothing a sweep does, which acts only on what is still at the recorded
// path as the same file (device and inode) -- and what was removed or renamed away is not.
void Forget(EndingState& s, std::map<uint64_t, Temporary>::iterator it, bool gone = false)
{
    const uint64_t note = it->first;
    const bool recorded = !it->second.line.empty();
    if (it->second.folderFd == AT_FDCWD)
    {
        const auto [first, last] = s.byPath.equal_range(it->second.name);
        for (auto at = first; at != last; ++at)
            if (at->second == note)
            {
                s.byPath.erase(at);
                break;
            }
    }
    s.temporaries.erase(it);
    if (!recorded) return;
    if (gone && s.batches > 0 && s.record.fd >= 0)
    {
        s.record.waiting += OwnWorkForgetLine(note);
        if (s.record.waiting.size() >= kMaxWaitingLines) RegisterFlush(s.record, s.temporaries);
        return;
    }
    if (RegisterAppend(s.record, OwnWorkForgetLine(note))) RegisterTidy(s.record, s.temporaries);
}

// The notes made of the path `path`, in the order made.
std::vector<uint64_t> NotesAt(const EndingState& s, const std::string& path)
{
    std::vector<uint64_t> notes;
    const auto [first, last] = s.byPath.equal_range(path);
    for (auto at = first; at != last; ++at) notes.push_back(at->second);
    std::sort(notes.begin(), notes.end());
    return notes;
}

// Forgets each note made of the path `path` that what it names now (`there`, when anything) is not.
void ForgetGoneFrom(EndingState& s, const std::string& path, const struct stat* there)
{
    for (const uint64_t note : NotesAt(s, path))
    {
        const auto it = s.temporaries.find(note);
        if (it != s.temporaries.end() && !StillThere(it->second, there)) Forget(s, it, true);
    }
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

TemporariesLock::TemporariesLock()
{
    EndingState& s = State();
    s.steps.fetch_add(1);
    if (!s.ending.load() || t_unbroken > 0) return;
    StepEnded(s);
    std::unique_lock lock(s.mutex);
    HoldBackWhileEnding(lock);
}

TemporariesLock::~TemporariesLock() { StepEnded(State()); }

uint64_t NoteTemporary(const TemporariesLock&, int folderFd, std::string name, bool tree, int madeFd)
{
    struct stat st;
    const bool known =
        (madeFd >= 0 ? ::fstat(madeFd, &st) : ::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW)) == 0;
    const std::lock_guard lock(State().mutex);
    return Note(folderFd, std::move(name), tree ? OwnWorkKind::kTree : OwnWorkKind::kFile, {}, known ? &st : nullptr);
}

uint64_t NoteSetAside(const TemporariesLock&, const std::string& aside, const std::string& own, bool already)
{
    struct stat st;
    const bool known = ::lstat((already ? aside : own).c_str(), &st) == 0;
    std::string ownPath = PathIn(AT_FDCWD, own);
    const std::lock_guard lock(State().mutex);
    return Note(AT_FDCWD, aside, OwnWorkKind::kAside, std::move(ownPath), known ? &st : nullptr);
}

void ForgetTemporary(const TemporariesLock&, uint64_t note)
{
    EndingState& s = State();
    const std::lock_guard lock(s.mutex);
    const auto it = s.temporaries.find(note);
    if (it != s.temporaries.end()) Forget(s, it);
}

bool IsOwnWork(const TemporariesLock&, const std::string& path, struct stat* seen)
{
    EndingState& s = State();
    const std::lock_guard lock(s.mutex);
    if (s.byPath.count(path) == 0) return false;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (seen) *seen = st;
    for (const uint64_t note : NotesAt(s, path))
        if (StillThere(s.temporaries.at(note), &st)) return true;
    return false;
}

void ForgetOwnWorkGoneFrom(const TemporariesLock&, const std::string& path)
{
    EndingState& s = State();
    const std::lock_guard lock(s.mutex);
    if (s.byPath.count(path) == 0) return;
    struct stat st;
    const bool there = ::lstat(path.c_str(), &st) == 0;
    ForgetGoneFrom(s, path, there ? &st : nullptr);
}

void ForgetOwnWorkMovedFrom(const TemporariesLock&, const std::string& path)
{
    EndingState& s = State();
    const std::lock_guard lock(s.mutex);
    if (s.byPath.count(path) != 0) ForgetGoneFrom(s, path, nullptr);
}

OwnWorkBatch::OwnWorkBatch()
{
    const std::lock_guard lock(State().mutex);
    ++State().batches;
}

OwnWorkBatch::~OwnWorkBatch()
{
    EndingState& s = State();
    const std::lock_guard lock(s.mutex);
    --s.batches;
    if (!s.ending.load()) RegisterFlush(s.record, s.temporaries);
}

void KeepRegisterOfOwnWork(const std::string& folder)
{
    const TemporariesLock held;
    const std::lock_guard lock(State().mutex);
    Register& r = State().record;
    if (r.fd >= 0 || folder.empty()) return;
    r = Register();
    r.folder = folder;
}

void EndRegisterOfOwnWork()
{
    EndingState& s = State();
    std::unique_lock lock(s.mutex, std::try_to_lock);
    if (!lock.owns_lock() || s.ending.load() || s.steps.load() > 0) return;
    for (const auto& [note, t] : s.temporaries)
        if (!t.line.empty())
        {
            RegisterFlush(s.record, s.temporaries);
            return;
        }
    RegisterDrop(s.record);
}

std::string PrepareToEnd()
{
    EndingState& s = State();
    std::unique_lock lock(s.mutex);
    s.ending.store(true);
    s.changed.wait(lock, [&s] { return s.writes == 0 && s.steps.load() == 0; });
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
    s.byPath.clear();
    // What could not go stays recorded, for the sweep after this process.
    if (left.empty()) RegisterDrop(s.record);
    return left;
}

}  // namespace Platform
