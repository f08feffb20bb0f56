#include "render/RequestSlotTable.h"

void RequestSlotTable::LockRequest(const void* request)
{
    std::unique_lock<std::mutex> hold(lock_);
    for (;;)
    {
        Slot* mine = nullptr;
        Slot* free = nullptr;
        for (Slot& s : slots_)
        {
            if (s.request == request && (s.held || s.waiters > 0))
                mine = &s;
            else if (free == nullptr && !s.held && s.waiters == 0)
                free = &s;
        }
        if (mine != nullptr)
        {
            if (!mine->held)
            {
                mine->held = true;
                return;
            }
            ++mine->waiters;
            ++waiting_;
            changed_.wait(hold);
            --waiting_;
            --mine->waiters;
            continue;
        }
        if (free != nullptr)
        {
            free->request = request;
            free->held = true;
            return;
        }
        ++waiting_;
        changed_.wait(hold);
        --waiting_;
    }
}

void RequestSlotTable::UnlockRequest(const void* request)
{
    std::lock_guard<std::mutex> hold(lock_);
    for (Slot& s : slots_)
        if (s.request == request && s.held)
        {
            s.held = false;
            if (s.waiters == 0) s.request = nullptr;
            changed_.notify_all();
            return;
        }
}

size_t RequestSlotTable::HeldCount() const
{
    std::lock_guard<std::mutex> hold(lock_);
    size_t n = 0;
    for (const Slot& s : slots_) n += s.held ? 1 : 0;
    return n;
}

size_t RequestSlotTable::WaitingCount() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return waiting_;
}
