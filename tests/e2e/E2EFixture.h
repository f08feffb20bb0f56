#pragma once
// What most end-to-end tests share: a root whose daemon runs, and a working folder "work" from which the
// tool is run, so that relative paths must resolve against it.
#include "E2EHarness.h"

#include "assetdb/VADClient.h"
#include "assetdb/VADRequests.h"
#include "core/TDBTagRef.h"

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

// Reads the daemon's settings with a client of its own, as the simulator would.
class SettingsReader
{
public:
    explicit SettingsReader(const std::string& root)
    {
        VADSetDaemonRoot(root);
        VADConnectionSettings settings;
        settings.startDaemon = 0;
        connected_ = VADOpenDatabase(settings);
    }
    ~SettingsReader() { VADCloseDatabase(); }
    SettingsReader(const SettingsReader&) = delete;
    SettingsReader& operator=(const SettingsReader&) = delete;
    bool Connected() const { return connected_; }
    TDBTagRef Group(const char* name) const
    {
        TDBTagRef tree;
        VADGetSettingsGroup(name, tree, 0);
        return tree;
    }

private:
    VADConnection connection_;  // made before the constructor body uses it
    bool connected_ = false;
};

}  // namespace e2e
