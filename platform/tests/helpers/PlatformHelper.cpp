// A small program the platform tests start as a child process. The first argument names what it
// does; results that the test needs go to files, since the exit code carries only a byte.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/ConsoleControl.h"
#include "platform/CrashExit.h"
#include "platform/FileLock.h"
#include "platform/Process.h"
#include "platform/SharedMemory.h"

namespace {

void WriteFile(const std::string& path, const std::string& text)
{
    std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary);
        f << text;
    }
    std::rename(tmp.c_str(), path.c_str());  // readers never see half a file
}

[[noreturn]] void SleepForever()
{
    for (;;) pause();
}

// Deep enough recursion to exhaust any stack; the volatile buffer keeps it from being optimised away.
int Recurse(int depth)
{
    volatile char pad[1024];
    pad[0] = static_cast<char>(depth);
    if (depth == -1) return 0;  // never true; tells the compiler the recursion has an end
    return Recurse(depth + 1) + pad[0];
}

volatile int* volatile g_nowhere = nullptr;

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 64;
    std::string mode = argv[1];
    if (mode == "exit" && argc == 3) return std::atoi(argv[2]);
    if (mode == "sleep" && argc == 3)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        return 0;
    }
    if (mode == "sleep-forever") SleepForever();
    if (mode == "args" && argc >= 3)
    {  // args OUTFILE ARG...: the working folder, then one line per arg
        char cwd[4096];
        std::string text = getcwd(cwd, sizeof cwd) ? cwd : "?";
        text += "\n";
        for (int i = 3; i < argc; ++i) text += std::string(argv[i]) + "\n";
        WriteFile(argv[2], text);
        return 0;
    }
    if (mode == "hold-lock" && argc == 4)
    {  // hold-lock LOCKFILE READYFILE
        Platform::FileLock lock;
        if (!lock.TryLock(argv[2])) return 2;
        WriteFile(argv[3], "locked");
        SleepForever();
    }
    if (mode == "try-lock" && argc == 4)
    {  // try-lock LOCKFILE TIMEOUT_MS: 0 when taken
        Platform::FileLock lock;
        return lock.Lock(argv[2], std::atoi(argv[3])) ? 0 : 1;
    }
    if (mode == "shm-write" && argc == 4)
    {  // shm-write NAME TEXT
        Platform::SharedMemoryBlock block;
        if (!block.Create(argv[2], 4096)) return 2;
        return block.Write(0, argv[3], std::strlen(argv[3]) + 1) ? 0 : 3;
    }
    if (mode == "shm-expect" && argc == 4)
    {  // shm-expect NAME TEXT: 0 when the block holds TEXT
        Platform::SharedMemoryBlock block;
        if (!block.Open(argv[2], false)) return 2;
        std::string want = argv[3];
        std::string got(want.size() + 1, '\0');
        if (!block.Read(0, got.data(), got.size())) return 3;
        return got == want + '\0' ? 0 : 1;
    }
    if (mode == "console" && argc == 4)
    {  // console READYFILE OUTFILE: report the first event
        static std::atomic<int> event{-1};
        if (!Platform::InstallConsoleHandler([](int e, int) {
                event = e;
                event.notify_all();
                return true;
            }))
            return 2;
        WriteFile(argv[2], "ready");
        alarm(30);  // a lost event ends the wait (SIGALRM's) instead of leaving the child behind
        event.wait(-1);
        WriteFile(argv[3], std::to_string(event.load()));
        Platform::RemoveConsoleHandler();
        return 0;
    }
    if (mode == "end-copies" && argc == 3)
    {  // end-copies OUTFILE: end every other copy of itself
        int n = Platform::TerminateProcessesByPath(Platform::ExecutablePath(), 0, 2000);
        WriteFile(argv[2], std::to_string(n));
        return 0;
    }
    if (mode == "exit-flush" && argc == 3)
    {  // exit-flush CODE: unflushed output, then ExitProcess
        std::printf("buffered-stdio ");
        std::fputs("buffered-stderr", stderr);
        Platform::ExitProcess(std::atoi(argv[2]));
    }
    if (mode == "crash" && argc == 3)
    {  // crash fault|throw|overflow: with buffered output pending
        if (!Platform::InstallCrashExit(-100)) return 2;
        std::printf("before the crash ");
        std::string how = argv[2];
        if (how == "fault") *g_nowhere = 1;
        if (how == "throw") throw std::runtime_error("escapes main");
        if (how == "overflow") return Recurse(0);
        return 3;
    }
    return 64;
}
