#include "DaemonHarness.h"

#include "assetdb/VADClient.h"
#include "assetdb/VADDiscovery.h"
#include "assetdb/VADFrameIO.h"
#include "assetdb/VADHandshake.h"
#include "platform/Process.h"
#include "platform/SharedMemory.h"
#include "platform/tests/EndedProcess.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

TestInstallation::TestInstallation()
{
    char tmpl[] = "/tmp/vaddaemon-test-XXXXXX";
    root_ = mkdtemp(tmpl);
    char real[PATH_MAX];
    if (realpath(root_.c_str(), real)) root_ = real;
    fs::create_directories(root_ + "/bin");
    std::string staged = std::string(VELMAR_STAGE_DIR) + "/bin/VADDaemon";
    std::error_code ec;
    fs::create_hard_link(staged, root_ + "/bin/VADDaemon", ec);
    if (ec) fs::copy_file(staged, root_ + "/bin/VADDaemon", ec);
    blockName_ = VADDiscoveryName(static_cast<uint32_t>(getuid()), root_);
}

TestInstallation::~TestInstallation()
{
    if (pid_ > 0 && Platform::IsProcessAlive(pid_)) KillDaemon();
    Platform::SharedMemoryBlock::Unlink(blockName_);
    // A private block of a daemon that was killed is left behind with its record.
    uint32_t pid = 0;
    std::string recorded;
    if (VADReadDiscoveryRecord(root_, pid, recorded)) Platform::SharedMemoryBlock::RemoveOwn(recorded);
    std::error_code ec;
    fs::remove_all(root_, ec);
}

int TestInstallation::StartDaemon(unsigned idleSeconds, const std::vector<std::string>& more)
{
    std::vector<std::string> args{"-idle=" + std::to_string(idleSeconds)};
    args.insert(args.end(), more.begin(), more.end());
    Platform::LaunchResult r = Platform::LaunchProcess(root_ + "/bin/VADDaemon", args, root_);
    pid_ = r.pid;
    return pid_;
}

int TestInstallation::StartDaemonReady(unsigned idleSeconds, const std::vector<std::string>& more)
{
    StartDaemon(idleSeconds, more);
    return WaitForState(VAD_STATE_READY, 20000) ? pid_ : 0;
}

bool TestInstallation::ReadBlock(VADDiscoveryBlock& out) const { return VADFindDiscoveryBlock(root_, out); }

bool TestInstallation::WaitForState(uint32_t state, unsigned timeoutMs)
{
    for (unsigned waited = 0; waited < timeoutMs; waited += 20)
    {
        VADDiscoveryBlock b;
        if (ReadBlock(b) && b.state == state && static_cast<int>(b.pid) == pid_) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void TestInstallation::KillDaemon()
{
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    (void)Platform::WaitForProcess(pid_, 10000);  // reaped; a SIGKILL leaves nothing to wait for
}

int TestInstallation::WaitDaemonExit(unsigned timeoutMs)
{
    int code = -1;
    if (Platform::WaitForProcess(pid_, static_cast<int>(timeoutMs), &code) != Platform::WaitResult::Exited) return -1;
    return code;
}

void WriteFile(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool Says(const DaemonResults& results, const std::string& part)
{
    for (const VADResultNotification& r : results)
        if (r.text.find(part) != std::string::npos ||
            std::string(r.params.begin(), r.params.end()).find(part) != std::string::npos)
            return true;
    return false;
}

std::vector<std::string> KeptAs(const std::string& backupsRoot, const std::string& name)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(backupsRoot + "/uncommitted", ec), end; !ec && it != end; it.increment(ec))
        if (fs::is_directory(it->path() / name)) found.push_back((it->path() / name).string());
    std::sort(found.begin(), found.end());
    return found;
}

void RecordEndedWork(const std::string& registers, const std::vector<EndedWork>& work)
{
    fs::create_directories(registers);
    fs::permissions(registers, fs::perms::owner_all);
    std::string lines;
    uint64_t note = 0;
    for (const EndedWork& w : work)
    {
        EXPECT_TRUE(fs::exists(fs::symlink_status(w.path))) << w.path;
        lines += PlatformTest::OwnWorkLine(++note, w.kind, w.path, w.own);
    }
    EXPECT_NE(PlatformTest::WriteEndedRegister(registers, lines), "") << registers;
}

void WriteAssetFolder(const std::string& folder, const KUID& kuid, const std::string& name,
                      const std::string& extraConfig, int extraFiles, size_t fileBytes)
{
    fs::create_directories(folder);
    WriteFile(folder + "/config.txt", "kuid " + kuid.ToString() + "\nusername \"" + name + "\"\n" + extraConfig);
    std::string data(fileBytes, 'x');
    for (int i = 0; i < extraFiles; ++i) WriteFile(folder + "/data/file" + std::to_string(i) + ".bin", data);
}

bool RawClient::ConnectSilently(const TestInstallation& inst, VADDiscoveryBlock* block)
{
    VADDiscoveryBlock b;
    if (!inst.ReadBlock(b)) return false;
    if (block) *block = b;
    socket_ = Platform::Socket::Connect(b.port, 5000);
    return socket_.IsValid();
}

bool RawClient::Connect(const TestInstallation& inst, bool wrongToken)
{
    VADDiscoveryBlock b;
    if (!ConnectSilently(inst, &b)) return false;
    VADHello hello;
    hello.pid = static_cast<uint32_t>(getpid());
    hello.program = "rawclient";
    if (!wrongToken) return VADClientHandshake(socket_, b.token, hello, 5000) == VADHandshake::kAccepted;
    // The hello of a client that does not know the token: the daemon's challenge answered under another one.
    VADHelloReply reply;
    if (!SayHello(hello, reply)) return false;
    return SendFrame(kVADHelloCode, 0,
                     VADEncodeHelloProof(VADClientProof(b.token + 1, hello.challenge, reply.challenge)));
}

bool RawClient::SayHello(VADHello& hello, VADHelloReply& reply, VADBytes* answer)
{
    if (!VADRandomBytes(hello.challenge.data(), hello.challenge.size()) ||
        !SendFrame(kVADHelloCode, 0, VADEncodeHello(hello)))
        return false;
    VADFrameHeader fh;
    VADBytes payload;
    if (VADReceiveFrame(socket_, fh, payload, 5000) != VADFrameRead::kOk || fh.code != kVADHelloCode) return false;
    const bool decoded = VADDecodeHelloReply(payload, reply);
    if (answer) *answer = std::move(payload);
    return decoded;
}

bool RawClient::SendRaw(const void* data, size_t n) { return socket_.SendAll(data, n, 5000) == Platform::IoResult::Ok; }

bool RawClient::SendFrame(uint32_t code, uint32_t id, const VADBytes& payload)
{
    return VADSendFrame(socket_, code, id, payload, 5000);
}

bool RawClient::Call(uint32_t code, const VADBytes& payload, int32_t& status, VADBytes& body,
                     std::vector<VADResultNotification>* results)
{
    uint32_t id = nextId_++;
    if (!SendFrame(code, id, payload)) return false;
    for (;;)
    {
        VADFrameHeader h;
        VADBytes p;
        if (VADReceiveFrame(socket_, h, p, 60000) != VADFrameRead::kOk) return false;
        if (h.code == VAD_NOTIFY_RESULT && h.transaction == id)
        {
            VADResultNotification n;
            if (results && VADDecode(p, n)) results->push_back(n);
            continue;
        }
        if (h.code == (code | kVADReplyBit) && h.transaction == id) return VADDecodeReplyPayload(p, status, body);
    }
}

bool RawClient::ClosedByPeer(int timeoutMs)
{
    uint8_t b;
    size_t got = 0;
    for (int waited = 0; waited <= timeoutMs; waited += 50)
    {
        Platform::IoResult r = socket_.ReceiveSome(&b, 1, &got, 50);
        if (r == Platform::IoResult::Closed || r == Platform::IoResult::Error) return true;
        if (r == Platform::IoResult::Ok && got == 0) return true;
    }
    return false;
}

RawClient::Reply RawClient::Ask(uint32_t code, const VADBytes& payload)
{
    Reply r;
    r.answered = Call(code, payload, r.status, r.body, &r.results);
    return r;
}

void DaemonTest::SetUp()
{
    connection.Close();
    connection.SetRoot(inst.Root());
    connection.SetConnectIntervalMs(50);
}

void DaemonTest::TearDown() { connection.Close(); }

bool DaemonTest::Open(bool autoStart)
{
    VADConnectionSettings s;
    s.Reset();
    s.startDaemon = autoStart ? 1 : 0;
    return connection.Open(s).Ok();
}

void DaemonTest::RestartAndOpen(const std::vector<std::string>& options)
{
    connection.CloseDaemon(0);
    ASSERT_EQ(inst.WaitDaemonExit(10000), 0);
    StartAndOpen(options);
}

void DaemonTest::StartAndOpen(const std::vector<std::string>& options)
{
    connection.Close();
    ASSERT_GT(inst.StartDaemonReady(60, options), 0);
    ASSERT_TRUE(Open());
}
