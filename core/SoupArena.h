#pragma once
// Memory for the nodes of one tree read from a file: its nodes, their child lists and their longer values are
// cut one after another from a few large blocks instead of being allocated one by one, so that a tree costs
// little more memory than its text and reading it touches few fresh pages.
//
// The nodes stay ordinary counted nodes: each one can be held, changed and released on its own, by any thread,
// long after the rest of its tree has gone. The arena counts the nodes made in it that are still alive and
// frees its blocks when the last one is released. A node finds its arena by its address: blocks are aligned to
// their size, which the node keeps as a power of two (ACSChunk::arenaShift_), and each block starts with a
// pointer to its arena. What a node changes later (a new value, more children) is allocated as usual; what it
// replaced stays in the block until the block goes.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

class ACSChunk;

class SoupArena
{
public:
    // An arena for a tree read from about `textBytes` bytes of text. The builder holds it until Seal.
    static SoupArena* Create(size_t textBytes);

    // `bytes` of memory aligned to 8, valid while any node made here lives; nullptr when `bytes` is more than
    // a block should hold (the caller then allocates it the usual way).
    void* Allocate(size_t bytes);
    // A new node of type T made in the arena (T derives from ACSChunk), counted as alive.
    template <typename T>
    T* New()
    {
        void* mem = AllocateNode(sizeof(T));
        T* node = new (mem) T;
        Adopt(node);
        return node;
    }
    // Ends the building: from now on the arena lives exactly as long as the nodes made in it (it is freed at
    // once when there are none). The arena may not be used for new nodes afterwards.
    void Seal();

    // The arena of a node made in one: `node` is its address, `shift` its block's size.
    static SoupArena* Of(const void* node, uint8_t shift);
    // Called as a node made in an arena is destroyed.
    static void NodeGone(void* node, uint8_t shift);

    // Arenas that still hold nodes, in the whole process (for tests and leak checks).
    static size_t LiveArenas();

    // Blocks are between these sizes (powers of two).
    static constexpr uint8_t kMinShift = 10;
    static constexpr uint8_t kMaxShift = 20;
    // The longest piece Allocate hands out; longer ones are the caller's to allocate.
    static constexpr size_t kMaxPiece = (size_t(1) << kMaxShift) / 8;

    SoupArena(const SoupArena&) = delete;
    SoupArena& operator=(const SoupArena&) = delete;

private:
    struct Block
    {
        SoupArena* arena;
        Block* next;
    };
    // While building, the count carries this much more than the nodes alive, so that it cannot reach zero
    // before Seal.
    static constexpr int64_t kBuilding = int64_t(1) << 60;

    explicit SoupArena(uint8_t shift);
    ~SoupArena();
    void* AllocateNode(size_t bytes);
    void Adopt(ACSChunk* node);
    bool NewBlock(size_t atLeast);

    std::atomic<int64_t> live_{kBuilding};
    int64_t made_ = 0;         // nodes made (building only)
    Block* blocks_ = nullptr;  // the newest first
    char* next_ = nullptr;     // the free part of the newest block
    char* end_ = nullptr;
    uint8_t shift_;  // the size of the newest block, and at least the next one's
};
