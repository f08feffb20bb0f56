#pragma once
// A map from exact 3-D float positions to values (used to weld identical vertices), kept as a k-d tree
// over its leading entries plus an unsorted tail of recent inserts; and the block allocator that holds
// its entries.
//
// Rebuild policies (insert and query): -1 never, -2 always, -3 adaptive (the default), n >= 0 rebuild
// when the counter exceeds n. Adaptive keeps the tree while the inserts since the last build are below
// 1001 and (below 11 or at most an eighth of the built count); for the query policy, while the deleted
// counter is below 11 or at most a quarter of the built count.
#include "render/StepArray.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

// Blocks of `perBlock` elements of `size` bytes; blocks are reused when the chain is reset and freed
// only with the chain.
class VLMemoryChain
{
public:
    VLMemoryChain(size_t elementSize, size_t perBlock) : size_(elementSize), perBlock_(perBlock) {}
    virtual ~VLMemoryChain()
    {
        Block* b = first_;
        while (b)
        {
            Block* next = b->next;
            delete[] b->storage;
            delete b;
            b = next;
        }
    }
    VLMemoryChain(const VLMemoryChain&) = delete;
    VLMemoryChain& operator=(const VLMemoryChain&) = delete;

    void* Allocate()
    {
        if (current_ == nullptr || current_->cursor + size_ > current_->end) StartBlock();
        void* at = current_->cursor;
        current_->cursor += size_;
        return at;
    }
    // Forgets every allocation: the blocks are reused from the first.
    void Reset()
    {
        for (Block* b = first_; b; b = b->next) b->cursor = b->start;
        current_ = first_;
    }
    size_t BlockCount() const
    {
        size_t n = 0;
        for (Block* b = first_; b; b = b->next) ++n;
        return n;
    }

private:
    struct Block
    {
        Block* next = nullptr;
        Block* previous = nullptr;
        unsigned char* cursor = nullptr;
        unsigned char* start = nullptr;
        unsigned char* end = nullptr;
        unsigned char* storage = nullptr;
    };
    void StartBlock()
    {
        if (current_ && current_->next)
        {
            current_ = current_->next;
            current_->cursor = current_->start;
            return;
        }
        auto* b = new Block();
        b->storage = new unsigned char[size_ * perBlock_];
        b->start = b->cursor = b->storage;
        b->end = b->storage + size_ * perBlock_;
        b->previous = current_;
        if (current_)
            current_->next = b;
        else
            first_ = b;
        current_ = b;
    }

    size_t size_;
    size_t perBlock_;
    Block* first_ = nullptr;
    Block* current_ = nullptr;
};

template <class Value = int, class Key = float, int Dimensions = 3, size_t PerBlock = 4000>
class VLMapKDTree
{
public:
    enum Policy : int32_t
    {
        Never = -1,
        Always = -2,
        Adaptive = -3,
    };

    struct Entry
    {
        Key key[Dimensions];
        uint8_t axis;  // 255: none
        uint8_t deleted;
        Value value;
    };

    // The entry list grows by the adaptive step: a step of one entry would copy the whole list on every
    // insert.
    VLMapKDTree() : entries_(0), chain_(sizeof(Entry), PerBlock) {}
    virtual ~VLMapKDTree() = default;

    void SetInsertRebuildPolicy(int32_t p) { insertPolicy_ = p; }
    void SetQueryRebuildPolicy(int32_t p) { queryPolicy_ = p; }
    void SetRebuildAtQuery(bool on) { rebuildAtQuery_ = on; }

    void Insert(const Key (&key)[Dimensions], Value value)
    {
        Entry* e = freeList_;
        if (e)
            freeList_ = *reinterpret_cast<Entry**>(e);
        else
            e = static_cast<Entry*>(chain_.Allocate());
        for (int d = 0; d < Dimensions; ++d) e->key[d] = key[d];
        e->axis = 255;
        e->deleted = 0;
        e->value = value;
        entries_.PushBack(e);
        ++insertsSinceBuild_;
        if (!rebuildAtQuery_ && InsertsAskRebuild()) Rebuild();
    }

    // Clears `results` and appends the value of every entry whose key equals `key` in every component;
    // returns how many.
    size_t Find(const Key (&key)[Dimensions], StepArray<Value>& results)
    {
        results.Clear();
        if (rebuildAtQuery_ && (InsertsAskRebuild() || QueriesAskRebuild())) Rebuild();
        for (int d = 0; d < Dimensions; ++d)
            if (std::isnan(key[d])) return 0;  // not a number equals nothing
        std::vector<std::pair<size_t, size_t>> ranges;
        if (built_ > 0) ranges.emplace_back(0, built_ - 1);
        while (!ranges.empty())
        {
            auto [lo, hi] = ranges.back();
            ranges.pop_back();
            while (lo <= hi)
            {
                const size_t mid = (lo + hi) / 2;
                const Entry* e = entries_[mid];
                const Key delta = key[e->axis] - e->key[e->axis];
                if (delta < 0)
                {
                    if (mid == 0) break;
                    hi = mid - 1;
                }
                else if (delta > 0)
                    lo = mid + 1;
                else
                {
                    // Equal on the split axis (or not comparable): both sides may hold equal keys.
                    if (delta == 0 && Matches(*e, key)) results.PushBack(e->value);
                    if (mid > lo) ranges.emplace_back(lo, mid - 1);
                    lo = mid + 1;
                }
            }
        }
        for (size_t i = built_; i < entries_.Count(); ++i)
            if (Matches(*entries_[i], key)) results.PushBack(entries_[i]->value);
        return results.Count();
    }

    void Rebuild()
    {
        built_ = entries_.Count();
        insertsSinceBuild_ = 0;
        deletedCount_ = 0;
        if (built_ == 0) return;
        std::vector<std::pair<size_t, size_t>> ranges{{0, built_ - 1}};
        Entry** data = entries_.Data();
        while (!ranges.empty())
        {
            auto [lo, hi] = ranges.back();
            ranges.pop_back();
            if (lo == hi)
            {
                data[lo]->axis = 0;
                continue;
            }
            Key low[Dimensions], high[Dimensions];
            for (int d = 0; d < Dimensions; ++d) low[d] = high[d] = data[lo]->key[d];
            for (size_t i = lo + 1; i <= hi; ++i)
                for (int d = 0; d < Dimensions; ++d)
                {
                    low[d] = std::min(low[d], data[i]->key[d]);
                    high[d] = std::max(high[d], data[i]->key[d]);
                }
            int axis = 0;
            for (int d = 1; d < Dimensions; ++d)
                if (high[d] - low[d] > high[axis] - low[axis]) axis = d;
            const size_t mid = (lo + hi) / 2;
            // Keys that are not numbers order after all others, so the selection stays well defined.
            std::nth_element(data + lo, data + mid, data + hi + 1, [axis](const Entry* a, const Entry* b) {
                const Key x = a->key[axis], y = b->key[axis];
                return std::isnan(y) ? !std::isnan(x) : x < y;
            });
            data[mid]->axis = uint8_t(axis);
            if (mid > lo) ranges.emplace_back(lo, mid - 1);
            if (mid < hi) ranges.emplace_back(mid + 1, hi);
        }
    }

    size_t Count() const { return entries_.Count(); }
    size_t BuiltCount() const { return built_; }
    size_t InsertsSinceBuild() const { return insertsSinceBuild_; }

private:
    static bool Matches(const Entry& e, const Key (&key)[Dimensions])
    {
        if (e.deleted) return false;
        for (int d = 0; d < Dimensions; ++d)
            if (!(e.key[d] == key[d])) return false;
        return true;
    }
    bool InsertsAskRebuild() const
    {
        switch (insertPolicy_)
        {
        case Never: return false;
        case Always: return true;
        case Adaptive:
            return !(insertsSinceBuild_ < 1001 && (insertsSinceBuild_ < 11 || 8 * insertsSinceBuild_ <= built_));
        default: return insertPolicy_ >= 0 && insertsSinceBuild_ > size_t(insertPolicy_);
        }
    }
    bool QueriesAskRebuild() const
    {
        switch (queryPolicy_)
        {
        case Never: return false;
        case Always: return true;
        case Adaptive: return !(deletedCount_ < 11 || 4 * deletedCount_ <= built_);
        default: return queryPolicy_ >= 0 && deletedCount_ > size_t(queryPolicy_);
        }
    }

    StepArray<Entry*> entries_;
    Entry* freeList_ = nullptr;
    VLMemoryChain chain_;
    size_t built_ = 0;
    size_t insertsSinceBuild_ = 0;
    size_t deletedCount_ = 0;
    int32_t insertPolicy_ = Adaptive;
    int32_t queryPolicy_ = Adaptive;
    bool rebuildAtQuery_ = true;
};
