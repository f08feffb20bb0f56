#include "engine/PString.h"

#include "engine/TextCase.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace Orvo {

namespace {

// The node's state word (PStringNode::state).
constexpr uint64_t kRefMask = 0xFFFFFFFFu;
constexpr uint64_t kUseUnit = uint64_t(1) << 32;
constexpr uint64_t kUsesMask = ((uint64_t(1) << 30) - 1) << 32;
constexpr uint64_t kPinnedBit = uint64_t(1) << 62;
// A node whose count went to 0 and that a collection took out of the table; never counted up again.
constexpr uint64_t kDeadBit = uint64_t(1) << 63;
PStringNode* const kTombstone = reinterpret_cast<PStringNode*>(uintptr_t(1));

PStringNode* NewNode(std::string_view text, size_t hash)
{
    void* mem = std::malloc(sizeof(PStringNode) + text.size());
    if (!mem) throw std::bad_alloc();
    auto* node = new (mem) PStringNode;
    node->state.store(1 + kUseUnit, std::memory_order_relaxed);
    node->length = static_cast<uint32_t>(text.size());
    node->hash = hash;
    if (!text.empty()) std::memcpy(node->text, text.data(), text.size());
    node->text[text.size()] = '\0';
    return node;
}

void FreeNode(PStringNode* node)
{
    node->~PStringNode();
    std::free(node);
}

enum class Use
{
    Gone,     // a collection has taken the node
    Counted,  // counted up (or pinned: nothing to count)
    PinDue,   // counted up, and this was the interning that makes it a candidate for pinning
};

// Counts an interning of the node: one reference, and one use until it is pinned or due for it.
Use CountUse(PStringNode* node)
{
    uint64_t s = node->state.load(std::memory_order_relaxed);
    for (;;)
    {
        if (s & kPinnedBit) return Use::Counted;
        if (s & kDeadBit) return Use::Gone;
        const uint64_t uses = (s & kUsesMask) >> 32;
        const uint64_t next = s + 1 + (uses < PStringCache::kInternsToPin ? kUseUnit : 0);
        if (node->state.compare_exchange_weak(s, next, std::memory_order_acquire, std::memory_order_relaxed))
            return uses + 1 == PStringCache::kInternsToPin ? Use::PinDue : Use::Counted;
    }
}

// ---- readers without a lock ----
//
// Lookups read the tables without taking a lock. A thread marks each lookup in a slot of its own (an odd
// number while inside, even outside), so a collection that has taken nodes or tables out of use frees them
// only once every lookup that may still see them has ended. Each thread writes only its own slot, so
// lookups on many threads do not contend.

struct alignas(64) ReaderSlot
{
    std::atomic<uint64_t> sequence{0};
};

}  // namespace

// The cache's readers: one slot per thread that looks up. Never freed, like the cache.
struct PStringReaders
{
    std::mutex lock;
    std::vector<ReaderSlot*> all;  // never freed: a slot is handed to the next new thread
    std::vector<ReaderSlot*> free;

    ReaderSlot* Take()
    {
        std::lock_guard guard(lock);
        if (!free.empty())
        {
            ReaderSlot* slot = free.back();
            free.pop_back();
            return slot;
        }
        all.push_back(new ReaderSlot());
        return all.back();
    }

    void Give(ReaderSlot* slot)
    {
        std::lock_guard guard(lock);
        free.push_back(slot);
    }

    // Waits until every lookup that was under way when this was called has ended.
    void WaitForReaders()
    {
        std::vector<std::pair<ReaderSlot*, uint64_t>> busy;
        {
            std::lock_guard guard(lock);
            for (ReaderSlot* slot : all)
            {
                uint64_t s = slot->sequence.load(std::memory_order_seq_cst);
                if (s & 1) busy.emplace_back(slot, s);
            }
        }
        for (auto& [slot, s] : busy)
            while (slot->sequence.load(std::memory_order_acquire) == s) std::this_thread::yield();
    }
};

namespace {

thread_local ReaderSlot* t_slot = nullptr;
thread_local bool t_slotGone = false;

struct ReaderSlotOwner
{
    PStringReaders* readers = nullptr;
    ~ReaderSlotOwner()
    {
        if (t_slot && readers) readers->Give(t_slot);
        t_slot = nullptr;
        t_slotGone = true;
    }
};

// This thread's slot among the cache's readers; null once the thread is ending (its lookups then take the
// lock).
ReaderSlot* ThreadSlot(PStringReaders& readers)
{
    if (t_slot || t_slotGone) return t_slot;
    static thread_local ReaderSlotOwner owner;
    owner.readers = &readers;
    t_slot = readers.Take();
    return t_slot;
}

class ReadSection
{
public:
    explicit ReadSection(ReaderSlot* slot) : slot_(slot)
    {
        // Sequentially consistent, as are the table reads after it and a collection's unlinking and its reads of
        // the marks: either the collection sees this mark or this lookup sees the table without the node.
        slot_->sequence.store(slot_->sequence.load(std::memory_order_relaxed) + 1, std::memory_order_seq_cst);
    }
    ~ReadSection()
    {
        slot_->sequence.store(slot_->sequence.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    ReadSection(const ReadSection&) = delete;
    ReadSection& operator=(const ReadSection&) = delete;

private:
    ReaderSlot* slot_;
};

}  // namespace

// An open-addressed table of nodes (linear probing). Slots are written under the shard's lock and read
// without it; a table that grows is replaced whole and the old one kept until the next collection.
struct PStringCache::Table
{
    size_t mask;
    std::unique_ptr<std::atomic<PStringNode*>[]> slots;

    explicit Table(size_t capacity) : mask(capacity - 1), slots(new std::atomic<PStringNode*>[capacity])
    {
        for (size_t i = 0; i < capacity; ++i) slots[i].store(nullptr, std::memory_order_relaxed);
    }
    size_t Capacity() const { return mask + 1; }

    PStringNode* Find(std::string_view text, size_t hash) const
    {
        for (size_t i = hash & mask;; i = (i + 1) & mask)
        {
            PStringNode* n = slots[i].load(std::memory_order_seq_cst);
            if (!n) return nullptr;
            if (n != kTombstone && n->hash == hash && n->View() == text) return n;
        }
    }

    // Only under the shard's lock, with room left.
    void Insert(PStringNode* node)
    {
        size_t i = node->hash & mask;
        while (slots[i].load(std::memory_order_relaxed) != nullptr) i = (i + 1) & mask;
        slots[i].store(node, std::memory_order_seq_cst);
    }
};

struct alignas(128) PStringCache::Shard
{
    std::mutex lock;
    std::atomic<Table*> table{nullptr};
    size_t live = 0;  // nodes in the table
    size_t used = 0;  // slots taken: nodes and tombstones
    std::vector<Table*> retired;

    static constexpr size_t kMinCapacity = 16;

    Shard() : table(new Table(kMinCapacity)) {}

    // Under the lock: a table with room for one more node (a new one, tombstones dropped, when this is full).
    Table* Room()
    {
        Table* t = table.load(std::memory_order_relaxed);
        if ((used + 1) * 2 <= t->Capacity()) return t;
        size_t capacity = kMinCapacity;
        while (capacity < (live + 1) * 4) capacity *= 2;
        Table* grown = new Table(capacity);
        for (size_t i = 0; i < t->Capacity(); ++i)
        {
            PStringNode* n = t->slots[i].load(std::memory_order_relaxed);
            if (n && n != kTombstone) grown->Insert(n);
        }
        table.store(grown, std::memory_order_seq_cst);
        retired.push_back(t);
        used = live;
        return grown;
    }
};

PStringCache::PStringCache() : readers_(new PStringReaders), shards_(new Shard[kShards])
{
    empty_ = Intern(std::string_view());  // every default and moved-from handle holds it: pinned from the start
    empty_->state.fetch_or(kPinnedBit, std::memory_order_relaxed);
}

PStringCache& PStringCache::Instance()
{
    // Process-wide: the one interning table, so that equal names are one node. Deliberately leaked: interned
    // strings held by other statics may be released during exit.
    static PStringCache* cache = new PStringCache();
    return *cache;
}

PStringNode* PStringCache::Intern(std::string_view text)
{
    if (text.size() > UINT32_MAX) throw std::length_error("PString too long");
    if (text.empty() && empty_) return empty_;
    size_t hash = std::hash<std::string_view>{}(text);
    Shard& shard = shards_[(hash >> 7) % kShards];
    if (ReaderSlot* slot = ThreadSlot(*readers_))
    {
        ReadSection section(slot);
        PStringNode* n = shard.table.load(std::memory_order_seq_cst)->Find(text, hash);
        if (n)
        {
            const Use use = CountUse(n);
            if (use == Use::PinDue) TryPin(n);
            if (use != Use::Gone) return n;
        }
    }
    std::lock_guard<std::mutex> guard(shard.lock);
    // Under the lock no node in the table has been taken by a collection.
    if (PStringNode* n = shard.table.load(std::memory_order_relaxed)->Find(text, hash))
    {
        if (CountUse(n) == Use::PinDue) TryPin(n);
        return n;
    }
    PStringNode* node = NewNode(text, hash);
    shard.Room()->Insert(node);
    ++shard.live;
    ++shard.used;
    return node;
}

// A pinned node is only read: threads holding the same names share its cache line instead of passing it
// from one to the other with every handle made and dropped.
void PStringCache::AddRef(PStringNode* node)
{
    if (!(node->state.load(std::memory_order_relaxed) & kPinnedBit))
        node->state.fetch_add(1, std::memory_order_relaxed);
}

void PStringCache::Release(PStringNode* node)
{
    // A node at zero stays in the table until CollectGarbage, so re-interning common names is cheap. A handle
    // made before its node was pinned may still count it down; the pinning handle's own reference is never
    // given back, so a pinned node never reaches zero.
    if (!(node->state.load(std::memory_order_relaxed) & kPinnedBit))
        node->state.fetch_sub(1, std::memory_order_acq_rel);
}

bool PStringCache::TryPin(PStringNode* node)
{
    // The caller holds a reference, so no collection can take the node meanwhile.
    size_t names = pinnedNames_.load(std::memory_order_relaxed);
    do
        if (names >= kPinnedNamesBudget) return false;
    while (!pinnedNames_.compare_exchange_weak(names, names + 1, std::memory_order_relaxed));
    const size_t bytes = sizeof(PStringNode) + node->length;
    size_t held = pinnedBytes_.load(std::memory_order_relaxed);
    do
        if (held + bytes > kPinnedBytesBudget)
        {
            pinnedNames_.fetch_sub(1, std::memory_order_relaxed);
            return false;
        }
    while (!pinnedBytes_.compare_exchange_weak(held, held + bytes, std::memory_order_relaxed));
    node->state.fetch_or(kPinnedBit, std::memory_order_relaxed);
    return true;
}

bool PStringCache::IsPinned(const PStringNode* node)
{
    return (node->state.load(std::memory_order_relaxed) & kPinnedBit) != 0;
}

size_t PStringCache::PinnedCount() const { return pinnedNames_.load(std::memory_order_relaxed); }

PString PStringCache::Ins(const PString& s, size_t position, std::string_view text)
{
    std::string joined(s.View());
    if (position > joined.size()) position = joined.size();
    joined.insert(position, text);
    return PString(std::string_view(joined));
}

void PStringCache::Destroy(PString& s) { s = PString(); }

size_t PStringCache::CollectGarbage()
{
    std::vector<PStringNode*> dead;
    std::vector<Table*> tables;
    for (size_t i = 0; i < kShards; ++i)
    {
        Shard& shard = shards_[i];
        std::lock_guard<std::mutex> guard(shard.lock);
        Table* t = shard.table.load(std::memory_order_relaxed);
        for (size_t k = 0; k < t->Capacity(); ++k)
        {
            PStringNode* node = t->slots[k].load(std::memory_order_relaxed);
            if (!node || node == kTombstone) continue;
            uint64_t state = node->state.load(std::memory_order_seq_cst);
            if ((state & kRefMask) != 0 || (state & kPinnedBit)) continue;
            // A lookup counting the node up at this moment wins; the node then stays.
            if (!node->state.compare_exchange_strong(state, kDeadBit, std::memory_order_seq_cst)) continue;
            t->slots[k].store(kTombstone, std::memory_order_seq_cst);
            --shard.live;
            dead.push_back(node);
        }
        tables.insert(tables.end(), shard.retired.begin(), shard.retired.end());
        shard.retired.clear();
    }
    // Lookups that read a table before the nodes left it may still be looking at them.
    readers_->WaitForReaders();
    for (PStringNode* node : dead) FreeNode(node);
    for (Table* t : tables) delete t;
    return dead.size();
}

size_t PStringCache::Count() const
{
    size_t n = 0;
    for (size_t i = 0; i < kShards; ++i)
    {
        std::lock_guard<std::mutex> guard(shards_[i].lock);
        n += shards_[i].live;
    }
    return n;
}

// ---- PString ----

PString::PString() : node_(PStringCache::Instance().empty_) { PStringCache::AddRef(node_); }
PString::PString(const char* text)
    : node_(PStringCache::Instance().Intern(text ? std::string_view(text) : std::string_view()))
{}
PString::PString(const char* text, size_t length)
    : node_(PStringCache::Instance().Intern(std::string_view(text ? text : "", text ? length : 0)))
{}
PString::PString(std::string_view text) : node_(PStringCache::Instance().Intern(text)) {}
PString::PString(const PString& other) : node_(other.node_) { PStringCache::AddRef(node_); }
PString::PString(PString&& other) noexcept : node_(other.node_)
{
    other.node_ = PStringCache::Instance().empty_;
    PStringCache::AddRef(other.node_);
}
PString::~PString() { PStringCache::Release(node_); }

PString& PString::operator=(const PString& other)
{
    if (node_ != other.node_)
    {
        PStringCache::AddRef(other.node_);
        PStringCache::Release(node_);
        node_ = other.node_;
    }
    return *this;
}

PString& PString::operator=(PString&& other) noexcept
{
    std::swap(node_, other.node_);
    return *this;
}

const PString& PString::Empty()
{
    static const PString* const empty = new PString();  // never changes: the interned empty text
    return *empty;
}

int PString::CompareNoCase(const PString& o) const
{
    return node_ == o.node_ ? 0 : CompareTextNoCase(View(), o.View());
}
int PString::CompareNoCase(std::string_view text) const { return CompareTextNoCase(View(), text); }

int PString::Find(std::string_view text, int start) const { return FindText(View(), text, start, false); }
int PString::FindNoCase(std::string_view text, int start) const { return FindText(View(), text, start, true); }

PString PString::ToLower() const
{
    std::string lower(View());
    if (!LowerInPlace(lower)) return *this;
    return PString(std::string_view(lower));
}

PString PString::ToUpper() const
{
    std::string upper(View());
    if (!UpperInPlace(upper)) return *this;
    return PString(std::string_view(upper));
}

}  // namespace Orvo
