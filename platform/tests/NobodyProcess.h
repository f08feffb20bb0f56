#pragma once
// A live process of another user, for the tests that need one (they run as root): a child of the test that has
// become user nobody and waits there until the object goes. A pid that was this user's process may be such a
// process's once its own has ended.
#include <grp.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace PlatformTest {

class NobodyProcess
{
public:
    static constexpr uid_t kNobody = 65534;
    static constexpr gid_t kNobodyGroup = 65534;

    // Returns once the child is user nobody (in no group but nobody's); Pid() is 0 when it could not become that.
    NobodyProcess()
    {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0)
        {
            char c = 1;
            if (setgroups(0, nullptr) != 0 || setresgid(kNobodyGroup, kNobodyGroup, kNobodyGroup) != 0 ||
                setresuid(kNobody, kNobody, kNobody) != 0 || write(ready[1], &c, 1) != 1)
                _exit(1);
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
