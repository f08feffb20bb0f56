#include "core/SoupArena.h"

#include "core/ACSChunk.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr size_t kHeader = (sizeof(void*) * 2 + 7) & ~size_t(7);

inline size_t RoundUp8(size_t n) { return (n + 7) & ~size_t(7); }

// Process-wide: the nodes of one arena are released on any thread, by whoever holds them last, long after
// the reader that made it; only a count of all arenas can say that none is left behind.
std::atomic<size_t> g_liveArenas{0};

}  // namespace

SoupArena::SoupArena(uint8_t shift) : shift_(shift) { g_liveArenas.fetch_add(1, std::memory_order_relaxed); }

size_t SoupArena::LiveArenas() { return g_liveArenas.load(std::memory_order_relaxed); }

SoupArena* SoupArena::Create(size_t textBytes)
{
    // The nodes of a text take about three times its size; the first block is made for that (small files get
    // one small block), later ones double.
    uint8_t shift = kMinShift;
    while (shift < kMaxShift && (size_t(1) << shift) < textBytes * 3) ++shift;
    return new SoupArena(shift);
}

SoupArena::~SoupArena()
{
    g_liveArenas.fetch_sub(1, std::memory_order_relaxed);
    while (blocks_)
    {
        Block* next = blocks_->next;
        std::free(blocks_);
        blocks_ = next;
    }
}

bool SoupArena::NewBlock(size_t atLeast)
{
    uint8_t shift = blocks_ ? std::min<uint8_t>(shift_ + 1, kMaxShift) : shift_;
    while (shift < kMaxShift && (size_t(1) << shift) < atLeast + kHeader) ++shift;
    const size_t size = size_t(1) << shift;
    if (atLeast + kHeader > size) return false;
    void* mem = std::aligned_alloc(size, size);
    if (!mem) throw std::bad_alloc();
    auto* block = static_cast<Block*>(mem);
    block->arena = this;
    block->next = blocks_;
    blocks_ = block;
    shift_ = shift;
    next_ = static_cast<char*>(mem) + kHeader;
    end_ = static_cast<char*>(mem) + size;
    return true;
}

void* SoupArena::Allocate(size_t bytes)
{
    bytes = RoundUp8(bytes);
    if (bytes > kMaxPiece) return nullptr;
    if (static_cast<size_t>(end_ - next_) < bytes && !NewBlock(bytes)) return nullptr;
    void* p = next_;
    next_ += bytes;
    return p;
}

void* SoupArena::AllocateNode(size_t bytes)
{
    void* p = Allocate(bytes);
    if (!p) throw std::bad_alloc();  // nodes are far smaller than a block
    return p;
}

void SoupArena::Adopt(ACSChunk* node)
{
    node->arenaShift_ = shift_;
    ++made_;
}

void SoupArena::Seal()
{
    const int64_t unused = kBuilding - made_;
    if (live_.fetch_sub(unused, std::memory_order_acq_rel) == unused) delete this;
}

void SoupArena::NodeGone(void* node, uint8_t shift)
{
    SoupArena* arena = Of(node, shift);
    if (arena->live_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete arena;
}

SoupArena* SoupArena::Of(const void* node, uint8_t shift)
{
    const uintptr_t start = reinterpret_cast<uintptr_t>(node) & ~((uintptr_t(1) << shift) - 1);
    return reinterpret_cast<Block*>(start)->arena;
}
