#include "daemon/AssetFolderReader.h"

#include "core/ConfigFile.h"

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

} // namespace

std::string FindAssetConfig(const std::string& folder)
{
    for (const char* name : {"config.chump", "config.txt"})
    {
        std::string p = folder + "/" + name;
        if (IsFile(p)) return p;
    }
    return {};
}

bool LoadAssetConfig(const std::string& folder, TDBTagRef& out)
{
    std::string path = FindAssetConfig(folder);
    if (path.empty()) return false;
    return LoadConfigFile(out, "", path) && out.IsContainer();
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
    rec.build = config.GetChildFloat("velmar-build", config.GetChildFloat("train-build", 0.0f));
    rec.author = config.GetChildString("author").View();
    rec.authorId = rec.kuid.userId;
    rec.description = config.GetChildString("description").View();
    rec.dependencies = ReadKuidTable(config, "kuid-table");
    rec.obsoletes = ReadKuidTable(config, "obsolete-table");
}

bool ReadAssetFolder(const std::string& folder, AssetRecord& rec, std::string* reason)
{
    TDBTagRef config;
    if (!LoadAssetConfig(folder, config))
    {
        if (reason) *reason = "no readable config.chump or config.txt";
        return false;
    }
    FillRecordFromConfig(config, rec);
    if (rec.kuid.IsNull())
    {
        if (reason) *reason = "the configuration has no valid \"kuid\"";
        return false;
    }
    rec.size = FolderSize(folder);
    rec.configStamp = AssetConfigStamp(folder);
    return true;
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
