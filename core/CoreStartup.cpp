#include "core/CoreStartup.h"

#include "core/CoreThreads.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <random>

namespace {
// Process-wide: the core starts once per process, whoever asks first.
std::once_flag g_initialised;
struct Application
{
    std::atomic<int64_t> startTicks{0};
    std::mutex nameLock;
    Orvo::String name;  // under nameLock
};
Application& TheApplication()
{
    // Process-wide: the process is one application, started once.
    static Application application;
    return application;
}

int64_t SteadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void InitialiseCoreServices()
{
    std::call_once(g_initialised, [] {
        std::random_device device;
        std::srand(device());
        TheApplication().startTicks.store(SteadyMs());
        SetMainThread();
    });
}

void InitialiseApplication(const Orvo::String& name)
{
    InitialiseCoreServices();
    {
        std::lock_guard<std::mutex> guard(TheApplication().nameLock);
        TheApplication().name = name;
    }
    SetMainThread();
}

Orvo::String GetApplicationName()
{
    std::lock_guard<std::mutex> guard(TheApplication().nameLock);
    return TheApplication().name;
}

uint64_t GetCoreUptimeMs()
{
    const int64_t start = TheApplication().startTicks.load();
    return start == 0 ? 0 : static_cast<uint64_t>(SteadyMs() - start);
}
