#include "platform/OutputFile.h"

#include "platform/Interruption.h"
#include "platform/OutputFlush.h"
#include "platform/OwnStreams.h"
#include "platform/StandardStreams.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Platform {

namespace {

struct KeptFile
{
    std::string why;
    const KeptInputs* command;  // null: kept while the process runs
};

// A command may keep tens of thousands of files (every file of the folders it reads), each looked up as it is
// kept and at every output: they are found by device and inode, in the order they were kept.
struct IdentityHash
{
    size_t operator()(const std::pair<dev_t, ino_t>& key) const
    {
        return std::hash<uint64_t>()(static_cast<uint64_t>(key.second) * 0x9E3779B97F4A7C15ULL ^
                                     static_cast<uint64_t>(key.first));
    }
};
using KeptFiles = std::unordered_map<std::pair<dev_t, ino_t>, std::vector<KeptFile>, IdentityHash>;

std::pair<dev_t, ino_t> KeyOf(const FileIdentity& file) { return {file.device, file.inode}; }

struct KeptName
{
    std::string folder;
    std::string name;
    std::string why;
};

std::mutex keptMutex;
KeptFiles keptFiles;
std::vector<KeptName> keptNames;

// Why no output may be written over `file`; empty when it may. A kept name is looked at now: the file it has
// by now is the one kept.
std::string KeptFromOutputs(const FileIdentity& file)
{
    std::lock_guard lock(keptMutex);
    if (const auto kept = file.known ? keptFiles.find(KeyOf(file)) : keptFiles.end(); kept != keptFiles.end())
        return kept->second.front().why;
    for (const KeptName& kept : keptNames)
        if (FileIdentity::OfName(kept.folder + "/" + kept.name).IsSameFile(file)) return kept.why;
    return {};
}

// Why no new file `name` may be made in `folder`; empty when it may.
std::string KeptNameFromOutputs(const FileIdentity& folder, const std::string& name)
{
    std::lock_guard lock(keptMutex);
    for (const KeptName& kept : keptNames)
        if (kept.name == name && FileIdentity::OfPath(kept.folder).IsSameFile(folder)) return kept.why;
    return {};
}

constexpr char kOwnFile[] = "it is a file the program opened for itself";

// The files outputs open at this moment hold (what they write in place or through a stream, what they stage in):
// the process holds them for an output, not for itself, and a command compares its outputs with each other
// (OutputFile::IsSameOutputAs), saying which two they are.
std::mutex outputsMutex;
std::vector<std::pair<const OutputFile*, FileIdentity>> outputFiles;

bool IsAnOutputsFile(const FileIdentity& file)
{
    std::lock_guard lock(outputsMutex);
    return std::any_of(outputFiles.begin(), outputFiles.end(),
                       [&](const auto& output) { return output.second.IsSameFile(file); });
}

// Where a new file for `path`, a name not there, is made as an open for writing that creates would make it: at
// the end of the symbolic links the name leads through (a link to nothing makes the file it names), under
// exactly that name. False with errno set (ELOOP past the system's 40 links).
bool NewFileTarget(const std::string& path, std::string& target)
{
    target = path;
    for (int links = 0; links <= 40; ++links)
    {
        char to[PATH_MAX];
        const ssize_t n = ::readlink(target.c_str(), to, sizeof to);
        if (n < 0) return true;  // not a link (or nothing there): the name itself
        if (static_cast<size_t>(n) == sizeof to)
        {
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string_view next(to, static_cast<size_t>(n));
        // A relative link leads on from the folder that holds it, as the system reads it.
        const size_t slash = target.rfind('/');
        target = next.front() == '/' || slash == std::string::npos ? std::string(next)
                                                                   : target.substr(0, slash + 1) + std::string(next);
    }
    errno = ELOOP;
    return false;
}

constexpr size_t kCopyBlock = size_t(1) << 20;

// Why an output of this kind is refused at once; null for a kind that is written.
const char* RefusedKind(mode_t mode)
{
    if (S_ISDIR(mode)) return "it is a folder";
    if (S_ISSOCK(mode)) return "it is a socket";
    if (S_ISBLK(mode)) return "it is a block device";
    if (S_ISREG(mode) || S_ISFIFO(mode) || S_ISCHR(mode)) return nullptr;
    return "it is not a regular file";
}

// A write to a pipe whose reader has gone raises SIGPIPE in the writing thread, which would end the process
// before it could say why. The signal is held back for the write, and taken away when the write raised it, so
// that the write fails with EPIPE; the process's own handling of SIGPIPE is left as it is.
bool WriteToPipe(int fd, const void* data, size_t size)
{
    sigset_t pipeSignal, before;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    const int masked = pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    if (masked != 0)
    {
        errno = masked;
        return false;
    }
    sigset_t pending;
    const bool pendingBefore = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    const bool ok = WriteFully(fd, data, size);
    const int why = errno;
    if (!ok && why == EPIPE && !pendingBefore)
    {
        const timespec none{};
        while (sigtimedwait(&pipeSignal, nullptr, &none) < 0 && errno == EINTR)
        {}
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    errno = why;
    return ok;
}

// A file without a name in `folder`, for writing at offsets what goes in place only at the commit; made
// named and removed at once where the file system cannot make one without a name.
int OpenScratchIn(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR)) return fd;
    std::string name = folder + "/velmar-output-XXXXXX";
    // Named for an instant: a signal's handler, which waits for this step, never finds it named.
    const TemporariesLock held;
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) ::unlink(name.c_str());
    return named;
}

// In the system's temporary folder ($TMPDIR, else /tmp): the output's own folder may be one the user cannot
// write into, or /dev.
int OpenScratch()
{
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr && tmp[0] == '/')
    {
        const int fd = OpenScratchIn(tmp);
        if (fd >= 0) return fd;
    }
    return OpenScratchIn("/tmp");
}

// The bytes [from, to) of the scratch file, a block at a time, to `put(block, bytes, offset)`.
template <typename Put>
bool CopyScratch(int scratch, uint64_t from, uint64_t to, Put put)
{
    std::vector<char> block(static_cast<size_t>(std::min<uint64_t>(to - from, kCopyBlock)));
    for (uint64_t at = from; at < to;)
    {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(to - at, block.size()));
        if (!ReadFullyAt(scratch, block.data(), n, at))
        {
            if (errno == 0) errno = EIO;  // shrunk under us
            return false;
        }
        if (!put(block.data(), n, at)) return false;
        at += n;
    }
    return true;
}

}  // namespace

bool OutputFile::Fail(int error)
{
    reason_ = std::strerror(error != 0 ? error : EIO);
    Abandon();
    return false;
}

bool OutputFile::Refuse(const char* why)
{
    Abandon();
    reason_ = why;
    return false;
}

// False when `file` is kept from outputs, with the reason it was kept for; it stays known as Existing().
bool OutputFile::RefuseKept(FileIdentity file)
{
    const std::string kept = KeptFromOutputs(file);
    if (kept.empty()) return true;
    Refuse(kept.c_str());
    existing_ = file;
    return false;
}

void OutputFile::Track(const FileIdentity& file)
{
    if (!file.known) return;
    std::lock_guard lock(outputsMutex);
    outputFiles.emplace_back(this, file);
}

void OutputFile::Untrack()
{
    std::lock_guard lock(outputsMutex);
    std::erase_if(outputFiles, [this](const auto& output) { return output.first == this; });
}

bool OutputFile::Open(const std::string& path, mode_t mode, Access access)
{
    const bool opened = OpenPath(path, mode, access);
    if (opened)
    {
        Track(existing_);
        Track(staged_);
    }
    return opened;
}

bool OutputFile::OpenPath(const std::string& path, mode_t mode, Access access)
{
    Abandon();
    reason_.clear();
    // A name that spells one of the process's descriptors is that descriptor where it is a stream the process
    // was given, open for writing; given only for reading, it is a name like any other. One not open is no file
    // to make (a new file would take the place of the link in /dev or /proc), nor is a standard stream the process
    // was started without (held on /dev/null), and a file the process opened for itself is not the user's to name.
    if (const int spelled = SpelledDescriptor(path); spelled >= 0)
    {
        if (IsGivenStream(spelled) && IsOpenForWriting(spelled)) return OpenStream(spelled, access);
        if (::fcntl(spelled, F_GETFD) < 0 || WasClosedAtStart(spelled)) return Fail(EBADF);
        if (!IsGivenStream(spelled)) return Refuse("it is a file the program opened for itself");
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
    {
        // A socket is not opened by a name: one the process holds is told here, as an opened file is below.
        if (S_ISSOCK(st.st_mode))
        {
            const HeldFile held = DescriptorsOn(FileIdentity::Of(st), -1);
            if (held.stream >= 0) return OpenStream(held.stream, access);
            if (held.own >= 0) return Refuse(kOwnFile);
        }
        // Not even opened: opening a disk for writing is not harmless (its closing has the system probe it again).
        if (RefusedKind(st.st_mode)) return Refuse(RefusedKind(st.st_mode));
    }
    // Opened as any program opens it for writing, so that the system decides who may write it, but without
    // waiting for a FIFO's reader and never as the controlling terminal. Decided below from what was opened,
    // whatever the name leads to by now.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
    {
        const int error = errno;
        if (error == ENOENT) return OpenNew(path, mode, access);
        // A FIFO without a reader (or a socket) cannot be opened for writing without waiting.
        if (error == ENXIO && ::stat(path.c_str(), &st) == 0)
        {
            if (S_ISFIFO(st.st_mode)) return Refuse("no process is reading it");
            if (RefusedKind(st.st_mode)) return Refuse(RefusedKind(st.st_mode));
        }
        return error == EISDIR ? Refuse("it is a folder") : Fail(error);
    }
    if (::fstat(fd, &st) != 0)
    {
        const int error = errno;
        ::close(fd);
        return Fail(error);
    }
    if (const char* refused = RefusedKind(st.st_mode))
    {
        ::close(fd);
        return Refuse(refused);
    }
    // Whatever path writes it from here (replaced, or in place for any reason), this is the file a command
    // compares with what it read.
    existing_ = FileIdentity::Of(st);
    // A file the process holds, by whatever name it was reached: a stream it was given is written where it
    // stands; a file it opened for itself (its database, its log, a pipe or socket of its own) is not the user's
    // to name, nor replaced from under it. A device is the same device whoever opened it.
    const HeldFile held = DescriptorsOn(existing_, fd);
    if (held.stream >= 0)
    {
        ::close(fd);
        return OpenStream(held.stream, access);
    }
    if (!RefuseKept(existing_))
    {
        ::close(fd);
        return false;
    }
    if (held.own >= 0 && !S_ISCHR(st.st_mode) && !IsAnOutputsFile(existing_))
    {
        ::close(fd);
        const FileIdentity file = existing_;
        Refuse(kOwnFile);
        existing_ = file;
        return false;
    }
    if (S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid())
    {
        bool replaced = false;
        const bool ok = OpenReplacing(path, st, replaced);
        if (!ok || replaced)
        {
            ::close(fd);
            if (ok && access == Access::kPositioned) positioned_ = replacing_.Fd();
            if (ok) staged_ = FileIdentity::OfFd(replacing_.Fd());
            return ok;
        }
    }
    inPlace_ = fd;
    return PrepareInPlace(st, access);
}

// A name not there yet becomes a new file where the system would make it (NewFileTarget), which a second output
// of that name in that folder would replace again.
bool OutputFile::OpenNew(const std::string& path, mode_t mode, Access access)
{
    std::string target;
    if (!NewFileTarget(path, target)) return Fail(errno);
    const size_t slash = target.rfind('/');
    const std::string name = target.substr(slash + 1);  // npos + 1: the whole path
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const FileIdentity folderFile = FileIdentity::OfPath(folder.empty() ? "." : folder);
    if (const std::string kept = KeptNameFromOutputs(folderFile, name); !kept.empty()) return Refuse(kept.c_str());
    bool made = replacing_.Create(target, O_WRONLY, mode);
    // A name too long to take the suffix gets a temporary name of its own beside it.
    if (!made && errno == ENAMETOOLONG && !name.empty())
        made = replacing_.CreateAt(AT_FDCWD, target, TemporaryNameFor(folder), O_WRONLY, mode);
    if (!made) return Fail(errno);
    if (access == Access::kPositioned) positioned_ = replacing_.Fd();
    staged_ = FileIdentity::OfFd(replacing_.Fd());
    newName_ = name;
    newFolder_ = folderFile;
    newFolderPath_ = folder.empty() ? "." : folder;
    return true;
}

bool OutputFile::OpenReplacing(const std::string& path, const struct stat& opened, bool& replaced)
{
    replaced = false;
    // Through a link, the file it leads to is replaced, in its own folder. A name that no longer leads to the
    // file opened (swapped meanwhile) is not replaced: what was opened is written in place.
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real) == nullptr) return true;
    const std::string target(real);
    const size_t slash = target.rfind('/');
    if (slash == std::string::npos) return true;
    const std::string name = target.substr(slash + 1);
    folder_ = ::open(slash == 0 ? "/" : target.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat there;
    if (folder_ < 0 || ::fstatat(folder_, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 ||
        !FileIdentity::Of(there).IsSameFile(FileIdentity::Of(opened)))
    {
        StopReplacing();
        return true;
    }
    // The new file keeps the old one's permission bits whatever the umask says (a user's private file stays
    // private); set-user-ID, set-group-ID and sticky bits are not carried over to new contents.
    const mode_t keep = opened.st_mode & 0777;
    if (!replacing_.CreateAt(folder_, name, TemporaryNameFor(name), O_WRONLY, keep))
    {
        const int error = errno;
        StopReplacing();
        // A folder the user may not write into, or a name too long to take the suffix: the file is still
        // theirs to write, in place.
        if (error == EACCES || error == EPERM || error == EROFS || error == ENAMETOOLONG) return true;
        return Fail(error);
    }
    struct stat made;
    if (::fstat(replacing_.Fd(), &made) != 0) return Fail(errno);
    // The file's group stays; where the user may not give the new file that group, the old one is written.
    if (made.st_gid != opened.st_gid && ::fchown(replacing_.Fd(), static_cast<uid_t>(-1), opened.st_gid) != 0)
    {
        StopReplacing();
        return true;
    }
    if (::fchmod(replacing_.Fd(), keep) != 0) return Fail(errno);
    replaced = true;
    return true;
}

// The output is the process's own descriptor `fd`, written through a duplicate of it: the same open file, so
// whatever is written follows what the stream holds, at its position or, for an append, at the end.
bool OutputFile::OpenStream(int fd, Access access)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) return Fail(errno);
    // A socket behind the stream is written as a pipe is; a block device is not written, as by any name.
    if (S_ISBLK(st.st_mode)) return Refuse("it is a block device");
    if (!RefuseKept(FileIdentity::Of(st))) return false;
    existing_ = FileIdentity::Of(st);
    inPlace_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (inPlace_ < 0) return Fail(errno);
    // The descriptor's flags are the stream's, shared with the duplicate: they are left as they are.
    stream_ = true;
    streamFile_ = S_ISREG(st.st_mode);
    fifo_ = S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
    inPlaceMode_ = st.st_mode;
    if (access == Access::kPositioned)
    {
        if (!OpenScratchFile()) return Fail(errno);
        positioned_ = scratch_;
    }
    return true;
}

bool OutputFile::PrepareInPlace(const struct stat& opened, Access access)
{
    regular_ = S_ISREG(opened.st_mode);
    fifo_ = S_ISFIFO(opened.st_mode);
    inPlaceMode_ = opened.st_mode;
    // Only the open was not to wait: a write waits for a slow reader as any writer's does.
    const int flags = ::fcntl(inPlace_, F_GETFL);
    if (flags < 0 || ::fcntl(inPlace_, F_SETFL, flags & ~O_NONBLOCK) != 0) return Fail(errno);
    if (access == Access::kPositioned)
    {
        if (!OpenScratchFile()) return Fail(errno);
        positioned_ = scratch_;
    }
    return true;
}

bool OutputFile::OpenScratchFile()
{
    scratch_ = OpenScratch();
    if (scratch_ < 0) return false;
    staged_ = FileIdentity::OfFd(scratch_);
    Track(staged_);
    return true;
}

namespace {

// False with EFBIG where a file-size limit (ulimit -f) is below `end`: the system would write the bytes below the
// limit over the old ones and refuse the rest, and a reservation of room does not look at the limit. Such a file
// keeps its old bytes as on a disk without room for the new ones.
bool WithinFileSizeLimit(uint64_t end)
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || end <= limit.rlim_cur) return true;
    errno = EFBIG;
    return false;
}

}  // namespace

// Room for the bytes [from, to) of the regular file written in place or through a stream, its old bytes and
// size kept. `reserved` false: the file system cannot reserve room, and the bytes get it only as they are
// written.
bool OutputFile::ReserveInPlace(uint64_t from, uint64_t to, uint64_t oldSize, bool& reserved)
{
    reserved = true;
    if (to <= from) return true;
    if (!WithinFileSizeLimit(to)) return false;
    int done;
    while ((done = ::fallocate(inPlace_, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(from),
                               static_cast<off_t>(to - from))) != 0 &&
           errno == EINTR)
    {}
    if (done == 0) return true;
    if (errno == EOPNOTSUPP || errno == ENOSYS)
    {
        reserved = false;
        return true;
    }
    const int why = errno;
    // What the failed reservation took past the end is given back; the bytes before it never changed.
    const uint64_t end = std::max(from, oldSize);
    if (to > end)
        (void)::fallocate(inPlace_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(end),
                          static_cast<off_t>(to - end));
    errno = why;
    return false;
}

// The new contents' bytes [from, to), from `memory` or, when one was written, the scratch file, to the same
// offsets of the output written in place.
bool OutputFile::PutRange(std::string_view memory, uint64_t from, uint64_t to)
{
    if (from >= to) return true;
    if (scratch_ < 0) return WriteFullyAt(inPlace_, memory.data() + from, static_cast<size_t>(to - from), from);
    return CopyScratch(scratch_, from, to,
                       [&](const char* block, size_t n, uint64_t at) { return WriteFullyAt(inPlace_, block, n, at); });
}

// The size of the new contents: `memory`'s, or the scratch file's when one was written.
bool OutputFile::StagedSize(std::string_view memory, uint64_t& size) const
{
    struct stat st;
    if (scratch_ < 0)
        size = memory.size();
    else if (::fstat(scratch_, &st) == 0)
        size = static_cast<uint64_t>(st.st_size);
    else
        return false;
    return true;
}

// The new contents of a regular file written in place, from `memory` or, when one was written, the scratch
// file: room first, then the bytes over the old ones, then the file cut to them. Where the file system cannot
// reserve room, the bytes past the old end are written first (the file grows, and no old byte changes): when
// they do not fit, the file is cut back to its old size and keeps every old byte. Only then are the bytes over
// the old ones written, which need no new room.
bool OutputFile::PutInPlace(std::string_view memory)
{
    uint64_t size = 0;
    if (!StagedSize(memory, size)) return false;
    struct stat st;
    if (::fstat(inPlace_, &st) != 0) return false;
    const uint64_t oldSize = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    bool reserved = false;
    if (!ReserveInPlace(0, size, oldSize, reserved)) return false;
    // New contents do not keep the right to run as the file's owner or group. A writer that may not change the
    // mode has them cleared by the system as it writes.
    const mode_t setId = S_ISUID | S_ISGID;
    const bool dropSetId = (inPlaceMode_ & setId) != 0;
    if (dropSetId && ::fchmod(inPlace_, inPlaceMode_ & 07777 & ~setId) != 0 && errno != EPERM) return false;
    if (!reserved && size > oldSize && !PutRange(memory, oldSize, size))
    {
        const int why = errno;
        (void)::ftruncate(inPlace_, static_cast<off_t>(oldSize));
        if (dropSetId) (void)::fchmod(inPlace_, inPlaceMode_ & 07777);
        errno = why;
        return false;
    }
    if (!PutRange(memory, 0, reserved ? size : std::min(size, oldSize))) return false;
    return ::ftruncate(inPlace_, static_cast<off_t>(size)) == 0;
}

// The new contents of a regular file behind one of the process's streams, from `memory` or, when one was
// written, the scratch file, through the stream after what it holds: the process's own buffered output first,
// then room for them at the stream's position (the end, for an append), then the bytes.
bool OutputFile::PutThroughStream(std::string_view memory)
{
    uint64_t size = 0;
    if (!StagedSize(memory, size)) return false;
    if (size == 0) return true;
    FlushStandardStreams();
    const UnbrokenWrite unbroken;  // as an output written in place (Commit)
    struct stat st;
    const int flags = ::fcntl(inPlace_, F_GETFL);
    if (flags < 0 || ::fstat(inPlace_, &st) != 0) return false;
    const uint64_t end = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    const off_t at = (flags & O_APPEND) != 0 ? static_cast<off_t>(end) : ::lseek(inPlace_, 0, SEEK_CUR);
    bool reserved = false;
    if (at < 0 || !ReserveInPlace(static_cast<uint64_t>(at), static_cast<uint64_t>(at) + size, end, reserved))
        return false;
    if (scratch_ < 0) return WriteFully(inPlace_, memory.data(), memory.size());
    return StreamScratch();
}

// A FIFO or device opened for a positioned write, or a stream on a regular file, gets the scratch file's bytes
// in order.
bool OutputFile::StreamScratch()
{
    struct stat st;
    if (::fstat(scratch_, &st) != 0) return false;
    if (stream_) FlushStandardStreams();
    return CopyScratch(scratch_, 0, static_cast<uint64_t>(st.st_size), [&](const char* block, size_t n, uint64_t) {
        return fifo_ ? WriteToPipe(inPlace_, block, n) : WriteFully(inPlace_, block, n);
    });
}

bool OutputFile::Write(std::string_view data)
{
    // A regular file written in place or through a stream changes only at the commit: what comes before is
    // staged.
    if (inPlace_ >= 0 && (regular_ || streamFile_) && scratch_ < 0 && !OpenScratchFile()) return Fail(errno);
    const int staged = replacing_.IsOpen() ? replacing_.Fd() : scratch_;
    if (staged >= 0) return WriteFully(staged, data.data(), data.size()) || Fail(errno);
    if (inPlace_ < 0) return Fail(EBADF);
    if (stream_) FlushStandardStreams();
    return (fifo_ ? WriteToPipe(inPlace_, data.data(), data.size()) : WriteFully(inPlace_, data.data(), data.size())) ||
           Fail(errno);
}

// A regular file written in place is never left with part of its new contents by a signal that ends the process:
// ending waits for the write (Interruption.h). A pipe or device may wait on its reader for ever, and is not
// waited for; a regular file behind a stream is waited for once the streams are flushed (PutThroughStream).
bool OutputFile::RegularInPlace() const { return inPlace_ >= 0 && regular_; }

bool OutputFile::Commit(std::string_view whole)
{
    std::optional<UnbrokenWrite> unbroken;
    if (RegularInPlace()) unbroken.emplace();
    if (inPlace_ >= 0 && regular_ && scratch_ < 0)
    {
        positioned_ = -1;
        return PutInPlace(whole) ? CloseInPlace() : Fail(errno);
    }
    if (inPlace_ >= 0 && streamFile_ && scratch_ < 0)
    {
        positioned_ = -1;
        return PutThroughStream(whole) ? CloseInPlace() : Fail(errno);
    }
    return Write(whole) && Commit();
}

bool OutputFile::Commit()
{
    positioned_ = -1;
    if (replacing_.IsOpen())
    {
        // A file replaced holds its old contents or its new ones after a power cut: the new ones are on disk
        // before they take its name. A new file waits for the flush at the end of the command.
        const bool replacing = folder_ >= 0;
        if (replacing && ::fdatasync(replacing_.Fd()) != 0) return Fail(errno);
        const bool ok = replacing_.Commit();
        const int why = errno;
        if (ok) NoteWrittenFolder(replacing ? folder_ : AT_FDCWD, replacing ? "." : newFolderPath_.c_str());
        Abandon();
        return ok || Fail(why);
    }
    if (inPlace_ < 0) return Fail(EBADF);
    std::optional<UnbrokenWrite> unbroken;
    if (RegularInPlace()) unbroken.emplace();
    // Nothing written empties a regular file in place all the same; a stream is only added to.
    if (streamFile_)
    {
        if (!PutThroughStream({})) return Fail(errno);
    }
    else if ((regular_ && !PutInPlace({})) || (!regular_ && scratch_ >= 0 && !StreamScratch()))
    {
        return Fail(errno);
    }
    return CloseInPlace();
}

bool OutputFile::CloseInPlace()
{
    if (regular_ || streamFile_) NoteWrittenFile(inPlace_);
    // A device, or a file system, may report a failed write only when the file is closed.
    const int fd = std::exchange(inPlace_, -1);
    const bool closed = ::close(fd) == 0;
    const int why = errno;
    Abandon();
    return closed || Fail(why);
}

// Gives up replacing the file opened, which is then written in place: what it is stays known.
void OutputFile::StopReplacing()
{
    replacing_.Abandon();
    if (folder_ >= 0) ::close(std::exchange(folder_, -1));
}

bool OutputFile::IsSameOutputAs(const OutputFile& other) const
{
    // A FIFO or a device takes one output after the other: neither is written over.
    const auto streamed = [](const OutputFile& f) { return f.inPlace_ >= 0 && !f.regular_; };
    if (streamed(*this) || streamed(other)) return false;
    if (IsOutput(other.existing_) || IsOutput(other.staged_)) return true;
    return !newName_.empty() && newName_ == other.newName_ && newFolder_.IsSameFile(other.newFolder_);
}

void OutputFile::Abandon()
{
    Untrack();
    positioned_ = -1;
    if (scratch_ >= 0) ::close(std::exchange(scratch_, -1));
    if (inPlace_ >= 0) ::close(std::exchange(inPlace_, -1));
    replacing_.Abandon();
    if (folder_ >= 0) ::close(std::exchange(folder_, -1));
    inPlaceMode_ = 0;
    regular_ = fifo_ = stream_ = streamFile_ = false;
    existing_ = staged_ = newFolder_ = FileIdentity{};
    newName_.clear();
    newFolderPath_.clear();
}

void KeepFromOutputs(const FileIdentity& file, std::string why)
{
    if (!file.known) return;
    std::lock_guard lock(keptMutex);
    keptFiles[KeyOf(file)].push_back({std::move(why), nullptr});
}

void KeepNameFromOutputs(const std::string& path, std::string why)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return;
    std::lock_guard lock(keptMutex);
    keptNames.push_back({slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1), std::move(why)});
}

KeptInputs::~KeptInputs()
{
    std::lock_guard lock(keptMutex);
    for (auto kept = keptFiles.begin(); kept != keptFiles.end();)
    {
        std::erase_if(kept->second, [this](const KeptFile& one) { return one.command == this; });
        kept = kept->second.empty() ? keptFiles.erase(kept) : std::next(kept);
    }
}

void KeptInputs::Add(const FileIdentity& file, std::string why)
{
    if (!file.known || Holds(file)) return;
    std::lock_guard lock(keptMutex);
    keptFiles[KeyOf(file)].push_back({std::move(why), this});
}

bool KeptInputs::Holds(const FileIdentity& file) const
{
    std::lock_guard lock(keptMutex);
    const auto kept = file.known ? keptFiles.find(KeyOf(file)) : keptFiles.end();
    return kept != keptFiles.end() && std::any_of(kept->second.begin(), kept->second.end(),
                                                  [this](const KeptFile& one) { return one.command == this; });
}

bool WriteOutputFile(const std::string& path, std::string_view data, mode_t mode, std::string* reason)
{
    OutputFile file;
    const bool ok = file.Open(path, mode) && file.Commit(data);
    if (!ok && reason) *reason = file.Reason();
    return ok;
}

}  // namespace Platform
