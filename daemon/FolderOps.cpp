#include "daemon/FolderOps.h"

#include "daemon/CrashPoint.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

std::string Beside(const std::string& target, const char* prefix)
{
    fs::path p(target);
    return (p.parent_path() / (std::string(prefix) + p.filename().string())).string();
}

bool IsDatedName(const std::string& n)
{
    if (n.size() != 15 || n[8] != '-') return false;
    for (size_t i = 0; i < n.size(); ++i)
        if (i != 8 && !isdigit(static_cast<unsigned char>(n[i]))) return false;
    return true;
}

}  // namespace

bool FolderExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CopyFolderTree(const std::string& from, const std::string& to, std::string* error,
                    std::vector<std::string>* leftOut)
{
    if (leftOut) leftOut->clear();
    std::error_code ec;
    if (!FolderExists(from))
    {
        if (error) *error = "'" + from + "' is not a folder";
        return false;
    }
    fs::create_directories(to, ec);
    if (ec)
    {
        if (error) *error = "cannot create '" + to + "': " + ec.message();
        return false;
    }
    for (fs::recursive_directory_iterator it(from, fs::directory_options::none, ec), end; it != end; it.increment(ec))
    {
        if (ec) break;
        fs::path rel = fs::relative(it->path(), from, ec);
        if (ec) break;
        fs::path dest = fs::path(to) / rel;
        auto st = it->symlink_status(ec);
        if (fs::is_directory(st))
            fs::create_directories(dest, ec);
        else if (fs::is_regular_file(st))
        {
            fs::copy_file(it->path(), dest, fs::copy_options::overwrite_existing, ec);
            CrashPoint("copying");
        }
        else if (leftOut && !ec)
            leftOut->push_back(it->path().string());
        if (ec) break;
    }
    if (leftOut) std::sort(leftOut->begin(), leftOut->end());
    if (ec)
    {
        if (error) *error = "copying '" + from + "' failed: " + ec.message();
        return false;
    }
    return true;
}

bool RemoveFolderTree(const std::string& path)
{
    std::error_code ec;
    fs::remove_all(path, ec);
    return !fs::exists(fs::symlink_status(path, ec));
}

std::string TempFolderFor(const std::string& target) { return Beside(target, ".vadtmp-"); }
std::string OldFolderFor(const std::string& target) { return Beside(target, ".vadold-"); }

bool StageFolderCopy(const std::string& from, const std::string& target, std::string* error,
                     std::vector<std::string>* leftOut)
{
    std::string tmp = TempFolderFor(target);
    RemoveFolderTree(tmp);
    if (CopyFolderTree(from, tmp, error, leftOut)) return true;
    RemoveFolderTree(tmp);
    return false;
}

bool SwapInFolder(const std::string& target, std::string* error)
{
    std::string tmp = TempFolderFor(target), old = OldFolderFor(target);
    RemoveFolderTree(old);
    if (FolderExists(target) && rename(target.c_str(), old.c_str()) != 0)
    {
        if (error) *error = "cannot move the old folder aside";
        return false;
    }
    CrashPoint("swapping");
    if (rename(tmp.c_str(), target.c_str()) != 0)
    {
        if (FolderExists(old)) rename(old.c_str(), target.c_str());
        if (error) *error = "cannot move the new folder into place";
        return false;
    }
    return true;
}

void FinishSwap(const std::string& target) { RemoveFolderTree(OldFolderFor(target)); }

void UndoSwap(const std::string& target)
{
    std::string old = OldFolderFor(target);
    RemoveFolderTree(target);
    if (FolderExists(old)) rename(old.c_str(), target.c_str());
}

std::vector<std::string> CleanupFolderLeftovers(const std::string& parent,
                                                const std::function<bool(const std::string& target)>& swapRecorded)
{
    std::vector<std::string> done;
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
    for (const fs::path& p : entries)
    {
        std::string name = p.filename().string();
        if (name.rfind(".vadtmp-", 0) == 0)
        {
            RemoveFolderTree(p.string());
            done.push_back("removed unfinished copy " + name);
        }
    }
    for (const fs::path& p : entries)
    {
        std::string name = p.filename().string();
        if (name.rfind(".vadold-", 0) != 0) continue;
        std::string target = (p.parent_path() / name.substr(8)).string();
        bool present = FolderExists(target);
        if (present && (!swapRecorded || swapRecorded(target)))
        {
            RemoveFolderTree(p.string());
            done.push_back("removed replaced copy " + name);
            continue;
        }
        // The new copy never counted: the old one is the installed version.
        if (present && !RemoveFolderTree(target)) continue;
        if (rename(p.c_str(), target.c_str()) == 0)
            done.push_back((present ? "rolled back unrecorded copy of " : "restored ") + name.substr(8));
    }
    return done;
}

std::vector<std::string> ListBackupFolders(const std::string& backupsRoot)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::directory_iterator it(backupsRoot, ec), end; !ec && it != end; it.increment(ec))
    {
        std::string n = it->path().filename().string();
        if (IsDatedName(n) && it->is_directory(ec)) out.push_back(n);
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool BackupFolder(const std::string& folder, const std::string& backupsRoot, const std::string& name, int maxFolders,
                  std::string* error)
{
    time_t now = time(nullptr);
    tm t;
    localtime_r(&now, &t);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &t);
    std::string dated = backupsRoot + "/" + stamp;
    std::string dest = dated + "/" + name;
    // Copied under a hidden name and renamed when whole: a backup cut short by a crash never looks complete.
    std::string partial = TempFolderFor(dest);
    RemoveFolderTree(partial);
    bool ok = CopyFolderTree(folder, partial, error);
    CrashPoint("backed-up");
    if (ok)
    {
        RemoveFolderTree(dest);
        ok = rename(partial.c_str(), dest.c_str()) == 0;
        if (!ok && error) *error = "cannot move the backup copy into place";
    }
    if (!ok) RemoveFolderTree(partial);

    if (maxFolders < 1) maxFolders = 1;
    std::vector<std::string> all = ListBackupFolders(backupsRoot);
    for (size_t i = 0; i + static_cast<size_t>(maxFolders) < all.size(); ++i)
    {
        if (all[i] == stamp) continue;
        RemoveFolderTree(backupsRoot + "/" + all[i]);
    }
    return ok;
}
