#pragma once
// A stand-in daemon for the client tests: a loopback listener speaking the frames, and a discovery block
// in shared memory pointing at it. One connection at a time; a handler answers each request frame.
#include "assetdb/VADConnection.h"
#include "assetdb/VADPayloads.h"
#include "assetdb/VADProtocol.h"
#include "platform/SharedMemory.h"
#include "platform/Socket.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeDaemon
{
public:
    struct Frame
    {
        VADFrameHeader header;
        VADBytes payload;
    };
    // Called on the daemon thread for every frame after the hello but the confirm of requests sent without reply
    // (237), which the stand-in answers itself: every one of them carried out.
    using Handler = std::function<void(FakeDaemon& d, const Frame& f)>;

    // Makes a temporary installation root, points the client's connection at it and publishes the block.
    FakeDaemon(VADConnection& link, Handler handler, uint64_t token = 0x5EC12E7ull);
    ~FakeDaemon();

    // Sends a frame to the connected client (any thread).
    void Send(uint32_t code, uint32_t id, const VADBytes& payload);
    void SendRaw(const VADBytes& bytes);
    void Reply(const Frame& f, int32_t status, const VADBytes& body = VADBytes());
    // Closes the client's connection.
    void Drop();
    // Rewrites the block with another pid / token / state.
    void Publish(uint32_t pid, uint64_t token, uint32_t state);

    // Every frame received so far (after the hello).
    std::vector<Frame> Received();
    // Waits until a frame with the code has arrived; false after timeoutMs.
    bool WaitFor(uint32_t code, unsigned timeoutMs, Frame* out = nullptr);
    // Waits for a frame with the code and decodes its payload; false when none came or it does not decode.
    template <typename T>
    bool Sent(uint32_t code, T& payload, Frame* out = nullptr)
    {
        Frame f;
        if (!WaitFor(code, 1000, &f)) return false;
        if (out) *out = f;
        return VADDecode(f.payload, payload);
    }
    int Hellos() const { return hellos_.load(); }
    const std::string& Root() const { return root_; }
    uint64_t Token() const { return token_; }

private:
    void Run();
    void Serve(Platform::Socket& s);

    Handler handler_;
    uint64_t token_;
    std::string root_;
    std::string blockName_;
    Sha256Digest rootDigest_{};  // of the root's real path, as a daemon of it publishes it
    Platform::SharedMemoryBlock block_;
    Platform::Socket listener_;
    std::mutex sendMutex_;
    Platform::Socket* client_ = nullptr;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Frame> received_;
    std::atomic<bool> stop_{false};
    std::atomic<int> hellos_{0};
    std::thread thread_;
};
