#pragma once
// The second user of the security tests: user nobody, in a child process of the test (which runs as root).
#include "E2EHarness.h"

#include "platform/tests/NobodyProcess.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

using PlatformTest::AsNobody;
using PlatformTest::BecomeNobody;
using PlatformTest::kNobody;
using PlatformTest::kNobodyGroup;

// Makes the root and everything below it user nobody's, but the executables (the stage's own files under other
// names, not given away): an installation of theirs. False when a file could not be given.
inline bool GiveRootToNobody(const InstallRoot& root)
{
    for (const auto& e : std::filesystem::recursive_directory_iterator(root.Root()))
        if (!(e.is_regular_file() && !e.is_symlink() && e.hard_link_count() > 1) &&
            lchown(e.path().c_str(), kNobody, kNobodyGroup) != 0)
            return false;
    return chown(root.Root().c_str(), kNobody, kNobodyGroup) == 0;
}

// Runs the root's VelmarUtil as user nobody, in no group but nobody's, from `folder` (below the root).
inline RunResult RunAsNobody(const InstallRoot& root, const std::vector<std::string>& args, const std::string& folder)
{
    std::vector<std::string> line = {"--reuid=" + std::to_string(kNobody), "--regid=" + std::to_string(kNobodyGroup),
                                     "--clear-groups", root.Tool()};
    line.insert(line.end(), args.begin(), args.end());
    return RunningProgram("/usr/bin/setpriv", line, RunOptions::In(root.Path(folder))).Wait();
}

// True when the daemon's token (its 8 bytes, lowest first) is among the `n` bytes. It allocates nothing, so that
// a forked child (the second user) may call it too.
inline bool HoldsToken(const uint8_t* bytes, size_t n, uint64_t token)
{
    uint8_t t[8];
    for (int i = 0; i < 8; ++i) t[i] = static_cast<uint8_t>(token >> (8 * i));
    return std::search(bytes, bytes + n, t, t + 8) != bytes + n;
}

}  // namespace e2e
