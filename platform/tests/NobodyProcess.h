#pragma once
// User nobody, the other user of the tests that need one (they run as root): work done in a child process that
// has become nobody, and a live process of nobody's. A pid that was this user's process may be such a process's
// once its own has ended.
#include <grp.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace PlatformTest {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNobodyGroup = 65534;

// Makes this process user nobody, in group `gid` alone. False when it could not. System calls only: a fork of a
// threaded process may call it.
inline bool BecomeNobody(gid_t gid = kNobodyGroup)
{
    return setgroups(0, nullptr) == 0 && setresgid(gid, gid, gid) == 0 && setresuid(kNobody, kNobody, kNobody) == 0;
}

// Runs `work` in a child process as user nobody in group `gid`: its exit code, or -1 when it could not become
// nobody.
template <typename Work>
int AsNobody(Work work, gid_t gid = kNobodyGroup)
{
    const pid_t pid = fork();
    if (pid == 0) _exit(BecomeNobody(gid) ? work() : 255);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

class NobodyProcess
{
public:
    // Returns once the child is user nobody (in no group but nobody's); Pid() is 0 when it could not become that.
    NobodyProcess()
    {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0)
        {
            char c = 1;
            if (!BecomeNobody() || write(ready[1], &c, 1) != 1) _exit(1);
            for (;;) pause();
        }
        close(ready[1]);
        char c = 0;
        ssize_t n = -1;
        if (pid_ > 0)
        {
            do n = read(ready[0], &c, 1);
            while (n < 0 && errno == EINTR);
        }
        close(ready[0]);
        if (n != 1) End();
    }
    ~NobodyProcess() { End(); }
    NobodyProcess(const NobodyProcess&) = delete;
    NobodyProcess& operator=(const NobodyProcess&) = delete;

    pid_t Pid() const { return pid_; }

private:
    void End()
    {
        if (pid_ > 0)
        {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = 0;
    }

    pid_t pid_ = 0;
};

}  // namespace PlatformTest
