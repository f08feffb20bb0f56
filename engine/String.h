#pragma once
// The engine's owned string: a thin layer over std::string with the operations the program uses
// (printf-style formatting, search, replace, case changes, trimming, comparison with or without case).
#include <cstdarg>
#include <string>
#include <string_view>

namespace Orvo {

class PString;

class String
{
public:
    String() = default;
    String(const char* text) : s_(text ? text : "") {}
    String(const char* text, size_t length) : s_(text ? std::string(text, length) : std::string()) {}
    String(std::string_view text) : s_(text) {}
    String(const std::string& text) : s_(text) {}
    String(std::string&& text) : s_(std::move(text)) {}
    String(const PString& text);

    static String Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static String FormatV(const char* format, va_list args);

    const char* c_str() const { return s_.c_str(); }
    size_t length() const { return s_.size(); }
    size_t Length() const { return s_.size(); }
    bool empty() const { return s_.empty(); }
    bool IsEmpty() const { return s_.empty(); }
    std::string_view View() const { return s_; }
    const std::string& str() const { return s_; }
    std::string& str() { return s_; }
    operator std::string_view() const { return s_; }
    char operator[](size_t i) const { return s_[i]; }
    char& operator[](size_t i) { return s_[i]; }
    void Clear() { s_.clear(); }

    String& Append(std::string_view text)
    {
        s_.append(text);
        return *this;
    }
    String& Append(char c)
    {
        s_.push_back(c);
        return *this;
    }
    String& operator+=(std::string_view text)
    {
        s_.append(text);
        return *this;
    }
    String& operator+=(const char* text)
    {
        if (text) s_.append(text);
        return *this;
    }
    String& operator+=(const String& text)
    {
        s_.append(text.s_);
        return *this;
    }
    String& operator+=(const std::string& text)
    {
        s_.append(text);
        return *this;
    }
    String& operator+=(char c)
    {
        s_.push_back(c);
        return *this;
    }
    String& Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));        // replaces
    String& AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));  // appends

    // Searching: positions or -1.
    int Find(std::string_view text, int start = 0) const;
    int FindNoCase(std::string_view text, int start = 0) const;
    int Find(char c, int start = 0) const;
    int ReverseFind(char c) const;
    bool Contains(std::string_view text) const { return Find(text) >= 0; }
    bool StartsWith(std::string_view text) const { return View().substr(0, text.size()) == text; }
    bool EndsWith(std::string_view text) const;
    bool EndsWithNoCase(std::string_view text) const;

    // Replaces every occurrence (searching on after each inserted text); returns the count.
    int Replace(std::string_view from, std::string_view to);
    bool ReplaceFirst(std::string_view from, std::string_view to);
    String& Insert(size_t position, std::string_view text);
    String& Erase(size_t position, size_t count = std::string::npos);

    String Substr(size_t start, size_t count = std::string::npos) const;
    String Left(size_t count) const { return Substr(0, count); }
    String Right(size_t count) const;

    String& MakeLower();
    String& MakeUpper();
    String Lower() const
    {
        String c(*this);
        return c.MakeLower();
    }
    String Upper() const
    {
        String c(*this);
        return c.MakeUpper();
    }
    String& Trim();
    String& TrimLeft();
    String& TrimRight();

    int Compare(std::string_view o) const;
    int CompareNoCase(std::string_view o) const;
    bool EqualsNoCase(std::string_view o) const;

    friend bool operator==(const String& a, const String& b) { return a.s_ == b.s_; }
    friend bool operator==(const String& a, std::string_view b) { return a.s_ == b; }
    friend bool operator==(const String& a, const char* b) { return a.s_ == (b ? b : ""); }
    friend bool operator<(const String& a, const String& b) { return a.s_ < b.s_; }
    friend String operator+(String a, std::string_view b)
    {
        a.s_.append(b);
        return a;
    }

protected:
    std::string s_;
};

}  // namespace Orvo

template <>
struct std::hash<Orvo::String>
{
    size_t operator()(const Orvo::String& s) const noexcept { return std::hash<std::string>{}(s.str()); }
};
