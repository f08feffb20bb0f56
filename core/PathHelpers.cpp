#include "core/PathHelpers.h"

#include "engine/File.h"
#include "platform/EntryNames.h"
#include "platform/RenameNoReplace.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Where a path really is: its folder with symbolic links resolved, then its own name unresolved (a link
// is judged by where it stands, not by what it points at, because only the link gets deleted).
fs::path RealLocation(std::string_view text)
{
    std::string s(text);
    while (s.size() > 1 && IsSeparator(s.back())) s.pop_back();
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(s), ec);
    if (ec) return {};
    p = p.lexically_normal();
    if (!p.has_filename() || p == p.root_path()) return p;
    fs::path parent = fs::weakly_canonical(p.parent_path(), ec);
    if (ec) return {};
    return parent / p.filename();
}

// True when `path` lies strictly below `root`, component by component.
bool IsStrictlyBelow(const fs::path& path, const fs::path& root)
{
    auto p = path.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++p)
    {
        if (r->empty()) continue;  // a trailing separator of the root
        if (p == path.end() || *p != *r) return false;
    }
    for (; p != path.end(); ++p)
    {
        if (!p->empty()) return true;
    }
    return false;
}

bool Resolved(std::string_view path, std::string& out) { return Orvo::File::Resolve(path, out); }
}  // namespace

bool IsAbsolutePath(std::string_view path)
{
    if (!path.empty() && IsSeparator(path[0])) return true;  // "/x", and two leading backslashes
    if (path.size() >= 4)
    {
        const char d = path[0];
        const bool letter = (d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z');
        return letter && path[1] == ':' && IsSeparator(path[2]);
    }
    return false;
}

std::string JoinBasePath(std::string_view base, std::string_view path)
{
    if (base.empty() || IsAbsolutePath(path)) return std::string(path);
    std::string joined(base);
    if (path.empty()) return joined;
    if (!IsSeparator(joined.back())) joined += '/';
    size_t skip = 0;
    while (skip < path.size() && IsSeparator(path[skip])) ++skip;
    joined.append(path.substr(skip));
    return joined;
}

bool CheckFileExists(std::string_view base, std::string_view path)
{
    if (!IsAbsolutePath(path) && base.empty()) return true;
    return Orvo::File::Exists(JoinBasePath(base, path));
}

bool DeletePathAt(std::string_view base, std::string_view path, const DeletionBounds& bounds)
{
    if (!IsAbsolutePath(path) && base.empty()) return false;
    std::string target;
    if (!Resolved(JoinBasePath(base, path), target)) return false;
    const fs::path where = RealLocation(target);
    if (where.empty() || where == where.root_path()) return false;
    if (!bounds.Allows(where.string())) return false;

    std::error_code ec;
    const fs::file_status status = fs::symlink_status(where, ec);
    if (ec || !fs::exists(status)) return false;
    if (fs::is_directory(status))
        fs::remove_all(where, ec);
    else
        fs::remove(where, ec);
    return !ec && !fs::exists(fs::symlink_status(where, ec));
}

bool CreateFolderAt(std::string_view base, std::string_view folder)
{
    const std::string path = JoinBasePath(base, folder);
    if (path.empty()) return false;
    return Orvo::File::Md(path) || Orvo::File::IsDirectory(path);
}

bool RenameFileAt(std::string_view base, std::string_view from, std::string_view to, int* error)
{
    auto fail = [error](int code) {
        if (error) *error = code;
        return false;
    };
    if (base.empty() && (!IsAbsolutePath(from) || !IsAbsolutePath(to))) return fail(EINVAL);
    // The folder of the new name is looked up, the name itself is not: the lookup would find a file named in
    // another case, and the rename would then refuse to go over that file instead of making the one asked for.
    const std::string target = JoinBasePath(base, to);
    const size_t cut = target.find_last_of("/\\");
    const std::string name = cut == std::string::npos ? std::string() : target.substr(cut + 1);
    if (name.empty() || Platform::IsDotOrDotDot(name)) return fail(EINVAL);
    std::string source, folder;
    if (!Resolved(JoinBasePath(base, from), source) || !Resolved(target.substr(0, cut == 0 ? 1 : cut), folder))
        return fail(EINVAL);
    if (!folder.empty() && folder.back() != '/') folder += '/';
    if (!Platform::RenameNoReplace(source, folder + name)) return fail(errno);
    return true;
}

DeletionBounds::DeletionBounds(const std::vector<std::string>& roots)
{
    for (const std::string& root : roots)
    {
        if (root.empty()) continue;
        std::error_code ec;
        fs::path p = fs::weakly_canonical(fs::absolute(fs::path(root), ec), ec);
        if (!ec && p != p.root_path()) roots_.push_back(p.string());
    }
}

DeletionBounds DeletionBounds::Anywhere()
{
    DeletionBounds bounds;
    bounds.anywhere_ = true;
    return bounds;
}

bool DeletionBounds::Allows(std::string_view path) const
{
    if (anywhere_) return true;
    const fs::path where = RealLocation(path);
    if (where.empty()) return false;
    for (const std::string& root : roots_)
    {
        if (IsStrictlyBelow(where, fs::path(root))) return true;
    }
    return false;
}
