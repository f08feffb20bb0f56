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

// A new KUID from the daemon; the null KUID when the request fails.
inline KUID NewKUID(VADClient& client)
{
    KUID k;
    (void)client.GenerateKUID(k);  // the out KUID stays null on failure
    return k;
}

// The test's own connection and the client calling on it, closed around each test.
class ClientTest : public ::testing::Test
{
protected:
    void SetUp() override { connection_.Close(); }
    void TearDown() override { connection_.Close(); }
    bool Open(uint8_t startDaemon = 0)
    {
        VADConnectionSettings s;
        s.Reset();
        s.startDaemon = startDaemon;
        return connection_.Open(s).Ok();
    }
    // A transaction on the link as a yes or no, with its status word in *status when given.
    template <typename Bytes>
    bool Perform(uint32_t code, const Bytes& request, Bytes& reply, ResultsLog* log = nullptr,
                 int32_t* status = nullptr)
    {
        const VADStatus s = connection_.Perform(code, request, reply, log);
        if (status) *status = s.Code();
        return s.Ok();
    }
    // A round trip on the link: frames are handled in order, so everything sent before has arrived.
    void RoundTrip()
    {
        VADBytes reply;
        (void)connection_.Perform(VAD_REQ_KEEPALIVE, VADBytes{}, reply);
    }

    VADConnection connection_;
    VADClient client_{connection_};
};
