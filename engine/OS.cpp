#include "engine/OS.h"

#include <atomic>

#include "engine/RenderStartFault.h"
#include "engine/Thread.h"
#include "platform/Disk.h"
#include "platform/Process.h"

namespace Orvo {
namespace {
std::atomic<OS*> g_current{nullptr};
} // namespace

OS::OS() = default;

OS::OS(std::string_view applicationName, std::string_view optionText, void*, void*)
    : m_applicationName(applicationName), m_options(optionText)
{
}

OS::~OS()
{
    Shutdown();
}

bool OS::Init()
{
    if (RenderStartFailureForced(RenderStartPoint::OS, m_options))
        return false;
    m_executablePath = Platform::ExecutablePath();
    m_executableFolder = Platform::ExecutableFolder();
    m_processorCount = Platform::ProcessorCount();
    m_mainThreadId = Thread::CurrentId();
    m_initialised = !m_executablePath.empty();
    if (m_initialised)
        g_current = this;
    return m_initialised;
}

void OS::Shutdown()
{
    OS* self = this;
    g_current.compare_exchange_strong(self, nullptr);
    m_initialised = false;
}

bool OS::IsMainThread() const
{
    return m_initialised && Thread::CurrentId() == m_mainThreadId;
}

bool OS::IsDebuggerPresent() const
{
    return Platform::IsDebuggerAttached();
}

uint64_t OS::GetFreeDiskSpace(const std::string& path) const
{
    return Platform::FreeDiskSpace(path);
}

OS* OS::Get()
{
    return g_current.load();
}

} // namespace Orvo
