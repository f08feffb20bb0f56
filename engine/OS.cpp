#include "engine/OS.h"

#include "engine/RenderStartFault.h"
#include "engine/Thread.h"
#include "platform/Disk.h"
#include "platform/Process.h"

namespace Orvo {

OS::OS() = default;

OS::OS(std::string_view applicationName, std::string_view optionText, void*, void*)
    : applicationName_(applicationName), options_(optionText)
{}

OS::~OS() { Shutdown(); }

bool OS::Init()
{
    if (RenderStartFailureForced(RenderStartPoint::OS, options_)) return false;
    executablePath_ = Platform::ExecutablePath();
    executableFolder_ = Platform::ExecutableFolder();
    processorCount_ = Platform::ProcessorCount();
    mainThreadId_ = Thread::CurrentId();
    initialised_ = !executablePath_.empty();
    return initialised_;
}

void OS::Shutdown() { initialised_ = false; }

bool OS::IsMainThread() const { return initialised_ && Thread::CurrentId() == mainThreadId_; }

bool OS::IsDebuggerPresent() const { return Platform::IsDebuggerAttached(); }

uint64_t OS::GetFreeDiskSpace(const std::string& path) const { return Platform::FreeDiskSpace(path); }

}  // namespace Orvo
