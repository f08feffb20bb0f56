#pragma once
// An engine thread that runs a function; joined when it goes out of scope.
#include <cstdint>
#include <functional>
#include <utility>

#include "engine/Thread.h"

class FunctionThread : public Orvo::Thread {
public:
    explicit FunctionThread(std::function<uint32_t()> body) : m_body(std::move(body)) {}
    ~FunctionThread() override { Join(); }

protected:
    uint32_t Run() override { return m_body(); }

private:
    std::function<uint32_t()> m_body;
};
