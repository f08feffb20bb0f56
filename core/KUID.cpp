#include "core/KUID.h"

#include "engine/TextCase.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

struct Cursor
{
    const char* p;
    const char* end;

    bool AtEnd() const { return p == end; }
    void SkipBlanks()
    {
        while (p != end && IsBlank(*p)) ++p;
    }
    // Consumes `word` (lower case) when the text starts with it in any case.
    bool Word(const char* word)
    {
        size_t n = std::strlen(word);
        if (static_cast<size_t>(end - p) < n) return false;
        for (size_t i = 0; i < n; ++i)
            if (Orvo::AsciiLower(p[i]) != word[i]) return false;
        p += n;
        return true;
    }
    bool Char(char c)
    {
        if (p != end && *p == c)
        {
            ++p;
            return true;
        }
        return false;
    }
    enum class Read
    {
        kNone,        // no number here
        kNumber,      // read into `out`
        kOutOfRange,  // a digit run too long for 32 bits: the text is no KUID
    };
    // A decimal number with an optional sign that fits 32 bits.
    Read Number(int32_t& out)
    {
        const char* q = p;
        bool neg = false;
        if (q != end && (*q == '-' || *q == '+'))
        {
            neg = *q == '-';
            ++q;
        }
        if (q == end || *q < '0' || *q > '9') return Read::kNone;
        int64_t v = 0;
        while (q != end && *q >= '0' && *q <= '9')
        {
            v = v * 10 + (*q - '0');
            if (v > 2147483648LL) return Read::kOutOfRange;
            ++q;
        }
        if (neg) v = -v;
        if (v > 2147483647LL) return Read::kOutOfRange;
        out = static_cast<int32_t>(v);
        p = q;
        return Read::kNumber;
    }
};

// Reads up to `maxCount` numbers separated by `sep` (blanks: any run of blanks). Returns how many were read, or
// -1 when one of them does not fit its field (its digits are not where the KUID ends).
int Numbers(Cursor& c, char sep, int maxCount, int32_t* out, bool strict)
{
    int n = 0;
    while (n < maxCount)
    {
        if (n > 0)
        {
            if (sep == ' ')
            {
                const char* before = c.p;
                c.SkipBlanks();
                if (c.p == before) break;
            }
            else
            {
                if (!strict) c.SkipBlanks();
                if (!c.Char(sep)) break;
            }
        }
        if (!strict) c.SkipBlanks();
        const Cursor::Read read = c.Number(out[n]);
        if (read == Cursor::Read::kOutOfRange) return -1;
        if (read == Cursor::Read::kNone) break;
        ++n;
    }
    return n;
}

KUID Make(const int32_t* v, int count)
{
    if (count == 3) return KUID(v[0], v[1], v[2]);
    return KUID(v[0], v[1], v[0] < 0 ? 127 : 0);
}

}  // namespace

bool KUID::ParseText(const char* text, bool strict)
{
    if (!text)
    {
        *this = Null();
        return false;
    }
    return ParseText(std::string_view(text), strict);
}

bool KUID::ParseText(std::string_view text, bool strict)
{
    *this = Null();
    // A zero byte would end the text for every reader that takes it as a C string: what comes before it is no
    // KUID of its own.
    if (text.find('\0') != std::string_view::npos) return false;
    Cursor c{text.data(), text.data() + text.size()};
    c.SkipBlanks();
    while (c.end != c.p && IsBlank(c.end[-1])) --c.end;
    if (c.AtEnd()) return false;

    int32_t v[3] = {0, 0, 0};
    int got = 0;

    // From here on, lenient reading stops at the end of the numbers: what follows them is not looked at.
    if (c.Word("nullkuid")) return c.AtEnd() || !strict;

    if (c.Char('<'))
    {
        int want;
        if (c.Word("kuid2:"))
            want = 3;
        else if (c.Word("kuid:"))
            want = 2;
        else
            return false;
        // Lenient reading also takes "<kuid:u:c:v>" as written rather than dropping the version.
        got = Numbers(c, ':', strict ? want : 3, v, strict);
        if (got < want) return false;
        if (strict && (!c.Char('>') || !c.AtEnd())) return false;
    }
    else if (c.Word("kuid"))
    {
        int want = c.Char('2') ? 3 : 2;
        if (c.AtEnd() || !IsBlank(*c.p)) return false;
        c.SkipBlanks();
        got = Numbers(c, ' ', want, v, strict);
        if (got < want || (strict && !c.AtEnd())) return false;
    }
    else
    {
        got = Numbers(c, ':', 3, v, strict);
        if (got < 2 || (strict && !c.AtEnd())) return false;
    }

    KUID k = Make(v, got);
    if (k.version < 0 || k.version > kMaxVersion) return false;
    // The stream form keeps 25 bits of the user id; a larger one would come back as another asset.
    if (k.userId < kMinUserId || k.userId > kMaxUserId) return false;
    *this = k;
    return true;
}

KUID KUID::FromText(std::string_view text, bool strict)
{
    KUID k;
    k.ParseText(text, strict);
    return k;
}

namespace {
// The text of k in the short form when that carries it exactly, else in the long form.
size_t Format(const KUID& k, char* buf, const char* shortForm, const char* longForm)
{
    int n;
    if (k.IsNull())
        n = std::snprintf(buf, 48, "NULLKUID");
    else if (k.HasShortForm())
        n = std::snprintf(buf, 48, shortForm, k.userId, k.contentId);
    else
        n = std::snprintf(buf, 48, longForm, k.userId, k.contentId, k.version);
    return n > 0 ? static_cast<size_t>(n) : 0;
}
}  // namespace

size_t KUID::FormatText(char* buf) const { return Format(*this, buf, "<kuid:%d:%d>", "<kuid2:%d:%d:%d>"); }

size_t KUID::FormatSpacedText(char* buf) const { return Format(*this, buf, "kuid %d %d", "kuid2 %d %d %d"); }

std::string KUID::ToString() const
{
    char buf[48];
    return std::string(buf, FormatText(buf));
}

std::string KUID::ToSpacedString() const
{
    char buf[48];
    return std::string(buf, FormatSpacedText(buf));
}

KUID KUID::FromStreamWords(uint32_t w0, uint32_t w1)
{
    KUID k;
    k.contentId = static_cast<int32_t>(w0);
    uint32_t user = w1 & 0x1FFFFFFu;
    if (user & 0x1000000u) user |= 0xFE000000u;  // sign-extend from bit 24
    k.userId = static_cast<int32_t>(user);
    k.version = static_cast<int32_t>(w1 >> 25);
    return k;
}
