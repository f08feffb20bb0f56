#include "platform/RegularFile.h"

#include "platform/FileWriting.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

RegularFileStatus OpenRegularFile(const std::string& path, int& fd, int openFlags, uint64_t* size,
                                  FileIdentity* identity)
{
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | openFlags);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? RegularFileStatus::kMissing : RegularFileStatus::kUnreadable;
    struct stat st;
    const RegularFileStatus status = ::fstat(fd, &st) != 0  ? RegularFileStatus::kUnreadable
                                     : !S_ISREG(st.st_mode) ? RegularFileStatus::kNotRegular
                                                            : RegularFileStatus::kOK;
    if (status != RegularFileStatus::kOK)
    {
        ::close(fd);
        fd = -1;
        return status;
    }
    if (size) *size = st.st_size > 0 ? uint64_t(st.st_size) : 0;
    if (identity) *identity = FileIdentity::Of(st);
    // A regular file never blocks a read; the flag is taken off all the same, so that a short read means the end.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return RegularFileStatus::kOK;
}

RegularFileStatus ReadRegularFile(const std::string& path, uint64_t bound, std::string& out, FileIdentity* identity)
{
    out.clear();
    int fd = -1;
    uint64_t size = 0;
    if (const RegularFileStatus opened = OpenRegularFile(path, fd, 0, &size, identity);
        opened != RegularFileStatus::kOK)
        return opened;
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (size > bound) return RegularFileStatus::kTooLarge;
    return ReadOpenedFile(fd, size, out, bound) ? RegularFileStatus::kOK : RegularFileStatus::kUnreadable;
}

}  // namespace Platform
