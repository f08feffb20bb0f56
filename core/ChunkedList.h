#pragma once
// A list kept in a ring of fixed-size chunks (each with next and previous links, a use count and the
// entries), in insertion order. Adding fills the last chunk and links a new one after it when it is full;
// search is linear. Entries never move once added, so iterators stay valid while the list only grows.
#include <cstddef>
#include <type_traits>
#include <utility>

template <typename T, size_t ChunkSize = 128>
class ChunkedList
{
    static_assert(ChunkSize > 0);

public:
    struct Chunk
    {
        Chunk* next;
        Chunk* prev;
        size_t used;
        T entries[ChunkSize];
    };

    // Position of one entry: the entry's chunk and index, plus the list's first chunk so that walking can
    // tell where the ring ends. A null iterator has no chunk.
    class Iterator
    {
    public:
        Iterator() = default;
        Iterator(Chunk* first, Chunk* chunk, size_t index) : first_(first), chunk_(chunk), index_(index) {}

        bool IsNull() const { return chunk_ == nullptr; }
        explicit operator bool() const { return chunk_ != nullptr; }
        T& operator*() const { return chunk_->entries[index_]; }
        T* operator->() const { return &chunk_->entries[index_]; }
        T* Get() const { return chunk_ ? &chunk_->entries[index_] : nullptr; }

        // Moves forward by n entries across chunks; past the last entry the iterator becomes null.
        // A negative n moves backward.
        Iterator& Advance(ptrdiff_t n)
        {
            if (n < 0) return Retreat(-n);
            while (chunk_ && n > 0)
            {
                size_t left = chunk_->used - index_ - 1;  // entries after this one in its chunk
                if (static_cast<size_t>(n) <= left)
                {
                    index_ += static_cast<size_t>(n);
                    return *this;
                }
                n -= static_cast<ptrdiff_t>(left) + 1;
                chunk_ = chunk_->next;
                index_ = 0;
                if (chunk_ == first_ || chunk_->used == 0)
                {
                    chunk_ = nullptr;
                    return *this;
                }
            }
            return *this;
        }
        // Moves backward by n entries across chunks; before the first entry the iterator becomes null.
        // A negative n moves forward.
        Iterator& Retreat(ptrdiff_t n)
        {
            if (n < 0) return Advance(-n);
            while (chunk_ && n > 0)
            {
                if (static_cast<size_t>(n) <= index_)
                {
                    index_ -= static_cast<size_t>(n);
                    return *this;
                }
                n -= static_cast<ptrdiff_t>(index_) + 1;
                if (chunk_ == first_)
                {
                    chunk_ = nullptr;
                    return *this;
                }
                chunk_ = chunk_->prev;
                index_ = chunk_->used - 1;
            }
            return *this;
        }
        Iterator& operator++() { return Advance(1); }
        Iterator& operator--() { return Retreat(1); }

        friend bool operator==(const Iterator& a, const Iterator& b)
        {
            return a.chunk_ == b.chunk_ && (a.chunk_ == nullptr || a.index_ == b.index_);
        }
        friend bool operator!=(const Iterator& a, const Iterator& b) { return !(a == b); }

    private:
        Chunk* first_ = nullptr;
        Chunk* chunk_ = nullptr;
        size_t index_ = 0;
    };
    using iterator = Iterator;

    ChunkedList() = default;
    ~ChunkedList() { Clear(); }
    ChunkedList(const ChunkedList& o)
    {
        for (const T& v : o) Add(v);
    }
    ChunkedList& operator=(const ChunkedList& o)
    {
        if (this != &o)
        {
            Clear();
            for (const T& v : o) Add(v);
        }
        return *this;
    }
    ChunkedList(ChunkedList&& o) noexcept : head_(std::exchange(o.head_, nullptr)), count_(std::exchange(o.count_, 0))
    {}
    ChunkedList& operator=(ChunkedList&& o) noexcept
    {
        if (this != &o)
        {
            Clear();
            head_ = std::exchange(o.head_, nullptr);
            count_ = std::exchange(o.count_, 0);
        }
        return *this;
    }

    size_t Count() const { return count_; }
    size_t size() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }

    T& Add(const T& value) { return *Slot() = value, Back(); }
    T& Add(T&& value) { return *Slot() = std::move(value), Back(); }

    Iterator First() const { return head_ && head_->used ? Iterator(head_, head_, 0) : Iterator(); }
    Iterator Last() const
    {
        if (!head_ || count_ == 0) return Iterator();
        return Iterator(head_, head_->prev, head_->prev->used - 1);
    }
    Iterator begin() const { return First(); }
    Iterator end() const { return Iterator(); }

    // The first entry equal to value, or a null iterator.
    template <typename U>
    Iterator Find(const U& value) const
    {
        for (Iterator it = First(); it; it.Advance(1))
            if (*it == value) return it;
        return Iterator();
    }

    // The entry at a position counted from 0 (linear walk over the chunks); null when out of range.
    Iterator At(size_t index) const
    {
        if (index >= count_) return Iterator();
        Chunk* c = head_;
        while (index >= c->used)
        {
            index -= c->used;
            c = c->next;
        }
        return Iterator(head_, c, index);
    }

    // Frees every chunk.
    void Clear()
    {
        if (!head_) return;
        Chunk* c = head_;
        do
        {
            Chunk* next = c->next;
            delete c;
            c = next;
        } while (c != head_);
        head_ = nullptr;
        count_ = 0;
    }

    // For lists of owning pointers: deletes every non-null object, then frees all chunks.
    void DeleteAll()
    {
        static_assert(std::is_pointer_v<T>, "DeleteAll is for lists of pointers");
        for (Iterator it = First(); it; it.Advance(1))
        {
            delete *it;
            *it = nullptr;
        }
        Clear();
    }

private:
    T* Slot()
    {
        Chunk* last = head_ ? head_->prev : nullptr;
        if (!last || last->used == ChunkSize)
        {
            Chunk* c = new Chunk{nullptr, nullptr, 0, {}};
            if (!head_)
            {
                c->next = c->prev = c;
                head_ = c;
            }
            else
            {
                c->prev = last;
                c->next = head_;
                last->next = c;
                head_->prev = c;
            }
            last = c;
        }
        ++count_;
        return &last->entries[last->used++];
    }
    T& Back() { return head_->prev->entries[head_->prev->used - 1]; }

    Chunk* head_ = nullptr;
    size_t count_ = 0;
};
