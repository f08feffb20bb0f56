#include "daemon/AssetFolderReader.h"

#include "core/ConfigFile.h"
#include "engine/ConfigParser.h"
#include "engine/TextCase.h"

#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::vector<KUID> ReadKuidTable(const TDBTagRef& config, const char* name)
{
    std::vector<KUID> out;
    TDBTagRef table = config.GetChildContainer(name);
    size_t n = table.GetChildCount();
    for (size_t i = 0; i < n && out.size() < 100000; ++i)
    {
        KUID k = table.GetChildAt(i).GetKUID();
        if (!k.IsNull()) out.push_back(k);
    }
    return out;
}

// Whether a directory entry is a regular file, following a link as stat does.
bool EntryIsFile(int dirFd, const dirent* e)
{
    if (e->d_type == DT_REG) return true;
    if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) return false;
    struct stat st;
    return fstatat(dirFd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

// Adds the sizes of the regular files below a folder (links to files count, links to folders are not
// followed), from an open listing.
void AddFolderSize(DIR* d, uint64_t& total, int depth)
{
    const int fd = dirfd(d);
    while (dirent* e = readdir(d))
    {
        std::string_view n(e->d_name);
        if (n == "." || n == "..") continue;
        unsigned char type = e->d_type;
        struct stat st;
        if (type == DT_UNKNOWN)
        {
            if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
        }
        if (type == DT_DIR)
        {
            if (depth >= 256) continue;
            const int sub = openat(fd, e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) continue;
            if (DIR* sd = fdopendir(sub))
            {
                AddFolderSize(sd, total, depth + 1);
                closedir(sd);
            }
            else
                close(sub);
            continue;
        }
        if (fstatat(fd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) total += static_cast<uint64_t>(st.st_size);
    }
}

// One listing of an asset folder: its configuration files (AssetConfigFiles) and, when asked, the size of
// its files.
AssetConfigFiles ListFolder(const std::string& folder, uint64_t* size)
{
    AssetConfigFiles out;
    if (size) *size = 0;
    DIR* d = opendir(folder.c_str());
    if (!d) return out;
    // The smallest names (so the choice does not depend on directory order) of regular files named
    // "config.chump" and "config.txt" without regard to case, and whether the exact names are there.
    std::string chump, txt;
    bool chumpExact = false, txtExact = false, chumpRegular = false, txtRegular = false;
    const int fd = dirfd(d);
    while (dirent* e = readdir(d))
    {
        std::string_view n(e->d_name);
        const bool isChump = Orvo::EqualsNoCase(n, "config.chump");
        if (!isChump && !Orvo::EqualsNoCase(n, "config.txt")) continue;
        if (!EntryIsFile(fd, e)) continue;
        std::string& slot = isChump ? chump : txt;
        bool& regular = isChump ? chumpRegular : txtRegular;
        if (n == (isChump ? "config.chump" : "config.txt")) (isChump ? chumpExact : txtExact) = true;
        if (slot.empty() || n < slot)
        {
            slot.assign(n);
            regular = e->d_type == DT_REG;
        }
    }
    // The exact name before one in another case; "config.chump" in any case before "config.txt".
    if (chumpExact)
        out.path = folder + "/config.chump", out.regular = !chump.empty() && chump == "config.chump" && chumpRegular;
    else if (!chump.empty())
        out.path = folder + "/" + chump, out.regular = chumpRegular;
    else if (txtExact)
        out.path = folder + "/config.txt", out.regular = txt == "config.txt" && txtRegular;
    else if (!txt.empty())
        out.path = folder + "/" + txt, out.regular = txtRegular;
    if (!chump.empty() && !txt.empty()) out.unusedText = folder + "/" + txt;
    if (size)
    {
        rewinddir(d);
        AddFolderSize(d, *size, 0);
    }
    closedir(d);
    return out;
}

}  // namespace

// A text that does not parse is read once more to get the parser's own message, which names the file and
// the line.
std::string ConfigLoadFailureReason(const std::string& path, ConfigFileResult result)
{
    switch (result)
    {
    case ConfigFileResult::kSyntaxError:
    {
        Orvo::ConfigParser parser;
        if (parser.Parse(path) != Orvo::ConfigParser::Ok && !parser.GetError().empty()) return parser.GetError();
        return "'" + path + "' does not parse";
    }
    case ConfigFileResult::kNotValid: return "'" + path + "' is not a configuration file";
    case ConfigFileResult::kDamaged: return "'" + path + "' is damaged";
    case ConfigFileResult::kNewerVersion: return "'" + path + "' was made by a newer version of the program";
    case ConfigFileResult::kOK: return "'" + path + "' holds no configuration";
    default: return "'" + path + "' cannot be read";
    }
}

AssetConfigFiles ListAssetConfigs(const std::string& folder) { return ListFolder(folder, nullptr); }

// Configurations name files in any case, so "Config.txt" counts; "config.chump" in any case still wins.
std::string FindAssetConfig(const std::string& folder) { return ListFolder(folder, nullptr).path; }

bool LoadAssetConfig(const std::string& folder, TDBTagRef& out, std::string* reason)
{
    return LoadAssetConfigAt(FindAssetConfig(folder), out, reason);
}

bool LoadAssetConfigAt(const std::string& path, TDBTagRef& out, std::string* reason)
{
    if (path.empty())
    {
        if (reason) *reason = kNoAssetConfigReason;
        return false;
    }
    ConfigFileResult result = LoadConfigFileEx(out, "", path);
    if (result == ConfigFileResult::kOK && out.IsContainer()) return true;
    if (reason) *reason = ConfigLoadFailureReason(path, result);
    return false;
}

std::string UnusedAssetConfig(const std::string& folder) { return ListFolder(folder, nullptr).unusedText; }

void PostLeftOutFiles(DaemonResults* results, const KUID& source, const std::vector<std::string>& paths)
{
    for (const std::string& path : paths)
        PostResult(results, kResultWarning, "'$(FILE_PATH)' is a symbolic link or special file; it was left out.",
                   source, {{"file_path", path}});
}

void PostUnusedConfig(DaemonResults* results, const KUID& source, const std::string& folder)
{
    if (UnusedAssetConfig(folder).empty()) return;
    PostResult(results, kResultWarning,
               "The folder of asset $(ASSET_KUID) holds both config.chump and config.txt: config.chump was used, "
               "config.txt was not.",
               source, {{"asset_kuid", source.ToString()}});
}

std::string AssetConfigStamp(const std::string& folder) { return AssetConfigStampAt(FindAssetConfig(folder)); }

std::string AssetConfigStampAt(const std::string& path)
{
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0) return {};
    return path.substr(path.rfind('/') + 1) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_size);
}

void FillRecordFromConfig(const TDBTagRef& config, AssetRecord& rec)
{
    rec.kuid = config.GetChildKUID("kuid");
    rec.username = config.GetChildString("username").View();
    if (rec.username.empty()) rec.username = config.GetChildString("name").View();
    if (rec.username.empty()) rec.username = config.GetChildString("asset-filename").View();
    rec.kind = config.GetChildString("kind").View();
    rec.categoryClass = config.GetChildString("category-class").View();
    rec.categoryRegion = config.GetChildString("category-region").View();
    rec.categoryEra = config.GetChildString("category-era").View();
    rec.build = config.GetChildFloat("velmar-build", 0.0f);
    rec.author = config.GetChildString("author").View();
    rec.authorId = rec.kuid.userId;
    rec.description = config.GetChildString("description").View();
    rec.dependencies = ReadKuidTable(config, "kuid-table");
    rec.obsoletes = ReadKuidTable(config, "obsolete-table");
}

bool ReadAssetFolder(const std::string& folder, AssetRecord& rec, std::string* reason)
{
    uint64_t size = 0;
    const AssetConfigFiles files = ListFolder(folder, &size);
    if (!ReadAssetConfigAt(files.path, rec, reason)) return false;
    rec.size = size;
    rec.configStamp = AssetConfigStampAt(files.path);
    return true;
}

bool ReadAssetConfigAt(const std::string& path, AssetRecord& rec, std::string* reason)
{
    TDBTagRef config;
    if (!LoadAssetConfigAt(path, config, reason)) return false;
    FillRecordFromConfig(config, rec);
    if (rec.kuid.IsNull())
    {
        if (reason) *reason = "'" + path + "' has no valid \"kuid\"";
        return false;
    }
    return true;
}

void PostUnreadableAssetFolder(DaemonResults* results, uint32_t kind, const KUID& source, const std::string& folder,
                               const std::string& reason)
{
    if (reason.empty() || reason == kNoAssetConfigReason)
        PostResult(results, kind, "$vad_unable_read_config_at", source, {{"file_path", folder}});
    else
        PostResult(results, kind, "The asset configuration cannot be read: $(REASON_TEXT)", source,
                   {{"file_path", folder}, {"reason_text", reason}});
}

uint64_t FolderSize(const std::string& folder)
{
    uint64_t total = 0;
    if (DIR* d = opendir(folder.c_str()))
    {
        AddFolderSize(d, total, 0);
        closedir(d);
    }
    return total;
}
