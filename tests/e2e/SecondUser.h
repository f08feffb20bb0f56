#pragma once
// The second user of the security tests: user nobody, in a child process of the test (which runs as root).
#include "platform/tests/NobodyProcess.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace e2e {

using PlatformTest::AsNobody;
using PlatformTest::BecomeNobody;
using PlatformTest::kNobody;
using PlatformTest::kNobodyGroup;

// True when the daemon's token (its 8 bytes, lowest first) is among the `n` bytes. It allocates nothing, so that
// a forked child (the second user) may call it too.
inline bool HoldsToken(const uint8_t* bytes, size_t n, uint64_t token)
{
    uint8_t t[8];
    for (int i = 0; i < 8; ++i) t[i] = static_cast<uint8_t>(token >> (8 * i));
    return std::search(bytes, bytes + n, t, t + 8) != bytes + n;
}

}  // namespace e2e
