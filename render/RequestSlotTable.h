#pragma once
// The claims that threads make on background requests they run or wait for themselves: a table of eight
// slots, one per claimed request. A thread that claims a request another thread holds waits until that
// one gives it back and then takes the slot over; at most eight requests are claimed at a time, and a
// thread claiming a ninth waits until a slot is free.
//
// All slot state lives under one lock, and every wait (for the holder of the same request, or for a free
// slot) is a wait on that lock's condition: a thread never waits while holding anything a releasing
// thread needs, so threads that each hold one request at a time cannot deadlock, however many requests
// they share. A slot that threads wait for stays reserved for its request until the last of them has had
// it, so a waiter never ends up holding a slot that another request has taken over.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

class RequestSlotTable
{
public:
    static constexpr size_t kSlots = 8;

    // Returns when the calling thread holds the slot of `request`.
    void LockRequest(const void* request);
    // Gives the slot of `request` back; nothing when the request holds no slot.
    void UnlockRequest(const void* request);

    // How many requests hold a slot, and how many threads are waiting to claim one.
    size_t HeldCount() const;
    size_t WaitingCount() const;

private:
    struct Slot
    {
        const void* request = nullptr;
        bool held = false;
        uint32_t waiters = 0;  // threads waiting for this request's holder
    };

    mutable std::mutex lock_;
    std::condition_variable changed_;
    Slot slots_[kSlots];
    size_t waiting_ = 0;
};
