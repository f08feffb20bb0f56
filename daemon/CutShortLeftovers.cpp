#include "daemon/CutShortLeftovers.h"

#include "daemon/FolderOps.h"
#include "platform/FileWriting.h"
#include "platform/FolderWalk.h"
#include "platform/Process.h"
#include "platform/RenameNoReplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace {

constexpr char kTextureWorkPrefix[] = "orvo_texturecompress_";  // textures/TextureCompress.h kWorkFolderPrefix
constexpr int kDlsParseDepth = 4;                               // dls-parse/<state>/<type>/... as written there
constexpr size_t kMaxEntries = 100000;                          // a folder holding more is looked through no further

bool AllDigits(std::string_view s)
{
    if (s.empty() || s.size() > 9) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

int Number(std::string_view s) { return AllDigits(s) ? std::stoi(std::string(s)) : 0; }

// The process id in "<prefix><middle>-<pid>-<n>" (an export's copy names); `middle` gets what stands between.
int CopyNameProcess(const std::string& name, std::string_view prefix, std::string* middle)
{
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    const size_t last = name.rfind('-');
    if (last == std::string::npos || last <= prefix.size() || !AllDigits(std::string_view(name).substr(last + 1)))
        return 0;
    const size_t before = name.rfind('-', last - 1);
    if (before == std::string::npos || before <= prefix.size()) return 0;
    const int pid = Number(std::string_view(name).substr(before + 1, last - before - 1));
    if (pid > 0 && middle) *middle = name.substr(prefix.size(), before - prefix.size());
    return pid;
}

// The process id in "orvo_texturecompress_<pid>_XXXXXX".
int TextureWorkProcess(const std::string& name)
{
    const std::string_view prefix = kTextureWorkPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    const size_t cut = name.find('_', prefix.size());
    if (cut == std::string::npos || name.size() - cut - 1 != 6) return 0;
    return Number(std::string_view(name).substr(prefix.size(), cut - prefix.size()));
}

// Made by a process that is gone. A live process of that id, whoever it is, keeps it.
bool ProcessGone(int pid) { return pid > 0 && !Platform::IsProcessAlive(pid); }

struct Entry
{
    std::string name;
    unsigned char type;
};

// The entries of a folder (not "." or ".."), at most kMaxEntries; types as lstat tells them.
std::vector<Entry> ListFolder(const std::string& folder)
{
    std::vector<Entry> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return entries;
    while (const dirent* e = ::readdir(dir))
    {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const int type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
        entries.push_back({name, static_cast<unsigned char>(type)});
        if (entries.size() >= kMaxEntries) break;
    }
    ::closedir(dir);
    return entries;
}

void Note(std::vector<std::string>& done, bool ok, const std::string& what, const std::string& path)
{
    done.push_back(ok ? "removed " + what + " " + path
                      : "could not remove " + what + " " + path + ": " + std::strerror(errno));
}

// In `folder`: the regular files named as a replacing file's temporary whose process is gone and whose base name
// `ours` accepts; with `depth`, in the folders below it too (links not followed).
template <typename Ours>
void RemoveTemporaries(const std::string& folder, int depth, Ours ours, std::vector<std::string>& done)
{
    for (const Entry& e : ListFolder(folder))
    {
        const std::string path = folder + "/" + e.name;
        std::string base;
        if (e.type == DT_DIR && depth > 0)
            RemoveTemporaries(path, depth - 1, ours, done);
        else if (e.type == DT_REG && ProcessGone(Platform::TemporaryNameProcess(e.name, &base)) && ours(base))
            Note(done, ::unlink(path.c_str()) == 0, "the temporary file", path);
    }
}

bool Empty(const std::string& folder) { return ListFolder(folder).empty(); }

// A package folder NAME/ an export was writing into when it was cut short.
void CleanupPackageFolder(const std::string& folder, const std::string& packageName, std::vector<std::string>& done)
{
    const std::string archive = packageName + ".cdp";
    RemoveTemporaries(
        folder, 0, [&](const std::string& base) { return base == archive || base == "package.txt"; }, done);
    for (const Entry& e : ListFolder(folder))
    {
        if (e.type != DT_DIR) continue;
        const std::string path = folder + "/" + e.name;
        std::string copy;
        if (ProcessGone(CopyNameProcess(e.name, ".vadnew-", &copy)))
        {
            Note(done, RemoveFolderTree(path), "the copy an export was moving in", path);
        }
        else if (ProcessGone(CopyNameProcess(e.name, ".vadold-", &copy)) && IsSafeFileName(copy))
        {
            const std::string own = folder + "/" + copy;
            if (Platform::RenameNoReplace(path, own))
                done.push_back("gave the earlier package copy " + path + " its name back");
            else
                done.push_back("left the earlier package copy " + path + " as it is: " + std::strerror(errno));
        }
    }
}

}  // namespace

std::vector<std::string> CleanupCutShortWork(const DaemonRoot& root)
{
    std::vector<std::string> done;
    const std::string packages = root.UserData("packages");
    const std::string_view suffix = kExportPartialSuffix;
    for (const Entry& e : ListFolder(packages))
    {
        if (e.type != DT_DIR) continue;
        const std::string path = packages + "/" + e.name;
        struct stat st;
        const bool partial =
            e.name.size() > suffix.size() && e.name.compare(e.name.size() - suffix.size(), suffix.size(), suffix) == 0;
        if (partial && ::lstat((path + "/" + kExportPartialMark).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            Note(done, RemoveFolderTree(path), "the folder of an export that was cut short,", path);
        else if (partial && Empty(path))
            Note(done, ::rmdir(path.c_str()) == 0, "the folder of an export that was cut short,", path);
        else
            CleanupPackageFolder(path, e.name, done);
    }
    const auto any = [](const std::string&) { return true; };
    RemoveTemporaries(root.UserData("settings"), 0, any, done);
    RemoveTemporaries(root.UserData("dls-parse"), kDlsParseDepth, any, done);
    const std::string cache = root.UserData("cache");
    RemoveTemporaries(cache, 0, any, done);
    for (const Entry& e : ListFolder(cache))
        if (e.type == DT_DIR && ProcessGone(TextureWorkProcess(e.name)))
            Note(done, RemoveFolderTree(cache + "/" + e.name), "the texture compressor's folder", cache + "/" + e.name);
    return done;
}

std::vector<std::string> LeaveOutLeftTemporaries(const std::string& copy)
{
    namespace fs = std::filesystem;
    std::vector<std::string> left;
    std::error_code ec;
    const fs::path base(copy);
    for (fs::recursive_directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec))
    {
        if (it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
        if (!ProcessGone(Platform::TemporaryNameProcess(it->path().filename().string()))) continue;
        if (::unlink(it->path().c_str()) == 0) left.push_back(it->path().lexically_relative(base).string());
        if (left.size() >= kMaxEntries) break;
    }
    return left;
}

void PostTemporaryLeftOut(DaemonResults* results, const KUID& kuid, const std::string& path)
{
    PostResult(results, kResultWarning,
               "'$(FILE_PATH)' was not installed: it is a temporary file that a command cut short left behind.", kuid,
               {{"asset_kuid", kuid.ToString()}, {"file_path", path}});
}
