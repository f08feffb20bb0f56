#include "platform/Interruption.h"

#include "platform/FolderWalk.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <utility>

namespace Platform {

namespace {

struct Temporary
{
    int folderFd;
    std::string name;
    bool tree;
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
};

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

// The temporary's path, for a message.
std::string PathOf(const Temporary& t)
{
    if (t.folderFd == AT_FDCWD || (!t.name.empty() && t.name[0] == '/')) return t.name;
    char folder[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(t.folderFd);
    const ssize_t n = ::readlink(link.c_str(), folder, sizeof folder);
    return (n > 0 ? std::string(folder, static_cast<size_t>(n)) : link) + "/" + t.name;
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

uint64_t NoteTemporary(const TemporariesLock&, int folderFd, std::string name, bool tree)
{
    const uint64_t note = ++State().lastNote;
    State().temporaries.emplace(note, Temporary{folderFd, std::move(name), tree});
    return note;
}

void ForgetTemporary(const TemporariesLock&, uint64_t note) { State().temporaries.erase(note); }

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
        const bool gone =
            t.tree ? RemoveTree(t.name) : ::unlinkat(t.folderFd, t.name.c_str(), 0) == 0 || errno == ENOENT;
        if (!gone)
            left += "The temporary file '" + PathOf(t) +
                    "' could not be removed: " + std::strerror(errno != 0 ? errno : EIO) + "\n";
    }
    s.temporaries.clear();
    return left;
}

}  // namespace Platform
