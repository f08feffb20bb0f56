#include "assetdb/ContentFolders.h"

#include "assetdb/ResourceDatabaseTable.h"

#include "core/LogPrintf.h"
#include "core/PathHelpers.h"
#include "engine/File.h"
#include "engine/TextCase.h"
#include "platform/EntryNames.h"
#include "platform/Process.h"

#include <mutex>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kUserDataLocations[] = {"cache",   "local",    "original", "backups",
                                              "editing", "settings", "packages"};
// Content sources outside UserData, with the folder each lives in below the root.
struct RootSource
{
    const char* name;
    const char* folder;
};
constexpr RootSource kRootSources[] = {{"builtin", "builtin"}, {"base", "Base"}, {"data", "Data"}};

struct FolderState
{
    std::mutex lock;
    Orvo::File::Path root;
    Orvo::File::Path userData;
    std::vector<ContentResourceDatabase*> mounted;
    bool substsMounted = false;
};

FolderState& State()
{
    // Process-wide: the installation's folder layout is asked for from every layer (requests, commands,
    // validation); never freed, so that statics torn down later can still ask.
    static FolderState* s = new FolderState;
    return *s;
}

std::string ToLower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The part of `path` below `folder` when it lies inside it (components compared without regard to
// case); false otherwise. Both are normalised "/" paths.
bool InsideFolder(std::string_view path, std::string_view folder, std::string& rest)
{
    while (folder.size() > 1 && folder.back() == '/') folder.remove_suffix(1);
    if (folder.empty() || path.size() < folder.size()) return false;
    if (!Orvo::EqualsNoCase(path.substr(0, folder.size()), folder)) return false;
    if (path.size() == folder.size())
    {
        rest.clear();
        return true;
    }
    if (path[folder.size()] != '/') return false;
    rest = std::string(path.substr(folder.size() + 1));
    return true;
}

}  // namespace

bool GetExecutablePath(Orvo::File::Path& out)
{
    std::string exe = Platform::ExecutablePath();
    if (exe.empty()) return false;
    out = Orvo::File::Path(exe);
    return true;
}

bool SetInstallationPath(Orvo::File::Path root)
{
    if (root.IsEmpty()) return false;
    if (!root.IsAbsolute())
    {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return false;
        Orvo::File::Path abs(cwd);
        abs.AddPath(root);
        root = abs;
    }
    root.Normalise().DelSlash();
    Orvo::File::Path userData = root;
    userData.AddPath("UserData");
    {
        FolderState& s = State();
        std::lock_guard<std::mutex> lock(s.lock);
        s.root = root;
        s.userData = userData;
    }
    return true;
}

Orvo::File::Path GetInstallationPath()
{
    FolderState& s = State();
    std::lock_guard<std::mutex> lock(s.lock);
    return s.root;
}

Orvo::File::Path GetUserDataPath()
{
    FolderState& s = State();
    std::lock_guard<std::mutex> lock(s.lock);
    return s.userData;
}

DeletionBounds UserDataDeletionBounds()
{
    const Orvo::File::Path userData = GetUserDataPath();
    if (userData.IsEmpty()) return DeletionBounds();
    return DeletionBounds({userData.str()});
}

bool IsUserDataLocation(std::string_view name)
{
    for (const char* loc : kUserDataLocations)
        if (Orvo::EqualsNoCase(name, loc)) return true;
    return false;
}

Orvo::File::Path GetContentFolder(std::string_view sourceName)
{
    Orvo::File::Path root = GetInstallationPath();
    if (root.IsEmpty()) return {};
    // A source name is one folder name: anything that could climb out of the root is no source.
    if (!Platform::IsPlainEntryName(sourceName) || sourceName.find(':') != std::string_view::npos) return {};
    if (IsUserDataLocation(sourceName)) return GetUserDataPath().AddPath(ToLower(sourceName));
    for (const RootSource& src : kRootSources)
        if (Orvo::EqualsNoCase(sourceName, src.name)) return root.AddPath(src.folder);
    return root.AddPath(sourceName);
}

bool InitialiseContentFolders()
{
    Orvo::File::Path root = GetInstallationPath();
    if (root.IsEmpty()) return false;
    bool ok = true;
    for (const char* loc : kUserDataLocations)
    {
        Orvo::File::Path folder = GetContentFolder(loc);
        if (!Orvo::File::Md(folder.View()))
        {
            LogPrintf("InitialiseContentFolders> unable to create '%s'", folder.c_str());
            ok = false;
        }
    }
    std::vector<ContentResourceDatabase*> mounted;
    for (const RootSource& src : kRootSources)
    {
        Orvo::File::Path folder = GetContentFolder(src.name);
        if (!Orvo::File::IsDirectory(folder.View())) continue;
        if (ContentResourceDatabase* db = AcquireResourceDatabase(Orvo::PString(src.name), folder))
            mounted.push_back(db);
    }
    for (const char* name : {"scripts", "libraries"})
    {
        std::string target = root.str() + "/" + name + "/";
        Orvo::File::Subst(name, target.c_str(), true);
    }
    FolderState& s = State();
    std::lock_guard<std::mutex> lock(s.lock);
    s.mounted.insert(s.mounted.end(), mounted.begin(), mounted.end());
    s.substsMounted = true;
    return ok;
}

bool SplitContentPath(Orvo::File::Path& path, Orvo::PString& sourceName)
{
    Orvo::File::Path root = GetInstallationPath();
    if (root.IsEmpty() || path.IsEmpty()) return false;
    Orvo::File::Path p = path;
    if (!p.IsAbsolute())
    {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return false;
        p = Orvo::File::Path(cwd).AddPath(path);
    }
    p.Normalise();
    std::string rest;
    // UserData lies inside the root, so its locations are tried first.
    for (const char* loc : kUserDataLocations)
    {
        if (InsideFolder(p.View(), GetContentFolder(loc).View(), rest))
        {
            sourceName = Orvo::PString(loc);
            path = Orvo::File::Path(rest);
            return true;
        }
    }
    for (const RootSource& src : kRootSources)
    {
        if (InsideFolder(p.View(), GetContentFolder(src.name).View(), rest))
        {
            sourceName = Orvo::PString(src.name);
            path = Orvo::File::Path(rest);
            return true;
        }
    }
    return false;
}

void UnmountContentFolders()
{
    std::vector<ContentResourceDatabase*> mounted;
    bool substs = false;
    {
        FolderState& s = State();
        std::lock_guard<std::mutex> lock(s.lock);
        mounted.swap(s.mounted);
        substs = s.substsMounted;
        s.substsMounted = false;
    }
    if (substs)
    {
        Orvo::File::Subst("scripts", nullptr, false);
        Orvo::File::Subst("libraries", nullptr, false);
    }
    for (ContentResourceDatabase* db : mounted) ReleaseResourceDatabase(db);
}

void FlushResourceDatabaseCache() { PurgeResourceDatabases(); }
