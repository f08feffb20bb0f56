#pragma once
// The (name, child) list of a container node: a growable array like a vector, which can also stand in memory
// it does not own (the arena of a tree read from text, which lives as long as the container). Changing the
// number of children of such a list first moves it to memory of its own. The list holds the names; the
// children's references are its owner's to release.
#include "engine/PString.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <utility>

class ACSChunk;

class SoupChildList
{
public:
    using Child = std::pair<Orvo::PString, ACSChunk*>;

    SoupChildList() = default;
    SoupChildList(const SoupChildList&) = delete;
    SoupChildList& operator=(const SoupChildList&) = delete;
    SoupChildList(SoupChildList&& o) noexcept : items_(o.items_), size_(o.size_), capacity_(o.capacity_)
    {
        o.items_ = nullptr;
        o.size_ = o.capacity_ = 0;
    }
    ~SoupChildList() { Drop(); }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Child& operator[](size_t i) { return items_[i]; }
    const Child& operator[](size_t i) const { return items_[i]; }
    Child* begin() { return items_; }
    Child* end() { return items_ + size_; }
    const Child* begin() const { return items_; }
    const Child* end() const { return items_ + size_; }

    void reserve(size_t n)
    {
        if (n > size_ && n > capacity_) Regrow(n);
    }
    template <typename... Args>
    Child& emplace_back(Args&&... args)
    {
        if (size_ >= capacity_) Regrow(size_ < 4 ? 4 : size_t(size_) * 2);
        Child* c = new (items_ + size_) Child(std::forward<Args>(args)...);
        ++size_;
        return *c;
    }
    // Removes the entry at i (the child's reference is the caller's to release).
    void erase(size_t i)
    {
        for (size_t k = i; k + 1 < size_; ++k) items_[k] = std::move(items_[k + 1]);
        items_[--size_].~Child();
    }
    void clear()
    {
        for (size_t i = 0; i < size_; ++i) items_[i].~Child();
        size_ = 0;
    }

    // Moves `n` entries from `from` into `memory`, room for n entries that outlives this list and that it
    // does not free. The list must be empty.
    void AdoptInto(void* memory, Child* from, size_t n)
    {
        Drop();
        items_ = static_cast<Child*>(memory);
        for (size_t i = 0; i < n; ++i) new (items_ + i) Child(std::move(from[i]));
        size_ = static_cast<uint32_t>(n);
        capacity_ = 0;
    }

private:
    // Memory of its own for at least n entries (capacity 0 with entries: memory it does not own).
    void Regrow(size_t n)
    {
        if (n > UINT32_MAX) throw std::length_error("too many children in one container");
        auto* grown = static_cast<Child*>(std::malloc(n * sizeof(Child)));
        if (!grown) throw std::bad_alloc();
        for (size_t i = 0; i < size_; ++i)
        {
            new (grown + i) Child(std::move(items_[i]));
            items_[i].~Child();
        }
        if (capacity_) std::free(items_);
        items_ = grown;
        capacity_ = static_cast<uint32_t>(n);
    }
    void Drop()
    {
        clear();
        if (capacity_) std::free(items_);
        items_ = nullptr;
        capacity_ = 0;
    }

    Child* items_ = nullptr;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
};
