#pragma once
// Small text helpers used to fill message texts ("$(NAME)" placeholders) and test names.
#include <string>
#include <string_view>

namespace Orvo {
class PString;
class String;
}  // namespace Orvo

// Replaces every "$(NAME)" macro of the given name, matched without regard to case, with `value`; the
// search goes on after each inserted value, so a value that itself contains the macro is not expanded
// again. `name` may be given bare ("FILE") or as the macro ("$(FILE)"). Returns the replacements made.
int ExpandTextMacro(Orvo::String& text, std::string_view name, std::string_view value);

// Replaces the first occurrence of `find` (exact) with `replacement`; a null replacement inserts nothing.
// False, leaving the text unchanged, when `find` is absent or empty.
bool ReplaceFirstOccurrence(Orvo::String& text, const char* find, const char* replacement);

// Formats one value printf-style (e.g. "%d", "%.2f") and puts it in place of the first `find`.
bool ReplaceFirstOccurrenceFormatted(Orvo::String& text, const char* find, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Lower-cases the ASCII letters of an interned string, replacing the handle only when the text changed.
void PStringToLower(Orvo::PString& text);

// True when a file name ends with ".texture.txt" (compared without regard to case).
bool IsTextureTxtName(std::string_view name);

// A description "x.texture.txt" is compiled under the temporary name "x.convert-tex.txt" (spelled so, as the
// conversion makes it). The own name ("x.texture.txt") of such a temporary name, or empty when `name` is none.
std::string SetAsideTextureOwnName(std::string_view name);
