#include "core/CoreStartup.h"

#include "core/CoreThreads.h"

#include <cstdlib>
#include <mutex>
#include <random>

namespace {
// Process-wide: the core starts once per process, whoever asks first.
std::once_flag g_initialised;
}  // namespace

void InitialiseCoreServices()
{
    std::call_once(g_initialised, [] {
        std::random_device device;
        std::srand(device());
        SetMainThread();
    });
}

void InitialiseApplication()
{
    InitialiseCoreServices();
    SetMainThread();
}
