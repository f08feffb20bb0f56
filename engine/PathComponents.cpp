#include "engine/PathComponents.h"

namespace Orvo {

bool HasDotDotPart(std::string_view path)
{
    size_t start = 0;
    while (start <= path.size())
    {
        size_t cut = path.find_first_of("/\\", start);
        if (cut == std::string_view::npos) cut = path.size();
        if (path.substr(start, cut - start) == "..") return true;
        start = cut + 1;
    }
    return false;
}

bool IsInsideName(std::string_view name)
{
    if (name.empty() || name[0] == '/' || name[0] == '\\' || name.find(':') != std::string_view::npos) return false;
    return !HasDotDotPart(name);
}

}  // namespace Orvo
