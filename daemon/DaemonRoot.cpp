#include "daemon/DaemonRoot.h"

#include "platform/FolderWalk.h"
#include "platform/OutputFile.h"
#include "platform/OwnWorkRecords.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

DaemonRoot::DaemonRoot(std::string root)
{
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::path(root), ec);
    root_ = ec ? root : p.string();
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

std::string DaemonRoot::Path(std::string_view relative) const
{
    std::string p = root_;
    if (!relative.empty())
    {
        p += '/';
        p += relative;
    }
    return p;
}

std::string DaemonRoot::UserData(std::string_view sub) const
{
    std::string p = Path("UserData");
    if (!sub.empty())
    {
        p += '/';
        p += sub;
    }
    return p;
}

std::string DaemonRoot::LocalFolder(const KUID& k) const { return UserData("local/" + k.ToSpacedString()); }
std::string DaemonRoot::EditFolder(const KUID& k) const { return UserData("editing/" + k.ToSpacedString()); }

std::string DaemonRoot::OwnWorkFolder() const { return UserData(Platform::kOwnWorkFolder); }

std::string DaemonRoot::SourceFolder(std::string_view source) const
{
    static const char* const kUserData[] = {"local", "editing", "original", "backups", "cache", "settings", "packages"};
    for (const char* u : kUserData)
        if (source == u) return UserData(u);
    if (source == "builtin") return Path("builtin");
    if (source == "base") return Path("Base");
    if (source == "data") return Path("Data");
    return {};
}

bool DaemonRoot::MakeFolders(std::string* error) const
{
    for (const char* u : {"local", "editing", "original", "backups", "cache", "settings", "packages"})
    {
        std::error_code ec;
        // A name taken by a file is an error as well (ENOTDIR): nothing can be kept there.
        fs::create_directories(UserData(u), ec);
        if (ec)
        {
            if (error) *error = "the folder '" + UserData(u) + "' could not be made: " + ec.message();
            return false;
        }
    }
    return true;
}

void DaemonRoot::KeepOwnFilesFromOutputs() const
{
    const std::string database = Database(), log = UserData("settings/vaddaemon.log");
    const struct
    {
        std::string path;
        const char* why;
    } own[] = {
        {database, "it is the asset database"},
        {database + "-wal", "it is the asset database's journal"},
        {database + "-shm", "it is the asset database's shared index"},
        {database + "-journal", "it is the asset database's journal"},
        {LockFile(), "it is the asset database daemon's lock"},
        {log, "it is the asset database daemon's log"},
        {log + ".1", "it is the asset database daemon's log"},
    };
    for (const auto& file : own) Platform::KeepNameFromOutputs(file.path, file.why);
}

bool IsSafeFileName(std::string_view name)
{
    return name.size() <= kMaxFileNameBytes && Platform::IsPlainEntryName(name) &&
           name.find("..") == std::string_view::npos;
}

bool IsSafeRelativePath(std::string_view rel)
{
    if (rel.empty() || rel.front() == '/') return false;
    size_t start = 0;
    while (start <= rel.size())
    {
        size_t end = rel.find('/', start);
        if (end == std::string_view::npos) end = rel.size();
        std::string_view part = rel.substr(start, end - start);
        if (!(part.empty() && end == rel.size() && start > 0) && !IsSafeFileName(part)) return false;
        start = end + 1;
    }
    return true;
}

std::string NormalisePath(std::string_view path)
{
    if (path.empty() || path.size() > kMaxPathBytes || path.front() != '/' || path.find('\0') != std::string_view::npos)
        return {};
    std::vector<std::string_view> parts;
    size_t start = 1;
    while (start <= path.size())
    {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(start, end - start);
        if (part.size() > kMaxFileNameBytes) return {};
        if (part == "..")
        {
            if (!parts.empty()) parts.pop_back();
        }
        else if (!part.empty() && part != ".")
            parts.push_back(part);
        start = end + 1;
    }
    std::string out;
    for (auto p : parts)
    {
        out += '/';
        out += p;
    }
    return out.empty() ? "/" : out;
}

bool IsPathInside(std::string_view path, std::string_view folder)
{
    std::string p = NormalisePath(path), f = NormalisePath(folder);
    if (p.empty() || f.empty()) return false;
    if (f == "/") return true;
    return p == f || (p.size() > f.size() && p.compare(0, f.size(), f) == 0 && p[f.size()] == '/');
}
