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
// The other way: the temporary name of the description `name` ("x.texture.txt" in any case), or empty when
// `name` is none.
std::string TextureSetAsideName(std::string_view name);
// What a conversion says when it gives a description that one cut short left aside its own name back
// ($(FILE_NAME): the temporary name's path, $(OWN_NAME): the own name in quotes).
inline constexpr char kSetAsideDescriptionGivenBack[] =
    "The texture description '$(FILE_NAME)', left under that name by a conversion that was cut short, has its own "
    "name $(OWN_NAME) back";
