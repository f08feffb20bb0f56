#include "daemon/RootLockRecord.h"

#include "platform/FileIdentity.h"
#include "platform/FileWriting.h"
#include "platform/Process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::string_view kTag = "vaddaemon-root ";
constexpr uint32_t kMaxPid = 0x7FFFFFFF;

bool Fail(std::string* error, std::string reason)
{
    if (error) *error = std::move(reason);
    return false;
}

std::string SystemReason() { return std::strerror(errno); }

// The lock file may carry a record only when it is this user's alone, under this one name: a second name
// (a hard link made to some other file of the user's) would have that file written over.
bool IsOwnersAlone(const struct stat& st, std::string* error)
{
    if (!S_ISREG(st.st_mode)) return Fail(error, "it is not a regular file");
    if (st.st_uid != geteuid()) return Fail(error, "it belongs to user " + std::to_string(st.st_uid));
    if (st.st_nlink != 1) return Fail(error, "it has " + std::to_string(st.st_nlink) + " names");
    if ((st.st_mode & 07777) != 0600)
    {
        char mode[8];
        snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return Fail(error, std::string("its mode is ") + mode + ", not 0600");
    }
    return true;
}

// A decimal number of at most `maxDigits` digits ending at `stop`; `at` is moved past the stop.
bool TakeNumber(std::string_view text, size_t& at, char stop, size_t maxDigits, uint64_t& value)
{
    const size_t end = text.find(stop, at);
    if (end == std::string_view::npos || end == at || end - at > maxDigits) return false;
    const char* first = text.data() + at;
    const char* last = text.data() + end;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last) return false;
    at = end + 1;
    return true;
}

bool IsRecordablePath(std::string_view path)
{
    return !path.empty() && path.front() == '/' && path.size() <= kMaxPathBytes &&
           path.find('\0') == std::string_view::npos;
}

}  // namespace

std::string EncodeRootLockRecord(const RootLockHolder& holder)
{
    if (holder.pid == 0 || holder.pid > kMaxPid || !IsRecordablePath(holder.root)) return {};
    std::string text(kTag);
    text += std::to_string(holder.pid) + " " + std::to_string(holder.root.size()) + "\n";
    text += holder.root;
    text += '\n';
    return text;
}

bool ParseRootLockRecord(std::string_view text, RootLockHolder& holder)
{
    if (text.size() > kMaxRootLockRecordBytes || text.substr(0, kTag.size()) != kTag) return false;
    size_t at = kTag.size();
    uint64_t pid = 0, length = 0;
    if (!TakeNumber(text, at, ' ', 10, pid) || pid == 0 || pid > kMaxPid) return false;
    if (!TakeNumber(text, at, '\n', 4, length) || length > kMaxPathBytes) return false;
    // The path and its line end, and nothing more: a record cut short, or followed by the rest of a longer
    // one, is no record.
    if (text.size() - at != length + 1 || text.back() != '\n') return false;
    const std::string_view path = text.substr(at, length);
    if (!IsRecordablePath(path)) return false;
    holder.pid = static_cast<uint32_t>(pid);
    holder.root.assign(path);
    return true;
}

bool WriteRootLockRecord(int lockFd, const RootLockHolder& holder, std::string* error)
{
    struct stat st;
    if (fstat(lockFd, &st) != 0) return Fail(error, "the lock file cannot be looked at: " + SystemReason());
    std::string why;
    if (!IsOwnersAlone(st, &why)) return Fail(error, "the lock file is not written: " + why);
    const std::string text = EncodeRootLockRecord(holder);
    if (text.empty()) return Fail(error, "the root's path cannot be recorded");
    if (!Platform::WriteFullyAt(lockFd, text.data(), text.size(), 0))
        return Fail(error, "writing the lock file failed: " + SystemReason());
    // Whatever a longer record left behind goes.
    if (ftruncate(lockFd, static_cast<off_t>(text.size())) != 0)
        return Fail(error, "writing the lock file failed: " + SystemReason());
    return true;
}

bool ReadRootLockRecord(const std::string& lockPath, RootLockHolder& holder, std::string* error)
{
    const int fd = open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(error, "'" + lockPath + "' cannot be opened: " + SystemReason());
    struct stat st;
    std::string why;
    bool ok = fstat(fd, &st) == 0 ? IsOwnersAlone(st, &why) : Fail(&why, SystemReason());
    if (ok && static_cast<uint64_t>(st.st_size) > kMaxRootLockRecordBytes)
        ok = Fail(&why, "it is longer than a record (" + std::to_string(st.st_size) + " bytes)");
    std::string text;
    int readError = 0;
    // As long as it was when looked at: a record cut short by what it grew by meanwhile is no whole record.
    if (ok &&
        !Platform::ReadOpenedFile(fd, static_cast<uint64_t>(st.st_size), text, kMaxRootLockRecordBytes, &readError))
        ok = Fail(&why, std::strerror(readError));
    close(fd);
    if (ok && !ParseRootLockRecord(text, holder)) ok = Fail(&why, "it holds no whole record");
    return ok || Fail(error, "'" + lockPath + "' is not read: " + why);
}

std::string RootServedThroughAnotherPath(const std::string& realRoot, const std::string& lockPath)
{
    RootLockHolder holder;
    if (!ReadRootLockRecord(lockPath, holder) || holder.root == realRoot) return {};
    // A record left by a daemon that has ended since names a path nobody serves.
    if (!Platform::IsOwnLiveProcess(static_cast<int>(holder.pid))) return {};
    if (!Platform::FileIdentity::OfPath(realRoot).IsSameFile(Platform::FileIdentity::OfPath(holder.root))) return {};
    return "this installation is served by the asset database daemon of '" + holder.root + "' (process " +
           std::to_string(holder.pid) + "): '" + realRoot +
           "' is the same folder reached through another path; run the tool from '" + holder.root +
           "', or close that daemon first";
}
