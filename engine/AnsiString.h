#pragma once
// The engine's plain character string: String plus tokenising and a three-way comparison result.
#include "engine/String.h"

namespace Orvo {

class AnsiString : public String
{
public:
    enum Comparison
    {
        Less = -1,
        Equal = 0,
        Greater = 1
    };

    using String::String;
    AnsiString() = default;
    AnsiString(const String& s) : String(s) {}

    static AnsiString Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

    Comparison CompareWith(std::string_view other, bool caseSensitive = true) const;

    // The next token starting at `position`, up to any character of `separators` (or the end);
    // `position` moves past the separator. Returns false, with `position` unchanged, at the end.
    bool Token(const char* separators, size_t& position, AnsiString& token) const;
};

}  // namespace Orvo
