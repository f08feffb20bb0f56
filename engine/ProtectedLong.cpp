#include "engine/ProtectedLong.h"

namespace Orvo {

long ProtectedLong::CompareExchange(long expected, long desired)
{
    value_.compare_exchange_strong(expected, desired);
    return expected;  // holds the value found, whether or not it was replaced
}

}  // namespace Orvo
