#include "daemon/DaemonLog.h"

#include <algorithm>
#include <cstdarg>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

DaemonLog::~DaemonLog()
{
    if (file_) fclose(file_);
}

bool DaemonLog::Open(const std::string& path, Limits limits)
{
    std::lock_guard lk(mutex_);
    path_ = path;
    limits_ = limits;
    tokens_ = limits_.burstLines;
    refilled_ = std::chrono::steady_clock::now();
    dropped_ = 0;
    return OpenLocked();
}

bool DaemonLog::OpenLocked()
{
    if (file_) fclose(file_);
    file_ = nullptr;
    int fd = open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat st
    {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || fchmod(fd, 0600) != 0)
    {
        close(fd);
        return false;
    }
    file_ = fdopen(fd, "a");
    if (!file_)
    {
        close(fd);
        return false;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    return true;
}

void DaemonLog::WriteLocked(const char* text)
{
    timeval tv;
    gettimeofday(&tv, nullptr);
    tm t;
    localtime_r(&tv.tv_sec, &t);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &t);
    if (size_ >= limits_.maxBytes)
    {
        // The older copy goes; the full log becomes it and a new one starts.
        std::string older = path_ + ".1";
        unlink(older.c_str());
        rename(path_.c_str(), older.c_str());
        if (!OpenLocked()) return;
    }
    int n = fprintf(file_, "%s.%03d %s\n", stamp, static_cast<int>(tv.tv_usec / 1000), text);
    if (n > 0) size_ += static_cast<uint64_t>(n);
    fflush(file_);
}

void DaemonLog::Printf(const char* format, ...)
{
    char text[2048];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);

    std::lock_guard lk(mutex_);
    if (!file_) return;
    auto now = std::chrono::steady_clock::now();
    tokens_ = std::min(limits_.burstLines,
                       tokens_ + std::chrono::duration<double>(now - refilled_).count() * limits_.linesPerSecond);
    refilled_ = now;
    if (tokens_ < 1)
    {
        ++dropped_;
        return;
    }
    tokens_ -= 1;
    if (dropped_)
    {
        char note[96];
        snprintf(note, sizeof note, "(%llu lines left out: too many in a short time)",
                 static_cast<unsigned long long>(dropped_));
        dropped_ = 0;
        WriteLocked(note);
        if (!file_) return;
    }
    WriteLocked(text);
}

DaemonLog& TheDaemonLog()
{
    // Process-wide: the daemon's one log file, written by every thread.
    static DaemonLog log;
    return log;
}
