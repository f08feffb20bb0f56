#include "tool/StartDirectory.h"

#include <fcntl.h>
#include <unistd.h>

std::string ReadStartDirectory()
{
    char folder[kStartDirectorySize];
    if (getcwd(folder, sizeof folder) != nullptr) return std::string(folder);
    // A folder whose path cannot be read (longer than the bound) is still where the user's relative paths lead:
    // it is held open for the process's life and named through that descriptor.
    const int held = open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    return held >= 0 ? "/proc/self/fd/" + std::to_string(held) : std::string();
}
