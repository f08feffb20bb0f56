#pragma once
// A set of KUIDs in one open-addressed table (linear probing): inserting costs no allocation but the table's
// occasional growth, which matters where every asset of a large installation passes through it.
#include "core/KUID.h"

#include <cstdint>
#include <vector>

class KUIDSet
{
public:
    // True when `k` was not in the set yet.
    bool Insert(const KUID& k)
    {
        if ((size_ + 1) * 2 > slots_.size()) Grow();
        const size_t mask = slots_.size() - 1;
        for (size_t i = k.Hash() & mask;; i = (i + 1) & mask)
        {
            if (!used_[i])
            {
                used_[i] = 1;
                slots_[i] = k;
                ++size_;
                return true;
            }
            if (slots_[i] == k) return false;
        }
    }
    bool Contains(const KUID& k) const
    {
        if (slots_.empty()) return false;
        const size_t mask = slots_.size() - 1;
        for (size_t i = k.Hash() & mask; used_[i]; i = (i + 1) & mask)
            if (slots_[i] == k) return true;
        return false;
    }
    size_t Size() const { return size_; }
    void Clear()
    {
        slots_.clear();
        used_.clear();
        size_ = 0;
    }

private:
    void Grow()
    {
        std::vector<KUID> old;
        std::vector<uint8_t> oldUsed;
        old.swap(slots_);
        oldUsed.swap(used_);
        const size_t capacity = old.empty() ? 64 : old.size() * 2;
        slots_.resize(capacity);
        used_.assign(capacity, 0);
        size_ = 0;
        for (size_t i = 0; i < old.size(); ++i)
            if (oldUsed[i]) Insert(old[i]);
    }

    std::vector<KUID> slots_;
    std::vector<uint8_t> used_;
    size_t size_ = 0;
};
