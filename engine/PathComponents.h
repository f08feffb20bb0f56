#pragma once
// Splitting a "/" path into its components, shared by the path object and the file resolver; the checks
// that a relative name stays inside the folder it is taken in.
#include <string>
#include <string_view>
#include <vector>

namespace Orvo {

// Appends the components of `path` to `parts`, dropping empty ones and ".", and folding "x/..". A ".."
// that would climb above the start is refused with `confined` (false is returned), dropped for an
// `absolute` path ("/.." is "/"), and otherwise kept.
bool SplitPathComponents(std::string_view path, bool confined, bool absolute, std::vector<std::string>& parts);

// True when a part of `path`, split at '/' and '\', is "..": the name may climb out of its folder, whatever
// folding "x/.." would make of it.
bool HasDotDotPart(std::string_view path);
// True for a name that stays inside the folder it is taken in: not empty, relative (no leading '/' or '\'),
// no ':' (no substitution, no drive) and no ".." part.
bool IsInsideName(std::string_view name);

}  // namespace Orvo
