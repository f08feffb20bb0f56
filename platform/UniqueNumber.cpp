#include "platform/UniqueNumber.h"

#include <unistd.h>

#include <atomic>

namespace Platform {

uint64_t NextUniqueNumber()
{
    // Process-wide: a number is unique only among all the process's callers.
    static std::atomic<uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

std::string OwnNameBeside(const std::string& wanted)
{
    return wanted + "-" + std::to_string(::getpid()) + "-" + std::to_string(NextUniqueNumber());
}

}  // namespace Platform
