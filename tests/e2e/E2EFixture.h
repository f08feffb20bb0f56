#pragma once
// What most end-to-end tests share: a root whose daemon runs, and a working folder "work" from which the
// tool is run, so that relative paths must resolve against it.
#include "E2EHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

inline constexpr char kOK[] = "OK (0 Errors, 0 Warnings)\n";

// One error line for the null KUID, then the summary.
inline std::string Failed(const std::string& message)
{
    return "- NULLKUID : " + message + "\nOK (1 Errors, 0 Warnings)\n";
}

// Polls `done` every `stepMs` until it holds, `tries` times at most; for what the daemon takes on its own time.
template <typename F>
bool Eventually(F done, int tries = 300, int stepMs = 50)
{
    for (int i = 0; i < tries; ++i)
    {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return done();
}

class DaemonRootTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root_.StartDaemon());
        std::filesystem::create_directories(root_.Path("work"));
    }
    RunResult Run(const std::vector<std::string>& args) const
    {
        return root_.Run(args, RunOptions::In(root_.Path("work")));
    }

    InstallRoot root_;
};

}  // namespace e2e
