// Speed of the OS layer where the program leans on it: request/reply round trips and bulk transfer
// over the loopback socket (the daemon link), lock costs, and code-page conversion.
// Usage: bench_platform [seconds per measurement, default 1]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/CriticalSection.h"
#include "engine/Mutex.h"
#include "engine/SingleLock.h"
#include "platform/CodePage.h"
#include "platform/Socket.h"

namespace {

using Clock = std::chrono::steady_clock;
double g_seconds = 1.0;

// Runs `step` in batches until the time is up; returns steps per second.
double Rate(const std::function<void(int)>& step, int batch = 1000)
{
    long long n = 0;
    auto start = Clock::now();
    double elapsed = 0;
    do
    {
        step(batch);
        n += batch;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < g_seconds);
    return n / elapsed;
}

void Sockets()
{
    Platform::Socket listener = Platform::Socket::Listen();
    Platform::Socket client = Platform::Socket::Connect(listener.LocalPort());
    Platform::Socket server = listener.Accept(5000);
    client.SetNoDelay();
    server.SetNoDelay();
    // An echo server: 12-byte header plus payload, like one daemon frame.
    std::thread echo([&] {
        std::vector<char> buf(1 << 20);
        for (;;)
        {
            uint32_t header[3];
            if (server.ReceiveExact(header, sizeof header) != Platform::IoResult::Ok) return;
            if (header[2] > buf.size() || server.ReceiveExact(buf.data(), header[2]) != Platform::IoResult::Ok) return;
            if (server.SendAll(header, sizeof header) != Platform::IoResult::Ok) return;
            if (server.SendAll(buf.data(), header[2]) != Platform::IoResult::Ok) return;
        }
    });
    for (uint32_t size : {16u, 4096u, 1u << 20})
    {
        std::vector<char> payload(size, 'x'), reply(size);
        double rate = Rate(
            [&](int n) {
                for (int i = 0; i < n; ++i)
                {
                    uint32_t header[3] = {21, static_cast<uint32_t>(i), size};
                    // Round trips on a loopback pair of the benchmark's own: only their time is measured.
                    (void)client.SendAll(header, sizeof header);
                    (void)client.SendAll(payload.data(), size);
                    (void)client.ReceiveExact(header, sizeof header);
                    (void)client.ReceiveExact(reply.data(), size);
                }
            },
            size >= (1u << 20) ? 10 : 500);
        std::printf("socket round trip, %7u-byte payload: %10.0f /s  %8.1f MB/s each way\n", size, rate,
                    rate * size / 1e6);
    }
    client.Shutdown();
    echo.join();
}

void Locks()
{
    Orvo::CriticalSection cs;
    std::mutex plain;
    Orvo::Mutex unnamed;
    std::printf("CriticalSection lock+unlock:  %12.0f /s\n", Rate([&](int n) {
                    for (int i = 0; i < n; ++i) Orvo::SingleLock lock(cs);
                }));
    std::printf("std::mutex lock+unlock:       %12.0f /s (reference)\n", Rate([&](int n) {
                    for (int i = 0; i < n; ++i) std::lock_guard<std::mutex> lock(plain);
                }));
    std::printf("Mutex (unnamed) lock+unlock:  %12.0f /s\n", Rate([&](int n) {
                    for (int i = 0; i < n; ++i) Orvo::SingleLock lock(unnamed);
                }));
    Orvo::Mutex named("velmar-bench-" + std::to_string(getpid()));
    std::printf("Mutex (named) lock+unlock:    %12.0f /s\n", Rate(
                                                                 [&](int n) {
                                                                     for (int i = 0; i < n; ++i)
                                                                         Orvo::SingleLock lock(named);
                                                                 },
                                                                 100));
    unlink(Orvo::Mutex::LockFilePathFor(named.GetName()).c_str());

    // Four threads on one critical section.
    long counter = 0;
    auto start = Clock::now();
    std::vector<std::thread> threads;
    const int perThread = 200000;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < perThread; ++i)
            {
                Orvo::SingleLock lock(cs);
                ++counter;
            }
        });
    for (auto& t : threads) t.join();
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("CriticalSection, 4 threads contending: %10.0f locks/s\n", 4.0 * perThread / s);
}

void CodePages()
{
    std::string text;
    while (text.size() < (4u << 20))
        text += "Caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
                "e, 12 \xE2\x82\xAC; ";
    std::string narrow, wide;
    double mbps = Rate(
                      [&](int n) {
                          for (int i = 0; i < n; ++i)
                              Platform::ConvertCodePage(Platform::kCodePageUtf8, 1252, text, &narrow);
                      },
                      1) *
                  text.size() / 1e6;
    std::printf("UTF-8 -> 1252:     %8.1f MB/s of input\n", mbps);
    mbps = Rate(
               [&](int n) {
                   for (int i = 0; i < n; ++i)
                       Platform::ConvertCodePage(Platform::kCodePageUtf8, Platform::kCodePageUtf16LE, text, &wide);
               },
               1) *
           text.size() / 1e6;
    std::printf("UTF-8 -> UTF-16LE: %8.1f MB/s of input\n", mbps);
    std::string shortText = "Caf\xC3\xA9";
    std::printf("short string UTF-8 -> 1252: %10.0f conversions/s\n", Rate([&](int n) {
                    for (int i = 0; i < n; ++i)
                        Platform::ConvertCodePage(Platform::kCodePageUtf8, 1252, shortText, &narrow);
                }));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1) g_seconds = std::max(0.05, std::atof(argv[1]));
    Sockets();
    Locks();
    CodePages();
    return 0;
}
