#include "platform/EntryNames.h"

namespace Platform {

bool IsPlainEntryName(std::string_view name)
{
    if (name.empty() || name.size() > 255 || IsDotOrDotDot(name)) return false;
    return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

}  // namespace Platform
