#pragma once
// Writing a file a user names as a command's output, which may be anything. A regular file, or a name not
// there yet, gets its new contents whole through a replacing file (FileWriting.h): a failed write leaves what
// was there. A character device (/dev/null, a terminal) cannot be replaced, so it is written in place. Anything
// else (a folder, a FIFO, a socket, a block device) is refused at once: nothing waits for a reader, and no
// device node is ever replaced by a file. Every write and the close are checked.
#include "platform/FileWriting.h"

#include <sys/types.h>

#include <string>
#include <string_view>

namespace Platform {

class OutputFile
{
public:
    OutputFile() = default;
    ~OutputFile() { Abandon(); }  // what was not committed is not written
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes ready to write `path` (a new file gets `mode` less the umask, a replaced one keeps its permission
    // bits). False: Reason() says why.
    bool Open(const std::string& path, mode_t mode = 0666);
    // Every byte of `data`, after what was written before. False: Reason() says why.
    bool Write(std::string_view data);
    // Ends the write: the replacing file takes the path's place, a device is closed. False: Reason() says why,
    // and a regular file keeps what it had.
    bool Commit();
    void Abandon();

    // Why the last step failed: "it is a folder", "it is not a regular file" or the system's text for the error.
    const std::string& Reason() const { return reason_; }

private:
    bool Fail(int error);

    ReplacingFile replacing_;
    int device_ = -1;
    std::string reason_;
};

// Why a file of this mode (from stat) cannot be written as output: "it is a folder" or "it is not a regular file".
const char* NotWritableKind(mode_t mode);

// Open, Write and Commit in one. False: `reason` (when given) says why.
bool WriteOutputFile(const std::string& path, std::string_view data, mode_t mode = 0666, std::string* reason = nullptr);

}  // namespace Platform
