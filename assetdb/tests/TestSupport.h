#pragma once
// Set-up shared by the library's tests: a temporary folder that goes with the test, and a fixture that
// starts and ends every test with the daemon connection closed.
#include "assetdb/VADClient.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TempFolder
{
public:
    TempFolder()
    {
        char tmpl[] = "/tmp/assetdb-test-XXXXXX";
        const char* made = mkdtemp(tmpl);
        if (made == nullptr)
            throw std::filesystem::filesystem_error("mkdtemp", std::error_code(errno, std::generic_category()));
        path = made;
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string P(const std::string& rel) const { return path + "/" + rel; }

    std::string path;
};

// The test's own connection (the one the request functions use while it lives), closed around each test.
class ClientTest : public ::testing::Test
{
protected:
    void SetUp() override { VADCloseDatabase(); }
    void TearDown() override { VADCloseDatabase(); }
    static bool Open(uint8_t startDaemon = 0)
    {
        VADConnectionSettings s;
        s.Reset();
        s.startDaemon = startDaemon;
        return VADOpenDatabase(s);
    }
    // A round trip on the link: frames are handled in order, so everything sent before has arrived.
    static void RoundTrip()
    {
        VADBytes reply;
        VADPerformTransaction(VAD_REQ_KEEPALIVE, VADBytes{}, reply);
    }

    VADConnection connection_;
};
