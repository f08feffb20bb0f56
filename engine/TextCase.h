#pragma once
// ASCII case folding and searching shared by the engine's string types. Only A-Z/a-z fold: texts
// here are UTF-8 and names are compared the way the file systems of the content compare them.
#include <string>
#include <string_view>

namespace Orvo {

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Negative, 0 or positive, comparing lower-cased bytes as unsigned.
int CompareTextNoCase(std::string_view a, std::string_view b);
inline bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CompareTextNoCase(a, b) == 0;
}

// Position of `needle` in `hay` at or after `start`, or -1. An empty needle is found at `start`.
int FindText(std::string_view hay, std::string_view needle, int start, bool noCase);

// Fold in place; true when anything changed.
bool LowerInPlace(std::string& s);
bool UpperInPlace(std::string& s);

// Without leading/trailing blanks (space, tab, CR, LF).
std::string_view TrimView(std::string_view s);

}  // namespace Orvo
