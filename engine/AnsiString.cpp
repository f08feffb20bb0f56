#include "engine/AnsiString.h"

#include <cstring>

namespace Orvo {

AnsiString AnsiString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    AnsiString out(String::FormatV(format, args));
    va_end(args);
    return out;
}

AnsiString::Comparison AnsiString::CompareWith(std::string_view other, bool caseSensitive) const
{
    int c = caseSensitive ? Compare(other) : CompareNoCase(other);
    return c < 0 ? Less : (c > 0 ? Greater : Equal);
}

bool AnsiString::Token(const char* separators, size_t& position, AnsiString& token) const
{
    if (position >= s_.size()) return false;
    size_t end = s_.find_first_of(separators ? separators : "", position);
    if (end == std::string::npos) end = s_.size();
    token = AnsiString(std::string_view(s_).substr(position, end - position));
    position = end < s_.size() ? end + 1 : end;
    return true;
}

}  // namespace Orvo
