#pragma once
// The names of folder entries: the one home of the checks that a name stands for an entry of the folder
// it is joined to and cannot climb out of it.
#include <string_view>

namespace Platform {

// True for the folder entries "." and "..", which a listing skips.
constexpr bool IsDotOrDotDot(std::string_view name) { return name == "." || name == ".."; }

// True for one plain entry name, which cannot climb out of the folder it is joined to: not empty, not "."
// or "..", at most 255 bytes, without '/', '\' or NUL. Callers add rules of their own.
bool IsPlainEntryName(std::string_view name);

}  // namespace Platform
