#pragma once
// The daemon's own log file (UserData/settings/vaddaemon.log): one time-stamped line per event.
//
// The log holds user paths, so it is the owner's alone (mode 0600, never through a link). It cannot be
// grown without bound by a client: lines beyond a rate are counted and left out (one line says how many),
// and past a size the file is rotated to "<name>.1", replacing the older copy.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

struct DaemonLogLimits
{
    uint64_t maxBytes = 4u << 20;  // rotate when the file grows past this
    double burstLines = 1000;      // lines written at once before the rate applies
    double linesPerSecond = 100;   // lines written per second after that
};

class DaemonLog
{
public:
    using Limits = DaemonLogLimits;

    DaemonLog() = default;
    ~DaemonLog();
    DaemonLog(const DaemonLog&) = delete;
    DaemonLog& operator=(const DaemonLog&) = delete;

    // Opens (creating with mode 0600) the log at path; false when it is a link, not ours, or not writable.
    bool Open(const std::string& path, Limits limits = Limits());
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    bool OpenLocked();
    void WriteLocked(const char* text);

    std::mutex mutex_;
    FILE* file_ = nullptr;
    std::string path_;
    Limits limits_;
    uint64_t size_ = 0;
    double tokens_ = 0;
    std::chrono::steady_clock::time_point refilled_{};
    uint64_t dropped_ = 0;
};

// The process-wide daemon log (nothing is written until it is opened).
DaemonLog& TheDaemonLog();
#define DLOG(...) TheDaemonLog().Printf(__VA_ARGS__)
