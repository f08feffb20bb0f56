// Path resolution shared by every file operation: the substitution table, refusal of unsafe paths and
// the case-insensitive fallback.
#include "engine/File.h"

#include "engine/PathComponents.h"
#include "engine/TextCase.h"
#include "platform/EntryNames.h"

#include <dirent.h>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace Orvo {

namespace {

struct SubstEntry
{
    std::string name;
    std::string path;  // "/" separators, no trailing "/" (except a bare root)
    bool isFolder;
};

std::mutex g_substLock;
// Process-wide: every path of the process is resolved through the substitutions start-up mounts.
std::vector<SubstEntry> g_substs;

thread_local File::ErrorInfo t_lastError;

bool PathExists(const std::string& p)
{
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

// The entry of `folder` whose name equals `name` without regard to case; the smallest such name
// when several match, so the choice does not depend on directory order.
bool FindNoCase(const std::string& folder, std::string_view name, std::string& found)
{
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return false;
    bool any = false;
    while (dirent* e = ::readdir(d))
    {
        std::string_view n(e->d_name);
        if (Platform::IsDotOrDotDot(n)) continue;
        if (EqualsNoCase(n, name) && (!any || n < std::string_view(found)))
        {
            found.assign(n);
            any = true;
        }
    }
    ::closedir(d);
    return any;
}

// `base` (existing, or "" for the current folder) joined with `parts`, matching each missing
// component without regard to case.
std::string JoinWithFallback(std::string base, const std::vector<std::string>& parts)
{
    std::string exact = base;
    for (const std::string& p : parts)
    {
        if (!exact.empty() && exact.back() != '/') exact.push_back('/');
        exact += p;
    }
    if (parts.empty() || PathExists(exact)) return exact;

    std::string cur = std::move(base);
    for (size_t k = 0; k < parts.size(); ++k)
    {
        std::string next = cur;
        if (!next.empty() && next.back() != '/') next.push_back('/');
        std::string found;
        if (PathExists(next + parts[k]))
        {
            next += parts[k];
        }
        else if (parts[k] != ".." && FindNoCase(cur, parts[k], found))
        {
            next += found;
        }
        else
        {
            // Missing: keep the rest as given (a file about to be created lands in the matched folder).
            for (size_t r = k; r < parts.size(); ++r)
            {
                if (r > k) next.push_back('/');
                next += parts[r];
            }
            return next;
        }
        cur = std::move(next);
    }
    return cur;
}

}  // namespace

bool SplitPathComponents(std::string_view path, bool confined, bool absolute, std::vector<std::string>& parts)
{
    size_t i = 0;
    while (i <= path.size())
    {
        size_t j = path.find('/', i);
        if (j == std::string_view::npos) j = path.size();
        std::string_view part = path.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..")
        {
            if (!parts.empty() && parts.back() != "..")
            {
                parts.pop_back();
                continue;
            }
            if (confined) return false;
            if (absolute) continue;
        }
        parts.emplace_back(part);
    }
    return true;
}

const File::ErrorInfo& File::LastError() { return t_lastError; }

void File::SetLastError(int code, std::string message)
{
    t_lastError.code = code;
    t_lastError.message = std::move(message);
}

bool File::Subst(const char* name, const char* path, bool isFolder)
{
    if (!name || !*name)
    {
        SetLastError(InvalidPath, "File::Subst> empty substitution name");
        return false;
    }
    std::string_view n(name);
    if (n.find_first_of(":/\\") != std::string_view::npos)
    {
        SetLastError(InvalidPath, "File::Subst> invalid substitution name '" + std::string(n) + "'");
        return false;
    }
    std::lock_guard<std::mutex> guard(g_substLock);
    auto it = g_substs.begin();
    for (; it != g_substs.end(); ++it)
        if (EqualsNoCase(it->name, n)) break;
    if (!path)
    {
        if (it != g_substs.end()) g_substs.erase(it);
        return true;
    }
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p.find('\0') != std::string::npos)
    {
        SetLastError(InvalidPath, "File::Subst> substitution path contains a NUL character");
        return false;
    }
    if (it != g_substs.end())
    {
        it->path = std::move(p);
        it->isFolder = isFolder;
    }
    else
    {
        g_substs.push_back({std::string(n), std::move(p), isFolder});
    }
    return true;
}

bool File::HasSubst(std::string_view name)
{
    std::lock_guard<std::mutex> guard(g_substLock);
    for (const SubstEntry& e : g_substs)
        if (EqualsNoCase(e.name, name)) return true;
    return false;
}

namespace {

// The "/" form of a path to resolve; false (LastError set) for one holding a NUL.
bool SlashForm(std::string_view path, std::string& p)
{
    if (path.find('\0') != std::string_view::npos)
    {
        File::SetLastError(File::InvalidPath, "File> path contains a NUL character");
        return false;
    }
    p.assign(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return true;
}

enum class Substituted
{
    kNo,       // no registered "name:" starts the path
    kYes,      // `root` and `rest` are set
    kRefused,  // LastError says why
};

// "name:rest" with a registered name goes below that substitution's root, and may not leave it as written.
Substituted Substitute(const std::string& p, std::string& root, std::string_view& rest)
{
    const size_t colon = p.find(':');
    if (colon == std::string::npos || colon == 0 || p.find('/') < colon) return Substituted::kNo;
    std::string_view name(p.data(), colon);
    SubstEntry entry;
    bool found = false;
    {
        std::lock_guard<std::mutex> guard(g_substLock);
        for (const SubstEntry& e : g_substs)
            if (EqualsNoCase(e.name, name))
            {
                entry = e;
                found = true;
                break;
            }
    }
    if (!found) return Substituted::kNo;
    if (!entry.isFolder)
    {
        File::SetLastError(File::NotSupported, "File> '" + entry.name + ":' is an archive; archives cannot be read");
        return Substituted::kRefused;
    }
    rest = std::string_view(p).substr(colon + 1);
    std::vector<std::string> parts;
    if (!SplitPathComponents(rest, true, false, parts))
    {
        File::SetLastError(File::InvalidPath, "File> '" + p + "' leaves its substitution root");
        return Substituted::kRefused;
    }
    root = std::move(entry.path);
    return Substituted::kYes;
}

}  // namespace

bool File::ResolveForWriting(std::string_view path, std::string& out)
{
    std::string p, root;
    std::string_view rest;
    if (!SlashForm(path, p)) return false;
    switch (Substitute(p, root, rest))
    {
    case Substituted::kRefused: return false;
    case Substituted::kNo: out = std::move(p); return true;
    case Substituted::kYes: break;
    }
    // The rest as written: a ".." after a link climbs from where the link leads, as the system takes it.
    while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
    out = root;
    if (!rest.empty())
    {
        if (!out.empty() && out.back() != '/') out.push_back('/');
        out.append(rest);
    }
    return true;
}

bool File::Resolve(std::string_view path, std::string& out)
{
    std::string p, root;
    std::string_view below;
    if (!SlashForm(path, p)) return false;
    switch (Substitute(p, root, below))
    {
    case Substituted::kRefused: return false;
    case Substituted::kNo: break;
    case Substituted::kYes:
    {
        std::vector<std::string> parts;
        SplitPathComponents(below, true, false, parts);
        out = JoinWithFallback(root, parts);
        return true;
    }
    }

    bool absolute = !p.empty() && p[0] == '/';
    std::vector<std::string> parts;
    SplitPathComponents(p, false, absolute, parts);
    // Leading ".." components stay literal; the fallback starts below them.
    std::string base = absolute ? "/" : "";
    size_t k = 0;
    while (k < parts.size() && parts[k] == "..")
    {
        base += base.empty() || base.back() == '/' ? ".." : "/..";
        ++k;
    }
    std::vector<std::string> rest(parts.begin() + static_cast<long>(k), parts.end());
    if (rest.empty())
    {
        out = base.empty() ? (p.empty() ? std::string() : std::string(".")) : base;
        return true;
    }
    out = JoinWithFallback(base, rest);
    return true;
}

}  // namespace Orvo
