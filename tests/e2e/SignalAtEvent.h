#pragma once
// A signal sent at the moment that matters rather than after a guessed sleep: as soon as inotify reports the event a
// test waits for (a name appearing in a folder, a file starting to change).
#include "E2EHarness.h"

#include "platform/Process.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace e2e {

// Starts the root's tool with `args` and sends `signal` to process `target` (0: the tool) the moment `watched`
// reports an event of `mask` whose name (empty for the watched file itself) starts with `prefix`; `sent` says
// whether that came before the tool ended (looked at every 10 ms, for a minute at most). With `held`, the tool is
// stopped as the event comes and goes on once the signal is there, so that it is taken however little the tool had
// left to do; one that had ended by then is sent nothing.
inline RunResult SignalWhen(const InstallRoot& root, const std::vector<std::string>& args, const RunOptions& options,
                            const std::string& watched, uint32_t mask, const std::string& prefix, int signal,
                            bool& sent, int target = 0, bool held = false)
{
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    bool alive = watch >= 0 && inotify_add_watch(watch, watched.c_str(), mask) >= 0;
    const std::unique_ptr<RunningProgram> tool = root.Start(args, options);
    sent = false;
    for (int round = 0; alive && !sent && round < 6000; ++round, alive = Platform::IsProcessAlive(tool->Pid()))
    {
        pollfd events{watch, POLLIN, 0};
        poll(&events, 1, 10);
        alignas(inotify_event) char buffer[16384];
        for (ssize_t got = read(watch, buffer, sizeof buffer), at = 0; !sent && at < got;)
        {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            sent = std::string(e->len > 0 ? e->name : "").starts_with(prefix);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    if (sent && held)
    {
        siginfo_t stopped{};
        kill(tool->Pid(), SIGSTOP);
        // Not reaped here: stopped or ended, Wait() below still sees how it ends.
        sent = waitid(P_PID, static_cast<id_t>(tool->Pid()), &stopped, WSTOPPED | WEXITED | WNOWAIT) == 0 &&
               stopped.si_code == CLD_STOPPED;
        if (!sent) kill(tool->Pid(), SIGCONT);
    }
    if (sent) kill(target != 0 ? target : tool->Pid(), signal);
    if (sent && held) kill(tool->Pid(), SIGCONT);
    if (watch >= 0) close(watch);
    return tool->Wait();
}

}  // namespace e2e
