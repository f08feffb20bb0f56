#include "daemon/AssetFolderReader.h"

#include "core/ConfigFile.h"
#include "engine/ConfigFileBound.h"
#include "engine/ConfigParser.h"
#include "engine/TextCase.h"
#include "platform/EntryNames.h"
#include "platform/FolderWalk.h"

#include <cerrno>
#include <climits>
#include <cstdint>
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

void AddFolderSize(DIR* d, uint64_t& total, int depth);

// Adds the size of one entry of an open listing: a regular file (or a link to one), or the files below a
// folder (links to folders are not followed).
void AddEntrySize(int fd, const dirent* e, uint64_t& total, int depth)
{
    std::string_view n(e->d_name);
    if (Platform::IsDotOrDotDot(n)) return;
    unsigned char type = e->d_type;
    struct stat st;
    if (type == DT_UNKNOWN)
    {
        if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return;
        type = S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
    }
    if (type == DT_DIR)
    {
        if (depth >= 256) return;
        const int sub = openat(fd, e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) return;
        if (DIR* sd = fdopendir(sub))
        {
            AddFolderSize(sd, total, depth + 1);
            closedir(sd);
        }
        else
            close(sub);
        return;
    }
    if (fstatat(fd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) total += static_cast<uint64_t>(st.st_size);
}

// Adds the sizes of the regular files below a folder, from an open listing.
void AddFolderSize(DIR* d, uint64_t& total, int depth)
{
    const int fd = dirfd(d);
    while (dirent* e = readdir(d)) AddEntrySize(fd, e, total, depth);
}

bool IsConfigName(std::string_view n, bool& isChump)
{
    isChump = Orvo::EqualsNoCase(n, "config.chump");
    return isChump || Orvo::EqualsNoCase(n, "config.txt");
}

// The configuration files of one listing: the smallest names (so the choice does not depend on directory
// order) of files named "config.chump" and "config.txt" without regard to case, and whether the exact names
// are there.
class ConfigChoice
{
public:
    // A file of a configuration's name; `regular`: a regular file rather than a link to one.
    void Offer(std::string_view n, bool isChump, bool regular)
    {
        std::string& slot = isChump ? chump_ : txt_;
        if (n == (isChump ? "config.chump" : "config.txt")) (isChump ? chumpExact_ : txtExact_) = true;
        if (slot.empty() || n < slot)
        {
            slot.assign(n);
            (isChump ? chumpRegular_ : txtRegular_) = regular;
        }
    }
    // The exact name before one in another case; "config.chump" in any case before "config.txt".
    AssetConfigFiles Result(const std::string& folder) const
    {
        AssetConfigFiles out;
        if (chumpExact_)
            out.path = folder + "/config.chump", out.regular = chump_ == "config.chump" && chumpRegular_;
        else if (!chump_.empty())
            out.path = folder + "/" + chump_, out.regular = chumpRegular_;
        else if (txtExact_)
            out.path = folder + "/config.txt", out.regular = txt_ == "config.txt" && txtRegular_;
        else if (!txt_.empty())
            out.path = folder + "/" + txt_, out.regular = txtRegular_;
        if (!chump_.empty() && !txt_.empty()) out.unusedText = folder + "/" + txt_;
        return out;
    }

private:
    std::string chump_, txt_;
    bool chumpExact_ = false, txtExact_ = false, chumpRegular_ = false, txtRegular_ = false;
};

// One listing of an asset folder: its configuration files (AssetConfigFiles) and, when asked, the size of
// its files (from the same listing).
AssetConfigFiles ListFolder(const std::string& folder, uint64_t* size)
{
    if (size) *size = 0;
    DIR* d = opendir(folder.c_str());
    if (!d) return {};
    ConfigChoice choice;
    const int fd = dirfd(d);
    while (dirent* e = readdir(d))
    {
        if (size) AddEntrySize(fd, e, *size, 0);
        bool isChump = false;
        if (IsConfigName(e->d_name, isChump) && EntryIsFile(fd, e))
            choice.Offer(e->d_name, isChump, e->d_type == DT_REG);
    }
    closedir(d);
    return choice.Result(folder);
}

std::string StampOf(const std::string& path, const struct stat& st)
{
    return path.substr(path.rfind('/') + 1) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_size);
}

// The record's fields from a loaded configuration; false and the reason when it has no valid KUID.
bool FillRecord(const TDBTagRef& config, const std::string& path, AssetRecord& rec, std::string* reason)
{
    FillRecordFromConfig(config, rec);
    if (rec.kuid.IsNull())
    {
        if (reason) *reason = "'" + path + "' has no valid \"kuid\"";
        return false;
    }
    return true;
}

// Parses a configuration's bytes into the record.
bool ParseRecord(const std::string& path, const std::string& bytes, AssetRecord& rec, std::string* reason)
{
    TDBTagRef config;
    const ConfigFileResult result = ParseConfigData(config, bytes, ConfigFileFormFor(path, {}), path.c_str());
    if (result != ConfigFileResult::kOK || !config.IsContainer())
    {
        if (reason) *reason = ConfigLoadFailureReason(path, result, &bytes);
        return false;
    }
    return FillRecord(config, path, rec, reason);
}

// Why a copy leaves out the file at `path`, as the start of a result's text: it is a link or special file
// (`link` then true), or it has a name no file of an asset may have.
const char* LeftOutReason(const std::string& path, bool& link)
{
    link = Platform::IsPlainEntryName(path.substr(path.rfind('/') + 1));
    return link ? "'$(FILE_PATH)' is a symbolic link or special file"
                : "'$(FILE_PATH)' has a name no file of an asset may have";
}

}  // namespace

// A text that does not parse is read once more to get the parser's own message, which names the file and
// the line.
std::string ConfigLoadFailureReason(const std::string& path, ConfigFileResult result, const std::string* text)
{
    switch (result)
    {
    case ConfigFileResult::kSyntaxError:
    {
        Orvo::ConfigParser parser;
        const int parsed = text ? parser.ParseText(*text, path) : parser.Parse(path);
        if (parsed != Orvo::ConfigParser::Ok && !parser.GetError().empty()) return parser.GetError();
        return "'" + path + "' does not parse";
    }
    case ConfigFileResult::kNotValid: return "'" + path + "' is not a configuration file";
    case ConfigFileResult::kDamaged: return "'" + path + "' is damaged";
    case ConfigFileResult::kNewerVersion: return "'" + path + "' was made by a newer version of the program";
    case ConfigFileResult::kTooLarge: return Orvo::ConfigFileTooLargeText(path);
    case ConfigFileResult::kOK: return "'" + path + "' holds no configuration";
    default: return "'" + path + "' cannot be read";
    }
}

AssetConfigFiles ListAssetConfigs(const std::string& folder, uint64_t* size) { return ListFolder(folder, size); }

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
    bool link = false;
    for (const std::string& path : paths)
        PostResult(results, kResultWarning, std::string(LeftOutReason(path, link)) + "; it was left out.", source,
                   {{"file_path", path}});
}

void PostLeftOutOfCommit(DaemonResults* results, const KUID& asset, const std::vector<std::string>& paths)
{
    const ResultParams kuid = {{"asset_kuid", asset.ToString()}};
    for (const std::string& path : paths)
    {
        ResultParams params = kuid;
        params.emplace_back("file_path", path);
        bool link = false;
        std::string text = LeftOutReason(path, link);
        if (link) text += ", which asset $(ASSET_KUID) cannot hold";
        PostResult(results, kResultError, text + "; the commit would leave it out.", asset, params);
    }
    PostResult(results, kResultError,
               "Asset $(ASSET_KUID) was not committed and stays open for editing with all its files: rename or "
               "remove what was named, then commit again.",
               asset, kuid);
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
    return StampOf(path, st);
}

bool ReadAssetConfigStamped(const std::string& path, AssetRecord& rec, std::string& stamp, std::string* reason)
{
    stamp.clear();
    // The usual case, a regular file: one open gives both the stamp and the text. Anything else goes the
    // general way, which gives the same stamp and the same reasons.
    const int fd = path.empty() ? -1 : open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) > Orvo::kMaxConfigFileBytes)
    {
        if (fd >= 0) close(fd);
        stamp = AssetConfigStampAt(path);
        return ReadAssetConfigAt(path, rec, reason);
    }
    stamp = StampOf(path, st);
    Orvo::NoteConfigLoad(static_cast<uint64_t>(st.st_size));
    std::string bytes(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (got < bytes.size())
    {
        const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    bytes.resize(got);  // a file that shrank meanwhile gives what was there
    return ParseRecord(path, bytes, rec, reason);
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
    return LoadAssetConfigAt(path, config, reason) && FillRecord(config, path, rec, reason);
}

bool ReadSourceAssetConfig(const std::string& folder, AssetConfigFiles& configs, AssetRecord& rec, std::string* reason)
{
    configs = AssetConfigFiles();
    // The folder and its configuration are opened by descriptor, never through a link another user may
    // have swapped in since the folder was named.
    Platform::Folder dir;
    std::vector<Platform::FolderEntry> entries;
    std::string why;
    if (!dir.Open(folder, &why, Platform::kOpenNoFinalLink) || !dir.List(entries))
    {
        if (reason) *reason = why.empty() ? kNoAssetConfigReason : why;
        return false;
    }
    ConfigChoice choice;
    for (const Platform::FolderEntry& e : entries)
    {
        bool isChump = false;
        if (e.type != Platform::EntryType::kFolder && IsConfigName(e.name, isChump))
            choice.Offer(e.name, isChump, e.type == Platform::EntryType::kFile);
    }
    configs = choice.Result(folder);
    if (configs.path.empty())
    {
        if (reason) *reason = kNoAssetConfigReason;
        return false;
    }
    Platform::OpenedFile file;
    const std::string name = configs.path.substr(configs.path.rfind('/') + 1);
    configs.regular = false;
    switch (file.Open(dir, name))
    {
    case Platform::OpenedFile::Result::kOpened: break;
    case Platform::OpenedFile::Result::kNotRegular:
        if (reason) *reason = "'" + configs.path + "' is a symbolic link or special file; it was not read";
        return false;
    case Platform::OpenedFile::Result::kFailed:
        if (reason) *reason = "'" + configs.path + "' cannot be read";
        return false;
    }
    configs.regular = true;
    if (file.Size() > Orvo::kMaxConfigFileBytes)
    {
        if (reason) *reason = Orvo::ConfigFileTooLargeText(configs.path);
        return false;
    }
    std::string bytes;
    if (!file.Read(bytes, Orvo::kMaxConfigFileBytes))
    {
        if (reason) *reason = "'" + configs.path + "' cannot be read";
        return false;
    }
    Orvo::NoteConfigLoad(bytes.size());
    return ParseRecord(configs.path, bytes, rec, reason);
}

bool ConfirmCopiedAssetConfig(const std::string& copy, AssetConfigFiles& configs, AssetRecord& rec, std::string* reason)
{
    AssetConfigFiles copied;
    AssetRecord fresh;
    std::string why;
    if (!ReadSourceAssetConfig(copy, copied, fresh, &why))
    {
        if (reason)
            *reason = "its configuration changed while its folder was copied, and the copy holds none that reads";
        return false;
    }
    if (fresh.kuid != rec.kuid)
    {
        if (reason)
            *reason = "its configuration changed while its folder was copied: the copy names " + fresh.kuid.ToString() +
                      ", not " + rec.kuid.ToString();
        return false;
    }
    configs = std::move(copied);
    rec = std::move(fresh);
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
