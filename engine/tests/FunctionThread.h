#pragma once
// An engine thread that runs a function; joined when it goes out of scope.
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "engine/Thread.h"

class FunctionThread : public Orvo::Thread
{
public:
    explicit FunctionThread(std::function<uint32_t()> body) : body_(std::move(body)) {}
    ~FunctionThread() override { Join(); }

protected:
    uint32_t Run() override { return body_(); }

private:
    std::function<uint32_t()> body_;
};

// Starts `count` threads that each run `body`; an empty list when one could not be started.
inline std::vector<std::unique_ptr<FunctionThread>> StartThreads(int count, const std::function<uint32_t()>& body)
{
    std::vector<std::unique_ptr<FunctionThread>> threads(count);
    for (auto& t : threads)
        if (!(t = std::make_unique<FunctionThread>(body))->Start()) return {};
    return threads;
}
