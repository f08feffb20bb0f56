#include "engine/Mutex.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "engine/CriticalSection.h"
#include "platform/FileLock.h"

namespace Orvo {

// What every Mutex of one name in this process shares: the in-process owner and, while any thread
// owns it, the lock file.
struct Mutex::Shared
{
    CriticalSection local;
    std::string path;         // empty for an unnamed mutex
    Platform::FileLock file;  // held while local is owned
    int depth = 0;            // guarded by local
};

namespace {

std::mutex g_registryMutex;
// Process-wide: a file lock belongs to the process, so two mutexes of one name in it must share one.
std::map<std::string, std::weak_ptr<Mutex::Shared>> g_registry;

uint64_t Fnv1a(const std::string& text)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text)
    {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace

std::string Mutex::LockFilePathFor(const std::string& name)
{
    std::string folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && *runtime == '/' && std::filesystem::is_directory(runtime))
        folder = runtime;
    else
        folder = std::filesystem::temp_directory_path().string();
    // Readable part of the name plus a hash of all of it: distinct names never meet, whatever
    // characters ("Global\\...") they contain.
    std::string readable;
    for (char c : name)
    {
        if (readable.size() >= 64) break;
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        readable += plain ? c : '_';
    }
    char hash[17];
    snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(name)));
    return folder + "/velmar-mutex-" + std::to_string(getuid()) + "-" + readable + "-" + hash + ".lock";
}

Mutex::Mutex(const char* name) : name_(name ? name : "")
{
    if (name_.empty())
    {
        shared_ = std::make_shared<Shared>();
        return;
    }
    std::lock_guard<std::mutex> lock(g_registryMutex);
    auto& slot = g_registry[name_];
    shared_ = slot.lock();
    if (!shared_)
    {
        shared_ = std::make_shared<Shared>();
        shared_->path = LockFilePathFor(name_);
        slot = shared_;
    }
}

Mutex::~Mutex()
{
    if (name_.empty()) return;
    std::lock_guard<std::mutex> lock(g_registryMutex);
    shared_.reset();
    auto it = g_registry.find(name_);
    if (it != g_registry.end() && it->second.expired()) g_registry.erase(it);
}

bool Mutex::Lock(uint32_t timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    Shared& s = *shared_;
    if (!s.local.Lock(timeoutMs)) return false;
    if (s.depth == 0 && !s.path.empty())
    {
        int left = -1;
        if (timeoutMs != kInfinite)
        {
            auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            left = spent >= timeoutMs ? 0 : static_cast<int>(std::min<int64_t>(timeoutMs - spent, 1 << 30));
        }
        if (!s.file.Lock(s.path, left))
        {
            s.local.Unlock();
            return false;
        }
    }
    ++s.depth;
    return true;
}

bool Mutex::Unlock()
{
    Shared& s = *shared_;
    if (!s.local.IsOwnedByCurrentThread()) return false;
    if (--s.depth == 0) s.file.Unlock();
    return s.local.Unlock();
}

}  // namespace Orvo
