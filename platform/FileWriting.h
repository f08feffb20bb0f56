#pragma once
// Writing files: every byte of a buffer to a descriptor (again after a signal or a short write), exact
// reads at an offset, an opened file read within a bound, and a file replaced whole or not at all.
//
// A replacing file is written as a file without a name in its path's folder where the file system makes such
// files (O_TMPFILE), else under a temporary name beside its path, created exclusively (never an existing file,
// never through a link); once whole it gets the temporary name, is closed and renamed over the path. Until then
// the path keeps what it had, and a temporary that is not committed is removed, also by a signal that ends the
// process (Interruption.h). After a kill the path holds the old file or the new one, never part of one, and a
// temporary name is left only by a kill in the instant between the naming and the rename (or, where the file
// system makes no file without a name, at any moment of the write); where the process keeps a register of its
// own work, that temporary is recorded there, and a sweep after the process removes it (never a file that merely
// has such a name).
#include <fcntl.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Writes all `size` bytes from the descriptor's position. False with errno set (EIO for a write that wrote
// nothing).
bool WriteFully(int fd, const void* data, size_t size);
// The same at an offset of the file (pwrite), the descriptor's position unchanged.
bool WriteFullyAt(int fd, const void* data, size_t size, uint64_t offset);
// Reads exactly `size` bytes at an offset. False with errno set, or 0 where the file ends first.
bool ReadFullyAt(int fd, void* data, size_t size, uint64_t offset);
// The first `size` bytes (the size fstat gave) of the file open as `fd`, from its start whatever the
// descriptor's position: fewer where it ends first (it shrank meanwhile), never more (what it grew by is not
// read). A size above `limit` is refused with EFBIG. False with `*err` set and `out` empty.
bool ReadOpenedFile(int fd, uint64_t size, std::string& out, uint64_t limit, int* err = nullptr);
bool ReadOpenedFile(int fd, uint64_t size, std::vector<uint8_t>& out, uint64_t limit, int* err = nullptr);

// Writes all of `data` as the file `name` of the folder open as `folderFd` (AT_FDCWD: `name` is a path),
// taken exactly as named (no symbolic link followed): made with `mode` less the umask, or truncated when it
// is there, which an `exclusive` write refuses. False with errno set.
bool WriteExactFile(int folderFd, const std::string& name, std::string_view data, bool exclusive = false,
                    mode_t mode = 0644);
inline bool WriteExactFile(const std::string& path, std::string_view data, bool exclusive = false)
{
    return WriteExactFile(AT_FDCWD, path, data, exclusive);
}

// "<path>.part-<pid>-<n>", n counting in the process: a temporary name beside `path` no other writer takes.
std::string TemporaryNameFor(const std::string& path);

class ReplacingFile
{
public:
    ReplacingFile() = default;
    // A temporary that was not committed is removed.
    ~ReplacingFile() { Abandon(); }
    ReplacingFile(ReplacingFile&& other) noexcept;
    ReplacingFile& operator=(ReplacingFile&& other) noexcept;
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary "<path>.part-<pid>-<n>" (n counts in the process; without a name until the commit
    // where the file system allows) with `mode` (less the umask), open for `access` (O_WRONLY or O_RDWR). False
    // with errno set: ENAMETOOLONG where that name would not fit.
    bool Create(const std::string& path, int access = O_WRONLY, mode_t mode = 0644);
    // The same for the file `name` of the folder open as `folderFd` (kept open by the caller until the
    // commit), with a temporary name of the caller's own in that folder.
    bool CreateAt(int folderFd, const std::string& name, const std::string& temporary, int access, mode_t mode);

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // The temporary's path (relative to the folder for CreateAt), also after a failed Create; it names a file only
    // where the file system makes no file without a name.
    const std::string& TemporaryPath() const { return temporary_; }

    // Closes the temporary and renames it over the path. False with errno set: the temporary is removed
    // and the path keeps what it had.
    bool Commit();
    // Closes and removes the temporary; the path keeps what it had.
    void Abandon();

private:
    int fd_ = -1;
    int folderFd_ = AT_FDCWD;
    bool unnamed_ = false;  // made without a name: it gets the temporary name only at the commit
    uint64_t note_ = 0;     // its note among the process's temporaries (Interruption.h), while it has a name
    std::string name_;
    std::string temporary_;
};

// `data` as the whole new contents of `path`, through a replacing file. False with errno set.
bool WriteFileReplacing(const std::string& path, std::string_view data, mode_t mode = 0644);

// `data` as a new file `path` (with `mode` less the umask), made whole under a name nothing has yet and never over
// anything: the path is seen holding all of it or is not there, also after a kill. Written as a file without a name
// (O_TMPFILE) in the path's folder and then linked to the path; where the file system makes no such file, written
// under a temporary name beside it (TemporaryNameFor), created exclusively and noted among the process's temporaries
// (Interruption.h), then given the path by a hard link (or RenameNoReplace where the file system has no hard links)
// and removed. False with errno set: EEXIST when anything (a file, folder or link) has the path, and then nothing
// was made.
bool WriteNewFileWhole(const std::string& path, std::string_view data, mode_t mode = 0644);
// The same always through a named temporary: the way taken where the file system makes no file without a name.
bool WriteNewFileWholeThroughTemporary(const std::string& path, std::string_view data, mode_t mode = 0644);

}  // namespace Platform
