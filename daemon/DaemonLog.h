#pragma once
// The daemon's own log file (UserData/settings/vaddaemon.log): one time-stamped line per event.
#include <cstdio>
#include <mutex>
#include <string>

class DaemonLog
{
public:
    DaemonLog() = default;
    ~DaemonLog();
    DaemonLog(const DaemonLog&) = delete;
    DaemonLog& operator=(const DaemonLog&) = delete;

    bool Open(const std::string& path);
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    std::mutex mutex_;
    FILE* file_ = nullptr;
};

// The process-wide daemon log (nothing is written until it is opened).
DaemonLog& TheDaemonLog();
#define DLOG(...) TheDaemonLog().Printf(__VA_ARGS__)
