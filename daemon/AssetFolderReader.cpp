#include "daemon/AssetFolderReader.h"

#include "core/ConfigFile.h"
#include "engine/ConfigParser.h"
#include "engine/TextCase.h"

#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

bool IsFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

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

// The regular files of `folder` named "config.chump" and "config.txt" without regard to case (the
// smallest name when several match, so the choice does not depend on directory order).
void FindConfigsNoCase(const std::string& folder, std::string& chump, std::string& txt)
{
    DIR* d = opendir(folder.c_str());
    if (!d) return;
    while (dirent* e = readdir(d))
    {
        std::string_view n(e->d_name);
        std::string* slot = Orvo::EqualsNoCase(n, "config.chump") ? &chump
                            : Orvo::EqualsNoCase(n, "config.txt") ? &txt
                                                                  : nullptr;
        if (slot && (slot->empty() || n < *slot) && IsFile(folder + "/" + std::string(n))) slot->assign(n);
    }
    closedir(d);
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

std::string FindAssetConfig(const std::string& folder)
{
    std::string exact = folder + "/config.chump";
    if (IsFile(exact)) return exact;
    // Configurations name files in any case, so "Config.txt" counts; "config.chump" in any case still wins.
    std::string chump, txt;
    FindConfigsNoCase(folder, chump, txt);
    if (!chump.empty()) return folder + "/" + chump;
    exact = folder + "/config.txt";
    if (IsFile(exact)) return exact;
    return txt.empty() ? std::string() : folder + "/" + txt;
}

bool LoadAssetConfig(const std::string& folder, TDBTagRef& out, std::string* reason)
{
    std::string path = FindAssetConfig(folder);
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

std::string UnusedAssetConfig(const std::string& folder)
{
    std::string chump, txt;
    FindConfigsNoCase(folder, chump, txt);
    return chump.empty() || txt.empty() ? std::string() : folder + "/" + txt;
}

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

std::string AssetConfigStamp(const std::string& folder)
{
    std::string path = FindAssetConfig(folder);
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
    TDBTagRef config;
    if (!LoadAssetConfig(folder, config, reason)) return false;
    FillRecordFromConfig(config, rec);
    if (rec.kuid.IsNull())
    {
        if (reason) *reason = "'" + FindAssetConfig(folder) + "' has no valid \"kuid\"";
        return false;
    }
    rec.size = FolderSize(folder);
    rec.configStamp = AssetConfigStamp(folder);
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
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    {
        if (it->is_regular_file(ec)) total += it->file_size(ec);
    }
    return total;
}
