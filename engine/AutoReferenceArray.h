#pragma once

#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <new>

namespace Orvo {

// A fixed-capacity array of counted elements (usually AutoReference<T>) whose storage is shared between
// copies: a mesh definition and all its instances hold the same chunk and material list. Copying shares the
// storage and adds a use; the last holder to let go destroys the elements (releasing what they refer to)
// and frees the storage.
template <class E>
class AutoReferenceArray
{
public:
    AutoReferenceArray() = default;
    AutoReferenceArray(const AutoReferenceArray& other) : store_(other.store_) { AddUse(); }
    AutoReferenceArray(AutoReferenceArray&& other) noexcept : store_(other.store_) { other.store_ = nullptr; }
    ~AutoReferenceArray() { Release(); }

    AutoReferenceArray& operator=(const AutoReferenceArray& other)
    {
        if (store_ != other.store_)
        {
            Store* old = store_;
            store_ = other.store_;
            AddUse();
            DropUse(old);
        }
        return *this;
    }
    AutoReferenceArray& operator=(AutoReferenceArray&& other) noexcept
    {
        if (this != &other)
        {
            Store* old = store_;
            store_ = other.store_;
            other.store_ = nullptr;
            DropUse(old);
        }
        return *this;
    }

    // Lets go of any storage held and makes new, unshared storage for `capacity` elements, none used yet.
    void Create(size_t capacity)
    {
        Release();
        void* raw = ::operator new(sizeof(Store) + capacity * sizeof(E));
        store_ = new (raw) Store();
        store_->capacity = capacity;
    }

    // Drops this holder's use; the storage goes with its last use.
    void Release()
    {
        DropUse(store_);
        store_ = nullptr;
    }

    // Appends an element. False when there is no storage or it is full (the capacity is fixed so that
    // every holder keeps seeing the same storage).
    bool Append(const E& element)
    {
        if (!store_ || store_->count >= store_->capacity) return false;
        new (&store_->Items()[store_->count]) E(element);
        ++store_->count;
        return true;
    }

    // Destroys the last element; nothing when empty.
    void RemoveLast()
    {
        if (!store_ || store_->count == 0) return;
        --store_->count;
        store_->Items()[store_->count].~E();
    }

    // Gives this holder its own copy of the storage when others share it (each element copied, so each
    // referenced object gains a reference).
    void MakeUnique()
    {
        if (!store_ || store_->uses.load(std::memory_order_acquire) == 1) return;
        AutoReferenceArray copy;
        copy.Create(store_->capacity);
        for (size_t i = 0; i < store_->count; ++i) copy.Append(store_->Items()[i]);
        *this = std::move(copy);
    }

    size_t Count() const { return store_ ? store_->count : 0; }
    size_t Capacity() const { return store_ ? store_->capacity : 0; }
    bool HasStorage() const { return store_ != nullptr; }
    long UseCount() const { return store_ ? store_->uses.load(std::memory_order_acquire) : 0; }
    bool SharesStorageWith(const AutoReferenceArray& other) const { return store_ && store_ == other.store_; }

    E& operator[](size_t i)
    {
        assert(i < Count());
        return store_->Items()[i];
    }
    const E& operator[](size_t i) const
    {
        assert(i < Count());
        return store_->Items()[i];
    }
    E* begin() { return store_ ? store_->Items() : nullptr; }
    E* end() { return store_ ? store_->Items() + store_->count : nullptr; }
    const E* begin() const { return store_ ? store_->Items() : nullptr; }
    const E* end() const { return store_ ? store_->Items() + store_->count : nullptr; }

private:
    struct Store
    {
        std::atomic<long> uses{1};
        size_t count = 0;
        size_t capacity = 0;
        E* Items() { return reinterpret_cast<E*>(this + 1); }
    };
    static_assert(alignof(E) <= alignof(Store), "element alignment exceeds the storage header's");

    void AddUse()
    {
        if (store_) store_->uses.fetch_add(1, std::memory_order_relaxed);
    }
    static void DropUse(Store* store)
    {
        if (!store || store->uses.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
        for (size_t i = store->count; i > 0; --i) store->Items()[i - 1].~E();
        store->~Store();
        ::operator delete(store);
    }

    Store* store_ = nullptr;
};

}  // namespace Orvo
