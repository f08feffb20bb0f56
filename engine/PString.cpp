#include "engine/PString.h"

#include "engine/TextCase.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

namespace Orvo {

namespace {

struct NodeHash
{
    using is_transparent = void;
    size_t operator()(const PStringNode* n) const { return n->hash; }
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

struct NodeEqual
{
    using is_transparent = void;
    bool operator()(const PStringNode* a, const PStringNode* b) const { return a == b; }
    bool operator()(std::string_view a, const PStringNode* b) const { return a == b->View(); }
    bool operator()(const PStringNode* a, std::string_view b) const { return a->View() == b; }
};

PStringNode* NewNode(std::string_view text, size_t hash)
{
    void* mem = std::malloc(sizeof(PStringNode) + text.size());
    if (!mem) throw std::bad_alloc();
    auto* node = new (mem) PStringNode;
    node->refs.store(1, std::memory_order_relaxed);
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

}  // namespace

struct alignas(128) PStringCache::Shard
{
    std::mutex lock;
    std::unordered_set<PStringNode*, NodeHash, NodeEqual> nodes;
};

PStringCache::PStringCache() : shards_(new Shard[kShards])
{
    empty_ = Intern(std::string_view());  // this reference is never dropped
}

PStringCache& PStringCache::Instance()
{
    // Deliberately leaked: interned strings held by other statics may be released during exit.
    static PStringCache* cache = new PStringCache();
    return *cache;
}

PStringNode* PStringCache::Intern(std::string_view text)
{
    if (text.size() > UINT32_MAX) throw std::length_error("PString too long");
    size_t hash = std::hash<std::string_view>{}(text);
    Shard& shard = shards_[(hash >> 7) % kShards];
    std::lock_guard<std::mutex> guard(shard.lock);
    auto it = shard.nodes.find(text);
    if (it != shard.nodes.end())
    {
        // Under the shard lock, so a collection cannot free the node between the find and the count.
        (*it)->refs.fetch_add(1, std::memory_order_relaxed);
        return *it;
    }
    PStringNode* node = NewNode(text, hash);
    shard.nodes.insert(node);
    return node;
}

void PStringCache::AddRef(PStringNode* node) { node->refs.fetch_add(1, std::memory_order_relaxed); }

void PStringCache::Release(PStringNode* node)
{
    // A node at zero stays in the table until CollectGarbage, so re-interning common names is cheap.
    node->refs.fetch_sub(1, std::memory_order_acq_rel);
}

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
    size_t freed = 0;
    for (size_t i = 0; i < kShards; ++i)
    {
        Shard& shard = shards_[i];
        std::lock_guard<std::mutex> guard(shard.lock);
        for (auto it = shard.nodes.begin(); it != shard.nodes.end();)
        {
            PStringNode* node = *it;
            if (node->refs.load(std::memory_order_acquire) == 0)
            {
                it = shard.nodes.erase(it);
                FreeNode(node);
                ++freed;
            }
            else
            {
                ++it;
            }
        }
    }
    return freed;
}

size_t PStringCache::Count() const
{
    size_t n = 0;
    for (size_t i = 0; i < kShards; ++i)
    {
        std::lock_guard<std::mutex> guard(shards_[i].lock);
        n += shards_[i].nodes.size();
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
    static const PString* empty = new PString();
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
