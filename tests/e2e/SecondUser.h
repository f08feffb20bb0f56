#pragma once
// The second user of the security tests: user nobody, in a child process of the test (which runs as root).
#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace e2e {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNobodyGroup = 65534;

// Makes this process user nobody, in group `gid` alone. False when it could not.
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

// True when the daemon's token (its 8 bytes, lowest first) is among the `n` bytes. It allocates nothing, so that
// a forked child (the second user) may call it too.
inline bool HoldsToken(const uint8_t* bytes, size_t n, uint64_t token)
{
    uint8_t t[8];
    for (int i = 0; i < 8; ++i) t[i] = static_cast<uint8_t>(token >> (8 * i));
    return std::search(bytes, bytes + n, t, t + 8) != bytes + n;
}

}  // namespace e2e
