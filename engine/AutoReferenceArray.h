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
class AutoReferenceArray {
public:
    AutoReferenceArray() = default;
    AutoReferenceArray(const AutoReferenceArray& other) : m_store(other.m_store) { AddUse(); }
    AutoReferenceArray(AutoReferenceArray&& other) noexcept : m_store(other.m_store) { other.m_store = nullptr; }
    ~AutoReferenceArray() { Release(); }

    AutoReferenceArray& operator=(const AutoReferenceArray& other)
    {
        if (m_store != other.m_store) {
            Store* old = m_store;
            m_store = other.m_store;
            AddUse();
            DropUse(old);
        }
        return *this;
    }
    AutoReferenceArray& operator=(AutoReferenceArray&& other) noexcept
    {
        if (this != &other) {
            Store* old = m_store;
            m_store = other.m_store;
            other.m_store = nullptr;
            DropUse(old);
        }
        return *this;
    }

    // Lets go of any storage held and makes new, unshared storage for `capacity` elements, none used yet.
    void Create(size_t capacity)
    {
        Release();
        void* raw = ::operator new(sizeof(Store) + capacity * sizeof(E));
        m_store = new (raw) Store();
        m_store->capacity = capacity;
    }

    // Drops this holder's use; the storage goes with its last use.
    void Release()
    {
        DropUse(m_store);
        m_store = nullptr;
    }

    // Appends an element. False when there is no storage or it is full (the capacity is fixed so that
    // every holder keeps seeing the same storage).
    bool Append(const E& element)
    {
        if (!m_store || m_store->count >= m_store->capacity)
            return false;
        new (&m_store->Items()[m_store->count]) E(element);
        ++m_store->count;
        return true;
    }

    // Destroys the last element; nothing when empty.
    void RemoveLast()
    {
        if (!m_store || m_store->count == 0)
            return;
        --m_store->count;
        m_store->Items()[m_store->count].~E();
    }

    // Gives this holder its own copy of the storage when others share it (each element copied, so each
    // referenced object gains a reference).
    void MakeUnique()
    {
        if (!m_store || m_store->uses.load(std::memory_order_acquire) == 1)
            return;
        AutoReferenceArray copy;
        copy.Create(m_store->capacity);
        for (size_t i = 0; i < m_store->count; ++i)
            copy.Append(m_store->Items()[i]);
        *this = std::move(copy);
    }

    size_t Count() const { return m_store ? m_store->count : 0; }
    size_t Capacity() const { return m_store ? m_store->capacity : 0; }
    bool HasStorage() const { return m_store != nullptr; }
    long UseCount() const { return m_store ? m_store->uses.load(std::memory_order_acquire) : 0; }
    bool SharesStorageWith(const AutoReferenceArray& other) const { return m_store && m_store == other.m_store; }

    E& operator[](size_t i) { assert(i < Count()); return m_store->Items()[i]; }
    const E& operator[](size_t i) const { assert(i < Count()); return m_store->Items()[i]; }
    E* begin() { return m_store ? m_store->Items() : nullptr; }
    E* end() { return m_store ? m_store->Items() + m_store->count : nullptr; }
    const E* begin() const { return m_store ? m_store->Items() : nullptr; }
    const E* end() const { return m_store ? m_store->Items() + m_store->count : nullptr; }

private:
    struct Store {
        std::atomic<long> uses{1};
        size_t count = 0;
        size_t capacity = 0;
        E* Items() { return reinterpret_cast<E*>(this + 1); }
    };
    static_assert(alignof(E) <= alignof(Store), "element alignment exceeds the storage header's");

    void AddUse()
    {
        if (m_store)
            m_store->uses.fetch_add(1, std::memory_order_relaxed);
    }
    static void DropUse(Store* store)
    {
        if (!store || store->uses.fetch_sub(1, std::memory_order_acq_rel) != 1)
            return;
        for (size_t i = store->count; i > 0; --i)
            store->Items()[i - 1].~E();
        store->~Store();
        ::operator delete(store);
    }

    Store* m_store = nullptr;
};

} // namespace Orvo
