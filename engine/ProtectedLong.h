#pragma once
// A long that threads may change at once: every operation is atomic and returns the new value.
#include <atomic>

namespace Orvo {

class ProtectedLong {
public:
    ProtectedLong(long value = 0) : m_value(value) {}
    ProtectedLong(const ProtectedLong& other) : m_value(other.Get()) {}
    ProtectedLong& operator=(const ProtectedLong& other) { Set(other.Get()); return *this; }
    ProtectedLong& operator=(long value) { Set(value); return *this; }

    long Increment() { return m_value.fetch_add(1) + 1; }
    long Decrement() { return m_value.fetch_sub(1) - 1; }
    long Add(long delta) { return m_value.fetch_add(delta) + delta; }
    long Exchange(long value) { return m_value.exchange(value); } // returns the old value
    // Sets `desired` when the value equals `expected`; returns the value found.
    long CompareExchange(long expected, long desired);
    long Get() const { return m_value.load(); }
    void Set(long value) { m_value.store(value); }
    operator long() const { return Get(); }

private:
    std::atomic<long> m_value;
};

} // namespace Orvo
