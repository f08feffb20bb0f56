#include "platform/RegularFile.h"

#include "platform/FileWriting.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

RegularFileStatus ReadRegularFile(const std::string& path, uint64_t bound, std::string& out)
{
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? RegularFileStatus::kMissing : RegularFileStatus::kUnreadable;
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0) return RegularFileStatus::kUnreadable;
    if (!S_ISREG(st.st_mode)) return RegularFileStatus::kNotRegular;
    if (st.st_size < 0 || uint64_t(st.st_size) > bound) return RegularFileStatus::kTooLarge;
    return ReadOpenedFile(fd, uint64_t(st.st_size), out, bound) ? RegularFileStatus::kOK
                                                                : RegularFileStatus::kUnreadable;
}

}  // namespace Platform
