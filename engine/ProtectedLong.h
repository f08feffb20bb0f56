#pragma once
// A long that threads may change at once: every operation is atomic and returns the new value.
#include <atomic>

namespace Orvo {

class ProtectedLong
{
public:
    ProtectedLong(long value = 0) : value_(value) {}
    ProtectedLong(const ProtectedLong& other) : value_(other.Get()) {}
    ProtectedLong& operator=(const ProtectedLong& other)
    {
        Set(other.Get());
        return *this;
    }
    ProtectedLong& operator=(long value)
    {
        Set(value);
        return *this;
    }

    long Increment() { return value_.fetch_add(1) + 1; }
    long Decrement() { return value_.fetch_sub(1) - 1; }
    long Add(long delta) { return value_.fetch_add(delta) + delta; }
    long Exchange(long value) { return value_.exchange(value); }  // returns the old value
    // Sets `desired` when the value equals `expected`; returns the value found.
    long CompareExchange(long expected, long desired);
    long Get() const { return value_.load(); }
    void Set(long value) { value_.store(value); }
    operator long() const { return Get(); }

private:
    std::atomic<long> value_;
};

}  // namespace Orvo
