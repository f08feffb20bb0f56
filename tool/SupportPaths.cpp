#include "tool/Support.h"

#include "core/PathHelpers.h"
#include "engine/File.h"
#include "tool/ToolContext.h"

Orvo::File::Path ResolveArgumentPathFrom(std::string_view startDirectory, std::string_view text)
{
    if (IsAbsolutePath(text)) return Orvo::File::Path(text);
    Orvo::File::Path path(startDirectory);
    path.AddPath(text);
    return path;
}

Orvo::File::Path ResolveArgumentPath(const ToolContext& tool, const char* text)
{
    return ResolveArgumentPathFrom(tool.StartDirectory(), text ? std::string_view(text) : std::string_view());
}

Orvo::File::Path OnDiskPath(const Orvo::File::Path& path)
{
    std::string resolved;
    if (path.IsEmpty() || !Orvo::File::Resolve(path.View(), resolved) || resolved.empty()) return path;
    return Orvo::File::Path(resolved);
}
