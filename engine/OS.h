#pragma once
// The engine's operating-system object: created once at start-up, it records what the rest of the
// engine asks about the machine and the running program.
#include "engine/Options.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Orvo {

class OS {
public:
    OS();
    // The application's name and its engine options ("-NullRender -LogFile=/dev/null "); the instance
    // and window handles of a windowed program have no use here and may be null.
    OS(std::string_view applicationName, std::string_view optionText, void* instance = nullptr,
       void* window = nullptr);
    ~OS();
    OS(const OS&) = delete;
    OS& operator=(const OS&) = delete;

    // Records the executable's path, the processor count and the calling (main) thread. False
    // when the executable's path cannot be found, or when a renderer start failure is forced for
    // tests (engine/RenderStartFault.h).
    bool Init();
    void Shutdown();
    bool IsInitialised() const { return m_initialised; }

    int GetProcessorCount() const { return m_processorCount; }
    const std::string& GetExecutablePath() const { return m_executablePath; }
    const std::string& GetExecutableFolder() const { return m_executableFolder; } // no trailing '/'
    uint32_t GetMainThreadId() const { return m_mainThreadId; }
    bool IsMainThread() const;
    bool IsDebuggerPresent() const;
    // Free bytes for this user on the file system of `path`; 0 when it cannot be examined.
    uint64_t GetFreeDiskSpace(const std::string& path) const;

    // The OS object most recently initialised and still alive, or null.
    static OS* Get();

    const std::string& GetApplicationName() const { return m_applicationName; }
    // The engine options; start-up adds to them ("-NullRender") before initialising again.
    Options& GetOptions() { return m_options; }
    const Options& GetOptions() const { return m_options; }

private:
    bool m_initialised = false;
    int m_processorCount = 1;
    uint32_t m_mainThreadId = 0;
    std::string m_executablePath;
    std::string m_executableFolder;
    std::string m_applicationName;
    Options m_options;
};

} // namespace Orvo
