#pragma once
// A root whose daemon runs, beside a folder of the other user's (user nobody) from which the owner installs.
#include "E2EFixture.h"
#include "SecondUser.h"

#include "platform/tests/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace e2e {

// Regular files below a folder (links not followed) that hold `needle`.
inline std::vector<std::string> FilesHolding(const std::string& folder, const std::string& needle)
{
    std::vector<std::string> found;
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec)) return found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec))
        if (e.is_regular_file() && !e.is_symlink() &&
            ReadWholeFile(e.path().string()).find(needle) != std::string::npos)
            found.push_back(e.path().string());
    return found;
}

// Skipped unless the test runs as root, which can make files user nobody's and run a child as nobody.
class OtherUserRootTest : public DaemonRootTest
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to run the second user as user nobody";
        DaemonRootTest::SetUp();
        other_ = otherFolder_.path();
        ASSERT_FALSE(other_.empty());
        ASSERT_EQ(chmod(other_.c_str(), 0755), 0);
    }
    // Makes the files below the other user's folder theirs, and the folder itself when `folderToo`.
    void GiveToNobody(bool folderToo = true) const
    {
        for (const auto& e : std::filesystem::recursive_directory_iterator(other_))
            ASSERT_EQ(lchown(e.path().c_str(), kNobody, kNobody), 0) << e.path();
        if (folderToo)
        {
            ASSERT_EQ(chown(other_.c_str(), kNobody, kNobody), 0);
        }
    }

    PlatformTest::TempDir otherFolder_{"/tmp"};  // where user nobody reaches it, whatever TMPDIR says
    std::string other_;                          // the other user's folder (root's until GiveToNobody)
};

}  // namespace e2e
