#include "engine/String.h"

#include "engine/PString.h"
#include "engine/TextCase.h"

#include <cstdio>
#include <vector>

namespace Orvo {

String::String(const PString& text) : s_(text.View()) {}

String String::FormatV(const char* format, va_list args)
{
    String out;
    if (!format) return out;
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return out;
    if (static_cast<size_t>(n) < sizeof small)
    {
        out.s_.assign(small, static_cast<size_t>(n));
        return out;
    }
    out.s_.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.s_.data(), out.s_.size(), format, args);
    out.s_.resize(static_cast<size_t>(n));
    return out;
}

String String::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    String out = FormatV(format, args);
    va_end(args);
    return out;
}

String& String::Printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    *this = FormatV(format, args);
    va_end(args);
    return *this;
}

String& String::AppendFormat(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    s_.append(FormatV(format, args).s_);
    va_end(args);
    return *this;
}

int String::Find(std::string_view text, int start) const { return FindText(s_, text, start, false); }
int String::FindNoCase(std::string_view text, int start) const { return FindText(s_, text, start, true); }
int String::Find(char c, int start) const { return FindText(s_, std::string_view(&c, 1), start, false); }

int String::ReverseFind(char c) const
{
    size_t pos = s_.rfind(c);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

bool String::EndsWith(std::string_view text) const
{
    return s_.size() >= text.size() && View().substr(s_.size() - text.size()) == text;
}

bool String::EndsWithNoCase(std::string_view text) const
{
    return s_.size() >= text.size() && Orvo::EqualsNoCase(View().substr(s_.size() - text.size()), text);
}

int String::Replace(std::string_view from, std::string_view to)
{
    if (from.empty()) return 0;
    int count = 0;
    size_t pos = 0;
    while ((pos = s_.find(from, pos)) != std::string::npos)
    {
        s_.replace(pos, from.size(), to);
        pos += to.size();
        ++count;
    }
    return count;
}

bool String::ReplaceFirst(std::string_view from, std::string_view to)
{
    size_t pos = s_.find(from);
    if (pos == std::string::npos) return false;
    s_.replace(pos, from.size(), to);
    return true;
}

String& String::Insert(size_t position, std::string_view text)
{
    s_.insert(position > s_.size() ? s_.size() : position, text);
    return *this;
}

String& String::Erase(size_t position, size_t count)
{
    if (position < s_.size()) s_.erase(position, count);
    return *this;
}

String String::Substr(size_t start, size_t count) const
{
    if (start >= s_.size()) return String();
    return String(s_.substr(start, count));
}

String String::Right(size_t count) const { return count >= s_.size() ? *this : String(s_.substr(s_.size() - count)); }

String& String::MakeLower()
{
    LowerInPlace(s_);
    return *this;
}
String& String::MakeUpper()
{
    UpperInPlace(s_);
    return *this;
}

String& String::Trim() { return TrimRight().TrimLeft(); }

String& String::TrimLeft()
{
    size_t b = 0;
    while (b < s_.size() && IsBlank(s_[b])) ++b;
    s_.erase(0, b);
    return *this;
}

String& String::TrimRight()
{
    size_t e = s_.size();
    while (e > 0 && IsBlank(s_[e - 1])) --e;
    s_.resize(e);
    return *this;
}

int String::Compare(std::string_view o) const
{
    int c = View().compare(o);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}
int String::CompareNoCase(std::string_view o) const { return CompareTextNoCase(s_, o); }
bool String::EqualsNoCase(std::string_view o) const { return Orvo::EqualsNoCase(s_, o); }

}  // namespace Orvo
