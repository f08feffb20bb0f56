#include "engine/TextCase.h"

namespace Orvo {

int CompareTextNoCase(std::string_view a, std::string_view b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i)
    {
        unsigned char x = static_cast<unsigned char>(AsciiLower(a[i]));
        unsigned char y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int FindText(std::string_view hay, std::string_view needle, int start, bool noCase)
{
    if (start < 0) start = 0;
    if (static_cast<size_t>(start) > hay.size()) return -1;
    if (!noCase)
    {
        size_t pos = hay.find(needle, static_cast<size_t>(start));
        return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
    }
    if (needle.size() > hay.size()) return -1;
    for (size_t i = static_cast<size_t>(start); i + needle.size() <= hay.size(); ++i)
    {
        if (EqualsNoCase(hay.substr(i, needle.size()), needle)) return static_cast<int>(i);
    }
    return -1;
}

bool LowerInPlace(std::string& s)
{
    bool changed = false;
    for (char& c : s)
    {
        char l = AsciiLower(c);
        if (l != c)
        {
            c = l;
            changed = true;
        }
    }
    return changed;
}

bool UpperInPlace(std::string& s)
{
    bool changed = false;
    for (char& c : s)
    {
        char u = AsciiUpper(c);
        if (u != c)
        {
            c = u;
            changed = true;
        }
    }
    return changed;
}

std::string_view TrimView(std::string_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

}  // namespace Orvo
