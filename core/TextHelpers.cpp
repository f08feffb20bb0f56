#include "core/TextHelpers.h"

#include "engine/PString.h"
#include "engine/String.h"

#include <cstdarg>
#include <string>

namespace {
char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

size_t FindNoCase(std::string_view text, std::string_view what, size_t from)
{
    if (what.empty() || what.size() > text.size())
        return std::string::npos;
    for (size_t i = from; i + what.size() <= text.size(); ++i) {
        if (EqualNoCase(text.substr(i, what.size()), what))
            return i;
    }
    return std::string::npos;
}
} // namespace

int ExpandTextMacro(Orvo::String& text, std::string_view name, std::string_view value)
{
    std::string macro;
    if (name.size() >= 3 && name.substr(0, 2) == "$(" && name.back() == ')')
        macro = name;
    else
        macro = "$(" + std::string(name) + ")";
    if (macro.size() <= 3)
        return 0; // "$()" names nothing

    std::string& s = text.str();
    int count = 0;
    size_t at = FindNoCase(s, macro, 0);
    while (at != std::string::npos) {
        s.replace(at, macro.size(), value);
        ++count;
        at = FindNoCase(s, macro, at + value.size());
    }
    return count;
}

bool ReplaceFirstOccurrence(Orvo::String& text, const char* find, const char* replacement)
{
    if (!find || !*find)
        return false;
    std::string& s = text.str();
    const size_t at = s.find(find);
    if (at == std::string::npos)
        return false;
    s.replace(at, std::char_traits<char>::length(find), replacement ? replacement : "");
    return true;
}

bool ReplaceFirstOccurrenceFormatted(Orvo::String& text, const char* find, const char* format, ...)
{
    if (!format)
        return false;
    va_list args;
    va_start(args, format);
    const Orvo::String value = Orvo::String::FormatV(format, args);
    va_end(args);
    return ReplaceFirstOccurrence(text, find, value.c_str());
}

void PStringToLower(Orvo::PString& text)
{
    Orvo::PString lower = text.ToLower();
    if (lower != text)
        text = lower;
}

bool IsDotOrDotDot(std::string_view name)
{
    return name == "." || name == "..";
}

bool IsTextureTxtName(std::string_view name)
{
    constexpr std::string_view suffix = ".texture.txt";
    return name.size() >= suffix.size() && EqualNoCase(name.substr(name.size() - suffix.size()), suffix);
}
