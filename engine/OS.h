#pragma once
// The engine's operating-system object: created once at start-up, it records what the rest of the
// engine asks about the machine and the running program.
#include "engine/Options.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Orvo {

class OS
{
public:
    OS();
    // The application's name and its engine options ("-NullRender -LogFile=/dev/null "); the instance
    // and window handles of a windowed program have no use here and may be null.
    OS(std::string_view applicationName, std::string_view optionText, void* instance = nullptr, void* window = nullptr);
    ~OS();
    OS(const OS&) = delete;
    OS& operator=(const OS&) = delete;

    // Records the executable's path, the processor count and the calling (main) thread. False
    // when the executable's path cannot be found, or when a renderer start failure is forced for
    // tests (engine/RenderStartFault.h).
    bool Init();
    void Shutdown();
    bool IsInitialised() const { return initialised_; }

    int GetProcessorCount() const { return processorCount_; }
    const std::string& GetExecutablePath() const { return executablePath_; }
    const std::string& GetExecutableFolder() const { return executableFolder_; }  // no trailing '/'
    uint32_t GetMainThreadId() const { return mainThreadId_; }
    bool IsMainThread() const;
    bool IsDebuggerPresent() const;
    // Free bytes for this user on the file system of `path`; 0 when it cannot be examined.
    uint64_t GetFreeDiskSpace(const std::string& path) const;

    const std::string& GetApplicationName() const { return applicationName_; }
    // The engine options; start-up adds to them ("-NullRender") before initialising again.
    Options& GetOptions() { return options_; }
    const Options& GetOptions() const { return options_; }

private:
    bool initialised_ = false;
    int processorCount_ = 1;
    uint32_t mainThreadId_ = 0;
    std::string executablePath_;
    std::string executableFolder_;
    std::string applicationName_;
    Options options_;
};

}  // namespace Orvo
