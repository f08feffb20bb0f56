#pragma once
// The identity of an asset: user id, content id and version.
//
// Text forms: "<kuid:u:c>", "<kuid2:u:c:v>", "kuid u c", "kuid2 u c v", "u:c", "u:c:v" and "NULLKUID".
// Stream form: two little-endian words, the content id, then version << 25 | the user id's low 25 bits.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace Orvo {
class PString;
}

struct KUID
{
    int32_t userId = -1;
    int32_t contentId = -1;
    int32_t version = 127;

    static constexpr int32_t kMaxVersion = 127;
    // User ids that the stream form holds (25 bits, signed).
    static constexpr int32_t kMinUserId = -(1 << 24);
    static constexpr int32_t kMaxUserId = (1 << 24) - 1;

    constexpr KUID() = default;
    constexpr KUID(int32_t user, int32_t content, int32_t ver = 0) : userId(user), contentId(content), version(ver) {}

    // The null KUID {-1, -1, 127}: the default of every KUID read and the meaning of "missing".
    static constexpr KUID Null() { return KUID(-1, -1, 127); }
    constexpr bool IsNull() const { return userId == -1 && contentId == -1 && version == 127; }

    // Sets this KUID from any text form without regard to case. Strict mode takes the text whole: digits only
    // and the closing bracket. Lenient mode reads the KUID at the start of the text and ignores what follows
    // its numbers (blanks around them, a missing bracket, a trailing remark: "<kuid:1:2>x" is <kuid:1:2>), as
    // asset configurations have always been read. Neither takes a text with a zero byte anywhere: a reader
    // that stops at it would see another KUID. A version outside 0..127 or a user id outside 25 signed bits is
    // refused, as is a digit run too long for its field in either mode ("<kuid:1:2:99999999999>" is no KUID, not
    // <kuid:1:2>). Text that is not a KUID (also null or empty) gives the null KUID; the result tells whether the
    // text was a KUID.
    bool ParseText(const char* text, bool strict);
    bool ParseText(std::string_view text, bool strict);
    static KUID FromText(std::string_view text, bool strict = false);

    // "<kuid:u:c>" for version 0 with u >= 0 or version 127 with u < 0, else "<kuid2:u:c:v>";
    // "NULLKUID" for the null KUID.
    std::string ToString() const;
    // "kuid u c" / "kuid2 u c v" by the same rule; "NULLKUID" for the null KUID.
    std::string ToSpacedString() const;
    // The same texts as interned engine strings (pooled: equal KUIDs give the same node).
    static Orvo::PString ToText(const KUID& k);
    static Orvo::PString ToSpacedText(const KUID& k);

    // Writes the shortest text into buf (at least 48 bytes); returns its length.
    size_t FormatText(char* buf) const;
    size_t FormatSpacedText(char* buf) const;

    // The two stream words; FromStreamWords sign-extends the user id from bit 24.
    uint32_t StreamWord0() const { return static_cast<uint32_t>(contentId); }
    uint32_t StreamWord1() const
    {
        return (static_cast<uint32_t>(version) << 25) | (static_cast<uint32_t>(userId) & 0x1FFFFFFu);
    }
    static KUID FromStreamWords(uint32_t w0, uint32_t w1);

    // True when the short "<kuid:u:c>" form carries this KUID exactly.
    bool HasShortForm() const { return (version == 0 && userId >= 0) || (version == 127 && userId < 0); }

    friend constexpr bool operator==(const KUID& a, const KUID& b)
    {
        return a.userId == b.userId && a.contentId == b.contentId && a.version == b.version;
    }
    // Ordered sets compare user id, content id and version as unsigned numbers.
    friend constexpr bool operator<(const KUID& a, const KUID& b)
    {
        auto ua = static_cast<uint32_t>(a.userId), ub = static_cast<uint32_t>(b.userId);
        if (ua != ub) return ua < ub;
        auto ca = static_cast<uint32_t>(a.contentId), cb = static_cast<uint32_t>(b.contentId);
        if (ca != cb) return ca < cb;
        return static_cast<uint32_t>(a.version) < static_cast<uint32_t>(b.version);
    }
    friend constexpr bool operator!=(const KUID& a, const KUID& b) { return !(a == b); }
    friend constexpr bool operator>(const KUID& a, const KUID& b) { return b < a; }
    friend constexpr bool operator<=(const KUID& a, const KUID& b) { return !(b < a); }
    friend constexpr bool operator>=(const KUID& a, const KUID& b) { return !(a < b); }

    size_t Hash() const
    {
        uint64_t h = (static_cast<uint64_t>(static_cast<uint32_t>(userId)) << 32) ^ static_cast<uint32_t>(contentId);
        h ^= static_cast<uint64_t>(static_cast<uint32_t>(version)) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 32;
        return static_cast<size_t>(h);
    }
};

template <>
struct std::hash<KUID>
{
    size_t operator()(const KUID& k) const noexcept { return k.Hash(); }
};
