#include "core/ACSConverter.h"

#include "engine/TextCase.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// [+-]?(d+(.d*)?|.d+)([eE][+-]?d+)? with nothing else.
bool LooksLikeNumber(std::string_view t, bool& integral)
{
    size_t i = 0, n = t.size();
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    size_t digits = 0;
    while (i < n && IsDigit(t[i])) ++i, ++digits;
    integral = true;
    if (i < n && t[i] == '.')
    {
        integral = false;
        ++i;
        while (i < n && IsDigit(t[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (t[i] == 'e' || t[i] == 'E'))
    {
        integral = false;
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
        size_t ed = 0;
        while (i < n && IsDigit(t[i])) ++i, ++ed;
        if (ed == 0) return false;
    }
    return i == n;
}

std::string_view StripPlus(std::string_view t) { return (!t.empty() && t[0] == '+') ? t.substr(1) : t; }

bool ParseFloatChecked(std::string_view t, float& out)
{
    t = StripPlus(t);
    auto r = std::from_chars(t.data(), t.data() + t.size(), out, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

int32_t ClampToInt(double d)
{
    if (std::isnan(d)) return 0;
    if (d >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (d <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(d);
}

// The spellings of what has no number text: non-finite floats ("#inf", "#-inf", "#nan", "#nan:hhhhhhhh" for
// a NaN with other bits than the usual quiet one) and empty arrays ("#float[]", "#int[]", "#kuid[]"). All
// start with "#", which no number or KUID text does.
constexpr uint32_t kQuietNaNBits = 0x7fc00000u;

bool ParseNonFinite(std::string_view t, float& out)
{
    if (t.size() < 4 || t[0] != '#') return false;
    if (Orvo::EqualsNoCase(t, "#inf") || Orvo::EqualsNoCase(t, "#-inf"))
    {
        out = t[1] == '-' ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
        return true;
    }
    uint32_t bits = kQuietNaNBits;
    if (t.size() == 13 && t[4] == ':')
    {
        auto r = std::from_chars(t.data() + 5, t.data() + t.size(), bits, 16);
        if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return false;
    }
    else if (t.size() != 4)
        return false;
    if (!Orvo::EqualsNoCase(t.substr(0, 4), "#nan")) return false;
    std::memcpy(&out, &bits, 4);
    return std::isnan(out);
}

// A float item in either spelling.
bool ParseFloatItem(std::string_view t, float& out) { return ParseFloatChecked(t, out) || ParseNonFinite(t, out); }

bool IsKUIDItem(std::string_view t) { return (!t.empty() && t[0] == '<') || Orvo::EqualsNoCase(t, "NULLKUID"); }

}  // namespace

bool ACSConverter::ParseInt(std::string_view text, int32_t& out)
{
    text = StripPlus(Orvo::TrimView(text));
    if (text.empty()) return false;
    auto r = std::from_chars(text.data(), text.data() + text.size(), out, 10);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

bool ACSConverter::ParseFloat(std::string_view text, float& out)
{
    text = Orvo::TrimView(text);
    bool integral;
    return LooksLikeNumber(text, integral) && ParseFloatChecked(text, out);
}

void ACSConverter::AppendFloat(std::string& out, float v, bool forceDecimal)
{
    if (!std::isfinite(v))
    {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        if (std::isinf(v))
            out.append(v < 0 ? "#-inf" : "#inf");
        else if (bits == kQuietNaNBits)
            out.append("#nan");
        else
        {
            char hex[16];
            std::snprintf(hex, sizeof hex, "#nan:%08x", static_cast<unsigned>(bits));
            out.append(hex);
        }
        return;
    }
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    std::string_view t(buf, static_cast<size_t>(r.ptr - buf));
    out.append(t);
    if (forceDecimal && t.find_first_of(".e") == std::string_view::npos) out.append(".0");
}

bool ACSConverter::ToText(const ACSRawDataCore& v, std::string& out)
{
    out.clear();
    const size_t n = v.GetCount();
    switch (v.GetType())
    {
    case kACSString: out.assign(v.GetString()); return true;
    case kACSFloat:
        for (size_t i = 0; i < n; ++i)
        {
            if (i) out.push_back(',');
            AppendFloat(out, v.GetFloat(i), false);
        }
        return true;
    case kACSInteger:
        for (size_t i = 0; i < n; ++i)
        {
            if (i) out.push_back(',');
            char buf[16];
            auto r = std::to_chars(buf, buf + sizeof buf, v.GetInt(i));
            out.append(buf, r.ptr);
        }
        return true;
    case kACSKUID:
        for (size_t i = 0; i < n; ++i)
        {
            if (i) out.push_back(',');
            char buf[48];
            out.append(buf, v.GetKUID(i).FormatText(buf));
        }
        return true;
    default: return false;
    }
}

bool ACSConverter::ToInt(const ACSRawDataCore& v, int32_t& out)
{
    switch (v.GetType())
    {
    case kACSInteger:
        if (v.GetCount() == 0) return false;
        out = v.GetInt(0);
        return true;
    case kACSFloat:
        if (v.GetCount() == 0) return false;
        out = ClampToInt(v.GetFloat(0));
        return true;
    case kACSString:
    {
        if (ParseInt(v.GetString(), out)) return true;
        float f;
        if (!ParseFloat(v.GetString(), f)) return false;
        out = ClampToInt(f);
        return true;
    }
    default: return false;
    }
}

bool ACSConverter::ToFloat(const ACSRawDataCore& v, float& out)
{
    switch (v.GetType())
    {
    case kACSFloat:
        if (v.GetCount() == 0) return false;
        out = v.GetFloat(0);
        return true;
    case kACSInteger:
        if (v.GetCount() == 0) return false;
        out = static_cast<float>(v.GetInt(0));
        return true;
    case kACSString: return ParseFloat(v.GetString(), out);
    default: return false;
    }
}

bool ACSConverter::ToBool(const ACSRawDataCore& v, bool& out)
{
    if (v.GetType() == kACSString)
    {
        std::string_view t = Orvo::TrimView(v.GetString());
        for (const char* yes : {"true", "yes", "on"})
            if (Orvo::EqualsNoCase(t, yes)) return out = true, true;
        for (const char* no : {"false", "no", "off"})
            if (Orvo::EqualsNoCase(t, no)) return out = false, true;
    }
    float f;
    if (v.GetType() == kACSInteger && v.GetCount() > 0) return out = v.GetInt(0) != 0, true;
    if (!ToFloat(v, f)) return false;
    out = f != 0.0f;
    return true;
}

bool ACSConverter::ToKUID(const ACSRawDataCore& v, KUID& out)
{
    if (v.GetType() == kACSKUID)
    {
        if (v.GetCount() == 0) return false;
        out = v.GetKUID(0);
        return true;
    }
    if (v.GetType() == kACSString)
    {
        KUID k;
        if (!k.ParseText(v.GetString(), false)) return false;
        out = k;
        return true;
    }
    return false;
}

bool ACSConverter::ToFloats(const ACSRawDataCore& v, std::vector<float>& out)
{
    const size_t before = out.size();
    const size_t n = v.GetCount();
    switch (v.GetType())
    {
    case kACSFloat:
        for (size_t i = 0; i < n; ++i) out.push_back(v.GetFloat(i));
        break;
    case kACSInteger:
        for (size_t i = 0; i < n; ++i) out.push_back(static_cast<float>(v.GetInt(i)));
        break;
    case kACSString:
    {
        std::string_view t = v.GetString();
        while (true)
        {
            size_t comma = t.find(',');
            float f;
            if (ParseFloat(t.substr(0, comma), f)) out.push_back(f);
            if (comma == std::string_view::npos) break;
            t.remove_prefix(comma + 1);
        }
        break;
    }
    default: break;
    }
    return out.size() > before;
}

void ACSConverter::FromRawText(std::string_view text, ACSRawDataCore& out)
{
    if (text.empty())
    {
        out.SetNull();
        return;
    }
    if (text[0] == '#')
    {
        static constexpr int32_t kNone[1] = {};
        static constexpr float kNoFloat[1] = {};
        static const KUID kNoKUID[1] = {};
        if (Orvo::EqualsNoCase(text, "#float[]")) return out.SetFloats(kNoFloat, 0);
        if (Orvo::EqualsNoCase(text, "#int[]")) return out.SetInts(kNone, 0);
        if (Orvo::EqualsNoCase(text, "#kuid[]")) return out.SetKUIDs(kNoKUID, 0);
    }
    // The usual value, one number: read once.
    if (text.find(',') == std::string_view::npos)
    {
        const std::string_view item = Orvo::TrimView(text);
        bool integral;
        if (LooksLikeNumber(item, integral))
        {
            int32_t i;
            float f;
            if (integral && ParseInt(item, i)) return out.SetInts(&i, 1);
            if (!integral && ParseFloatChecked(item, f)) return out.SetFloats(&f, 1);
        }
    }
    // A list, read in one pass. Items are kept as integers while every one is a 32-bit integer; at the first
    // that is not, the list turns to floats and the items before it are read again as floats (so that "-0"
    // keeps its sign). Anything that fits neither form keeps the text.
    thread_local std::vector<int32_t> ints;
    thread_local std::vector<float> floats;
    thread_local std::vector<KUID> kuids;
    auto nextItem = [](std::string_view& rest, bool& last) {
        size_t comma = rest.find(',');
        std::string_view item = Orvo::TrimView(rest.substr(0, comma));
        last = comma == std::string_view::npos;
        if (!last) rest.remove_prefix(comma + 1);
        return item;
    };
    std::string_view rest = text;
    bool last = false;
    std::string_view item = nextItem(rest, last);
    if (IsKUIDItem(item))
    {
        kuids.clear();
        while (true)
        {
            KUID k;
            if (!IsKUIDItem(item) || !k.ParseText(item, true)) return out.SetString(text);
            kuids.push_back(k);
            if (last) break;
            item = nextItem(rest, last);
        }
        return out.SetKUIDs(kuids.data(), kuids.size());
    }
    ints.clear();
    floats.clear();
    bool allInt = true;
    auto toFloats = [&] {
        allInt = false;
        std::string_view again = text;
        bool end = false;
        for (size_t k = 0; k < ints.size(); ++k)
        {
            float f = 0;
            ParseFloatItem(nextItem(again, end), f);
            floats.push_back(f);
        }
    };
    while (true)
    {
        bool integral;
        int32_t i;
        float f = 0;
        if (!LooksLikeNumber(item, integral))
        {
            if (!ParseNonFinite(item, f)) return out.SetString(text);
        }
        else if (integral && allInt && ParseInt(item, i))
        {
            ints.push_back(i);
            if (last) break;
            item = nextItem(rest, last);
            continue;
        }
        else if (integral && allInt)
        {
            // Too large for 32 bits: a float only when it holds the number exactly.
            int64_t exact;
            auto sv = StripPlus(item);
            auto r = std::from_chars(sv.data(), sv.data() + sv.size(), exact, 10);
            if (r.ec != std::errc() || !ParseFloatChecked(item, f) ||
                static_cast<double>(f) != static_cast<double>(exact))
                return out.SetString(text);
        }
        else if (integral)
            ParseFloatItem(item, f);
        else if (!ParseFloatChecked(item, f))
            return out.SetString(text);  // out of float range
        if (allInt) toFloats();
        floats.push_back(f);
        if (last) break;
        item = nextItem(rest, last);
    }
    if (allInt) return out.SetInts(ints.data(), ints.size());
    out.SetFloats(floats.data(), floats.size());
}
