#pragma once
// Reading a file a user names on the command line or in a batch file, which may be anything: only a regular
// file is read, and only up to a bound. The file is opened without waiting (a FIFO with no writer, a device or
// a socket never blocks the open) and checked after it is opened, so a name swapped meanwhile is no way round
// the check. The file is read as long as it was when opened: what it grows by meanwhile is not read.
#include "platform/FileIdentity.h"

#include <cstdint>
#include <string>

namespace Platform {

enum class [[nodiscard]] RegularFileStatus{
    kOK,
    kMissing,     // no such file
    kNotRegular,  // a folder, FIFO, device or socket
    kTooLarge,    // more than the bound
    kUnreadable,  // it could not be opened or read
};

// The whole file into `out` (empty unless kOK); `identity`, when given, gets the file that was read.
RegularFileStatus ReadRegularFile(const std::string& path, uint64_t bound, std::string& out,
                                  FileIdentity* identity = nullptr);

// The file opened for reading, checked the same way, for a reader that streams it: `fd` (close-on-exec, reads
// wait as usual) is the caller's to close with kOK, else -1; kTooLarge is never the answer. `openFlags` are
// added to the open's own (O_NOFOLLOW, say). `size` and `identity`, when given, get the size of what was opened
// and the file it is.
RegularFileStatus OpenRegularFile(const std::string& path, int& fd, int openFlags = 0, uint64_t* size = nullptr,
                                  FileIdentity* identity = nullptr);

}  // namespace Platform
