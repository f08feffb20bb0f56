#pragma once
// Writing a file a user names as a command's output, which may be anything. The name is opened for writing
// first, as any program opens it (without waiting for a FIFO's reader, never as a controlling terminal), so the
// system decides whether this user may write it: a file the user may not write is refused ("Permission
// denied"), though root may write a file of mode 0444 as the shell's `>` does. What was opened then decides:
//
// - A plain file of the user's own (one name, owned by the process's effective user), or a name not there
//   yet, gets its new contents whole through a replacing file (FileWriting.h): a failed write leaves what was
//   there. The new file keeps the old one's permission bits and group, not its set-user-ID or set-group-ID bit.
//   Through a link, the file it leads to is replaced, and the link stays.
// - Where replacing would change what the user has, the file is written in place, as a plain open for writing
//   does: a file with more than one name (every name shows the new contents), one of another owner (it keeps
//   its owner and mode), one whose group the new file could not have, or one in a folder the user may not
//   write into. It is emptied only at the first write (or at the commit, when nothing was written), so a
//   command that fails before it writes, or an Abandon, leaves it as it was; once committed it holds exactly
//   the new bytes. Its set-user-ID and set-group-ID bits are cleared. A write that fails after the first one
//   leaves what was written.
// - A FIFO (a named one, or a pipe such as /dev/stdout in `... | sort`) with a reader, and a character device
//   (/dev/null, a terminal), are written in place. A FIFO nobody reads is refused at once ("no process is
//   reading it"); a reader that goes away makes the write fail with "Broken pipe" rather than ending the
//   process with SIGPIPE.
// - A folder, a socket and a block device are refused at once.
//
// Every write and the close are checked.
#include "platform/FileWriting.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace Platform {

class OutputFile
{
public:
    // How the output is written: in sequence through Write, or at offsets (pwrite) through Fd, for a writer
    // that fills in sizes after what they measure.
    enum class Access
    {
        kSequential,
        kPositioned,
    };

    OutputFile() = default;
    ~OutputFile() { Abandon(); }  // what was not committed is not written
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes ready to write `path` (a new file gets `mode` less the umask). False: Reason() says why.
    bool Open(const std::string& path, mode_t mode = 0666, Access access = Access::kSequential);
    // Every byte of `data`, after what was written before. False: Reason() says why.
    bool Write(std::string_view data);
    // For a positioned open: a regular file open for writing at offsets, whose bytes up to its size at the
    // commit are the output. It is the replacing file, or, for an output written in place, a scratch file
    // without a name that the commit copies into the output (so nothing reaches the output before then).
    int Fd() const { return positioned_; }
    // Ends the write: the replacing file takes the path's place, or what is written in place is closed.
    // False: Reason() says why, and a replaced file keeps what it had.
    bool Commit();
    void Abandon();

    // Why the last step failed: "it is a folder", "it is a socket", "it is a block device", "no process is
    // reading it", or the system's text for the error.
    const std::string& Reason() const { return reason_; }

private:
    bool Fail(int error);
    bool Refuse(const char* why);
    bool OpenReplacing(const std::string& path, const struct stat& opened, bool& replaced);
    bool PrepareInPlace(const struct stat& opened, Access access);
    bool BeginInPlace();
    bool WriteInPlace(const void* data, size_t size);
    bool CopyScratch();

    ReplacingFile replacing_;
    int folder_ = -1;      // the replaced file's folder, while it is replaced
    int inPlace_ = -1;     // the output written in place
    int positioned_ = -1;  // what a positioned open writes into
    int scratch_ = -1;     // the scratch file of a positioned open written in place
    mode_t inPlaceMode_ = 0;
    bool regular_ = false;  // the output in place is a regular file
    bool fifo_ = false;     // ... a FIFO or pipe
    bool begun_ = false;    // ... has been emptied for its new contents
    uint64_t written_ = 0;  // bytes written in place
    std::string reason_;
};

// Open, Write and Commit in one. False: `reason` (when given) says why.
bool WriteOutputFile(const std::string& path, std::string_view data, mode_t mode = 0666, std::string* reason = nullptr);

}  // namespace Platform
