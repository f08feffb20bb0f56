#include "daemon/CrashPoint.h"

#include <csignal>
#include <unistd.h>

namespace {

// Set once by main before any thread starts; read-only afterwards.
std::string g_crashAt;

}  // namespace

void SetCrashPoint(const std::string& name) { g_crashAt = name; }

void CrashPoint(const char* name)
{
    if (!g_crashAt.empty() && g_crashAt == name) kill(getpid(), SIGKILL);
}

void CrashPointAtRequest(uint32_t code)
{
    if (!g_crashAt.empty() && g_crashAt == "request-" + std::to_string(code)) kill(getpid(), SIGKILL);
}
