#include "daemon/DaemonLog.h"

#include <cstdarg>
#include <ctime>
#include <sys/time.h>

DaemonLog::~DaemonLog()
{
    if (file_) fclose(file_);
}

bool DaemonLog::Open(const std::string& path)
{
    std::lock_guard lk(mutex_);
    if (file_) fclose(file_);
    file_ = fopen(path.c_str(), "a");
    return file_ != nullptr;
}

void DaemonLog::Printf(const char* format, ...)
{
    char text[2048];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);

    timeval tv;
    gettimeofday(&tv, nullptr);
    tm t;
    localtime_r(&tv.tv_sec, &t);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &t);

    std::lock_guard lk(mutex_);
    if (!file_) return;
    fprintf(file_, "%s.%03d %s\n", stamp, static_cast<int>(tv.tv_usec / 1000), text);
    fflush(file_);
}

DaemonLog& TheDaemonLog()
{
    static DaemonLog log;
    return log;
}
