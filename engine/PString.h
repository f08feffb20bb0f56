#pragma once
// Interned, reference-counted strings. Equal texts share one node, so equality is a pointer compare;
// tag names and keys are interned once and then compared by identity everywhere.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Orvo {

class PStringCache;

// One interned text. Lives in the cache until its count is 0 and the cache collects garbage, unless it is
// pinned: a name interned again and again (tag names) stops being counted once it has been looked up often
// enough, so that threads using the same names do not all write to the same node, and stays for ever.
struct PStringNode
{
    // Low 32 bits: the references; bits 32-61: how often it was interned (up to the pinning mark);
    // bit 62: pinned; bit 63: taken out by a collection.
    std::atomic<uint64_t> state;
    size_t hash;
    uint32_t length;
    char text[1];  // length + 1 bytes, NUL-terminated

    std::string_view View() const { return {text, length}; }
};

class PString
{
public:
    PString();                  // the shared empty string
    PString(const char* text);  // nullptr counts as empty
    PString(const char* text, size_t length);
    PString(std::string_view text);
    PString(const std::string& text) : PString(std::string_view(text)) {}
    PString(const PString& other);
    PString(PString&& other) noexcept;
    ~PString();
    PString& operator=(const PString& other);
    PString& operator=(PString&& other) noexcept;

    const char* c_str() const { return node_->text; }
    size_t length() const { return node_->length; }
    size_t Length() const { return node_->length; }
    bool empty() const { return node_->length == 0; }
    bool IsEmpty() const { return node_->length == 0; }
    std::string_view View() const { return node_->View(); }
    std::string str() const { return std::string(View()); }
    char operator[](size_t i) const { return node_->text[i]; }

    // Identity equality: two handles of the same text hold the same node.
    bool operator==(const PString& o) const { return node_ == o.node_; }
    bool operator!=(const PString& o) const { return node_ != o.node_; }
    // Text comparison with a plain string (exact, with regard to case).
    bool operator==(std::string_view text) const { return View() == text; }
    bool operator==(const char* text) const { return View() == std::string_view(text ? text : ""); }
    // Ordering by text, so ordered containers iterate deterministically.
    bool operator<(const PString& o) const { return node_ != o.node_ && View() < o.View(); }

    // Negative, 0 or positive; ASCII letters compared without regard to case.
    int CompareNoCase(const PString& o) const;
    int CompareNoCase(std::string_view text) const;
    bool EqualsNoCase(const PString& o) const { return node_ == o.node_ || CompareNoCase(o) == 0; }
    bool EqualsNoCase(std::string_view text) const { return CompareNoCase(text) == 0; }

    // Position of `text` at or after `start`, or -1.
    int Find(std::string_view text, int start = 0) const;
    int FindNoCase(std::string_view text, int start = 0) const;
    bool StartsWith(std::string_view text) const { return View().substr(0, text.size()) == text; }

    PString ToLower() const;  // ASCII only; returns *this when nothing changes
    PString ToUpper() const;

    size_t Hash() const { return node_->hash; }
    const PStringNode* Node() const { return node_; }
    static const PString& Empty();

private:
    friend class PStringCache;
    explicit PString(PStringNode* adopted) : node_(adopted) {}
    PStringNode* node_;
};

struct PStringReaders;

// The process-wide table of interned strings; thread safe. Finding a text already interned takes no lock
// (lookups on many threads do not wait for one another); adding one locks its shard.
class PStringCache
{
public:
    static PStringCache& Instance();

    // Returns the node for `text` with one reference added for the caller.
    PStringNode* Intern(std::string_view text);
    static void AddRef(PStringNode* node);
    static void Release(PStringNode* node);

    // `s` with `text` inserted at `position` (clamped to the length), as a new interned string.
    static PString Ins(const PString& s, size_t position, std::string_view text);
    // Drops the caller's use of `s`, leaving it the empty string.
    static void Destroy(PString& s);

    // Frees every node nobody references; returns how many were freed.
    size_t CollectGarbage();
    size_t Count() const;  // nodes held, referenced or not

    // Pinning: a name interned this often is no longer counted and never freed, while the pinned names
    // together stay within the budget (names past it are counted as before). The budget bounds what pinning
    // can keep of a stream of new names, and of the heap pages they sit on after a large load.
    static constexpr uint32_t kInternsToPin = 256;
    static constexpr size_t kPinnedNamesBudget = 4096;
    static constexpr size_t kPinnedBytesBudget = 256 * 1024;
    static bool IsPinned(const PStringNode* node);
    size_t PinnedCount() const;

    PStringCache(const PStringCache&) = delete;
    PStringCache& operator=(const PStringCache&) = delete;

private:
    friend class PString;
    PStringCache();
    ~PStringCache() = default;  // process-wide: never destroyed, so statics may release late
    struct Table;
    struct Shard;
    static constexpr size_t kShards = 256;
    bool TryPin(PStringNode* node);
    PStringReaders* readers_;  // the lookups under way, which a collection waits for
    Shard* shards_;
    PStringNode* empty_ = nullptr;  // written once, by the constructor
    std::atomic<size_t> pinnedNames_{0};
    std::atomic<size_t> pinnedBytes_{0};
};

}  // namespace Orvo

template <>
struct std::hash<Orvo::PString>
{
    size_t operator()(const Orvo::PString& s) const noexcept { return s.Hash(); }
};
