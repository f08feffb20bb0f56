#include "FakeDaemon.h"

#include "assetdb/VADFrameIO.h"
#include "assetdb/VADHandshake.h"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>

FakeDaemon::FakeDaemon(VADConnection& link, Handler handler, uint64_t token)
    : handler_(std::move(handler)), token_(token)
{
    char tmpl[] = "/tmp/vadfake-XXXXXX";
    root_ = mkdtemp(tmpl);
    char real[PATH_MAX];
    const std::string realRoot = realpath(root_.c_str(), real) ? real : root_;
    blockName_ = VADDiscoveryName(static_cast<uint32_t>(getuid()), realRoot);
    rootDigest_ = VADRootDigest(realRoot);
    link.SetRoot(root_);
    listener_ = Platform::Socket::Listen(0);
    block_.Create(blockName_, kVADDiscoveryBlockSize);
    Publish(static_cast<uint32_t>(getpid()), token_, VAD_STATE_READY);
    thread_ = std::thread([this] { Run(); });
}

FakeDaemon::~FakeDaemon()
{
    stop_ = true;
    Drop();
    listener_.Shutdown();
    thread_.join();
    block_.Close();
    Platform::SharedMemoryBlock::Unlink(blockName_);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

void FakeDaemon::Publish(uint32_t pid, uint64_t token, uint32_t state)
{
    VADDiscoveryBlock b;
    b.pid = pid;
    b.port = listener_.LocalPort();
    b.state = state;
    b.token = token;
    b.startTimeMs = 1;
    b.root = rootDigest_;
    uint8_t raw[kVADDiscoveryBlockSize];
    VADEncodeDiscoveryBlock(b, raw);
    block_.Write(0, raw, sizeof raw);
}

void FakeDaemon::Run()
{
    while (!stop_)
    {
        Platform::IoResult r;
        Platform::Socket s = listener_.Accept(100, &r);
        if (!s.IsValid()) continue;
        Serve(s);
    }
}

void FakeDaemon::Serve(Platform::Socket& s)
{
    s.SetNoDelay(true);  // several small frames per request must not wait on each other's acknowledgements
    VADHello hello;
    if (VADServerHandshake(s, token_, static_cast<uint32_t>(getpid()), hello, 2000) != VADServerHello::kProven) return;
    ++hellos_;
    {
        // Known as the client before the answer goes out, so a Drop right after the hello always finds it.
        std::lock_guard lk(sendMutex_);
        client_ = &s;
        if (stop_) s.Shutdown();
        (void)VADSendHelloAccepted(s, 2000);  // a client gone is the test's to see
    }
    uint8_t raw[kVADFrameHeaderSize];
    uint64_t withoutId = 0;  // requests sent without reply, each taken as carried out
    for (;;)
    {
        if (s.ReceiveExact(raw, sizeof raw) != Platform::IoResult::Ok) break;
        Frame f;
        f.header = VADDecodeFrameHeader(raw);
        f.payload.resize(f.header.length);
        if (f.header.length && s.ReceiveExact(f.payload.data(), f.payload.size()) != Platform::IoResult::Ok) break;
        {
            std::lock_guard lk(mutex_);
            received_.push_back(f);
        }
        cv_.notify_all();
        if (f.header.transaction == 0) ++withoutId;
        // The confirm of what was sent without reply is answered here, for every handler: all of it carried out.
        if (f.header.code == VAD_REQ_CONFIRM_SENT && f.header.transaction != 0)
            Reply(f, 0, VADEncode(VADConfirmSentReply{withoutId, 0, {}}));
        else if (handler_)
            handler_(*this, f);
    }
    std::lock_guard lk(sendMutex_);
    client_ = nullptr;
}

void FakeDaemon::Send(uint32_t code, uint32_t id, const VADBytes& payload)
{
    VADBytes frame = VADEncodeFrame(code, id, payload);
    std::lock_guard lk(sendMutex_);
    if (client_) (void)client_->SendAll(frame.data(), frame.size(), 2000);  // a client gone is the test's to see
}

void FakeDaemon::SendRaw(const VADBytes& bytes)
{
    std::lock_guard lk(sendMutex_);
    if (client_) (void)client_->SendAll(bytes.data(), bytes.size(), 2000);  // a client gone is the test's to see
}

void FakeDaemon::Reply(const Frame& f, int32_t status, const VADBytes& body)
{
    Send(f.header.code | kVADReplyBit, f.header.transaction, VADEncodeReplyPayload(status, body));
}

void FakeDaemon::Drop()
{
    std::lock_guard lk(sendMutex_);
    if (client_) client_->Shutdown();
}

std::vector<FakeDaemon::Frame> FakeDaemon::Received()
{
    std::lock_guard lk(mutex_);
    return received_;
}

bool FakeDaemon::WaitFor(uint32_t code, unsigned timeoutMs, Frame* out)
{
    std::unique_lock lk(mutex_);
    auto found = [&] {
        for (const Frame& f : received_)
            if (f.header.code == code)
            {
                if (out) *out = f;
                return true;
            }
        return false;
    };
    return cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), found);
}
