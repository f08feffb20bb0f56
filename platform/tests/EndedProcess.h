#pragma once
// A process that has ended, for the tests of what is done after one: its id, and a register of its own work
// (platform/OwnWorkRecords.h) written as that process's, which a sweep takes for the register of an ended process.
// Header-only, for the platform, daemon and end-to-end tests alike.
#include "platform/OwnWorkRecords.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace PlatformTest {

// A process id that no running process has: that of a child that has ended and been reaped (0 when none could be).
inline pid_t EndedProcessId()
{
    const pid_t child = fork();
    if (child == 0) _exit(0);
    return child > 0 && waitpid(child, nullptr, 0) == child ? child : 0;
}

// A record line of `path` as the file `identity` (by default `path` itself) is now; none there: device and inode 0.
inline std::string OwnWorkLine(uint64_t note, Platform::OwnWorkKind kind, const std::string& path,
                               const std::string& own = {}, const std::string& identity = {})
{
    struct stat st
    {};
    Platform::OwnWorkRecord r;
    r.note = note;
    r.kind = kind;
    if (::lstat((identity.empty() ? path : identity).c_str(), &st) == 0)
    {
        r.device = static_cast<uint64_t>(st.st_dev);
        r.inode = static_cast<uint64_t>(st.st_ino);
    }
    r.path = path;
    r.own = own;
    return Platform::OwnWorkRecordLine(r);
}

// Writes the register of a process that has ended, since this boot, holding `lines` (OwnWorkLine's) after the
// header, in the folder of registers `registers`, of mode `mode`. Returns its name, another one each call (empty
// when it could not be written).
inline std::string WriteEndedRegister(const std::string& registers, const std::string& lines, mode_t mode = 0600)
{
    static int serial = 0;
    const std::string running = Platform::OwnWorkRegisterNameOf(getpid());
    const std::string name =
        std::to_string(EndedProcessId()) + "-" + std::to_string(++serial) + running.substr(running.rfind('-'));
    const std::string text = Platform::kOwnWorkHeader + lines;
    const int fd = ::open((registers + "/" + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return {};
    const bool written =
        ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fchmod(fd, mode) == 0;
    ::close(fd);
    return written ? name : std::string();
}

}  // namespace PlatformTest
