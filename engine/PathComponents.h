#pragma once
// Splitting a "/" path into its components, shared by the path object and the file resolver.
#include <string>
#include <string_view>
#include <vector>

namespace Orvo {

// Appends the components of `path` to `parts`, dropping empty ones and ".", and folding "x/..". A ".."
// that would climb above the start is refused with `confined` (false is returned), dropped for an
// `absolute` path ("/.." is "/"), and otherwise kept.
bool SplitPathComponents(std::string_view path, bool confined, bool absolute, std::vector<std::string>& parts);

}  // namespace Orvo
