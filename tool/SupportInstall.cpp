#include "tool/Support.h"

#include "assetdb/ArchiveEntry.h"
#include "assetdb/ResultsLog.h"
#include "assetdb/VADClient.h"
#include "core/VelmarProperty.h"
#include "engine/File.h"
#include "engine/TextCase.h"
#include "platform/FolderWalk.h"

#include <algorithm>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

// Asset folders handed to the daemon in one request.
constexpr size_t kInstallBatch = 256;

struct WalkState
{
    ResultsLog& log;
    const InstallCancel* cancel;
    // Called for each asset folder found.
    void (*found)(void* context, const Orvo::File::Path& folder);
    void* context;
    // The folders walked (device, inode): one reached again, through a link, is not walked twice.
    std::set<std::pair<dev_t, ino_t>> walked;
};

// One listing of a folder: whether it holds a configuration file ("config.txt" or "config.chump" in any
// case, a regular file or a link to one), and its sub-folders (links to folders too), sorted by name.
bool ListFolder(const Platform::Folder& dir, bool& holdsConfig, std::vector<Platform::FolderEntry>& folders)
{
    holdsConfig = false;
    folders.clear();
    std::vector<Platform::FolderEntry> entries;
    if (!dir.List(entries)) return false;
    for (Platform::FolderEntry& e : entries)
    {
        struct stat st;
        const bool linked = e.type == Platform::EntryType::kOther && ::fstatat(dir.Fd(), e.name.c_str(), &st, 0) == 0;
        const bool file = e.type == Platform::EntryType::kFile || (linked && S_ISREG(st.st_mode));
        if (file && (Orvo::EqualsNoCase(e.name, "config.txt") || Orvo::EqualsNoCase(e.name, "config.chump")))
            holdsConfig = true;
        else if (e.type == Platform::EntryType::kFolder || (linked && S_ISDIR(st.st_mode)))
            folders.push_back(std::move(e));
    }
    return true;
}

// Opens a sub-folder found by ListFolder by descriptor: a link to a folder is followed only where no other
// user can have put it (a link another user made or swapped in is named on the log and left out), so that
// whatever is handed to the daemon lies where the user's own folders lead.
bool OpenSubFolder(const Platform::Folder& dir, const Platform::FolderEntry& e, const Orvo::File::Path& path,
                   ResultsLog& log, Platform::Folder& sub)
{
    if (e.type == Platform::EntryType::kFolder && sub.OpenSub(dir, e.name)) return true;
    std::string why;
    if (sub.OpenFrom(dir, e.name, &why)) return true;
    log.PostResultF(kResultWarning, "Folder not searched: %s: %s", path.c_str(), why.c_str());
    return false;
}

// `folder` is the path as handed on, `dir` the same folder, open.
uint32_t Walk(const Orvo::File::Path& folder, const Platform::Folder& dir, WalkState& s, int depth)
{
    struct stat st;
    if (::fstat(dir.Fd(), &st) != 0 || !s.walked.emplace(st.st_dev, st.st_ino).second) return 0;
    bool holdsConfig;
    std::vector<Platform::FolderEntry> folders;
    if (!ListFolder(dir, holdsConfig, folders)) return 0;
    if (holdsConfig)
    {
        s.found(s.context, folder);
        return 1;
    }
    if (depth >= kMaxInstallTreeDepth)
    {
        s.log.PostResultF(kResultWarning,
                          "Folder tree too deep, not searched further: '%s' lies %d folders below the folder given, "
                          "the deepest a search goes; the folders in it are not searched.",
                          folder.c_str(), kMaxInstallTreeDepth);
        return 0;
    }
    // Plain sub-folders before links: a folder that a link also leads to is walked (once) by its own name.
    std::stable_partition(folders.begin(), folders.end(),
                          [](const Platform::FolderEntry& e) { return e.type == Platform::EntryType::kFolder; });
    uint32_t count = 0;
    for (const Platform::FolderEntry& e : folders)
    {
        Orvo::File::Path child(folder);
        child.AddPath(e.name);
        Platform::Folder sub;
        if (!OpenSubFolder(dir, e, child, s.log, sub)) continue;
        // A link, or a folder something is mounted on, may lead into the kernel's folders, which never end.
        if (Platform::IsSystemFolder(sub))
            s.log.PostResultF(kResultWarning, "Folder not searched: %s: it lies below /proc, /sys or /dev",
                              child.c_str());
        else
            count += Walk(child, sub, s, depth + 1);
        if (s.cancel && s.cancel->stop.load()) break;
    }
    return count;
}

uint32_t WalkTree(const Orvo::File::Path& folder, ResultsLog& log, const InstallCancel* cancel,
                  void (*found)(void*, const Orvo::File::Path&), void* context)
{
    std::string dir;
    if (folder.IsEmpty() || !Orvo::File::Resolve(folder.View(), dir)) return 0;
    Platform::Folder top;
    std::string why;
    if (!top.Open(dir, &why))
    {
        // A folder that is there, reached through a link another user can change: say why it was not searched.
        struct stat st;
        if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            log.PostResultF(kResultWarning, "Folder not searched: %s", why.c_str());
        return 0;
    }
    if (Platform::IsSystemFolder(top))
    {
        log.PostResultF(kResultError, "The folder '%s' lies below /proc, /sys or /dev; it holds no assets.",
                        folder.c_str());
        return 0;
    }
    WalkState s{log, cancel, found, context, {}};
    return Walk(folder, top, s, 0);
}

struct HandOverEach
{
    ResultsLog& log;
    uint32_t options;
    uint8_t flag;
    InstallHandOverFn handOver;
    uint32_t refused = 0;
};

// The assets said to be installed in the results posted since the first `from` of them.
std::set<KUID> InstalledSince(const ResultsLog& log, size_t from)
{
    std::set<KUID> said;
    const std::vector<ResultsLog::Result> results = log.GetResults();
    for (size_t i = from; i < results.size(); ++i)
        if (const VelmarPropertyAssetID* id = results[i].source.AsAssetID(); id && results[i].kind == kResultSuccess)
            said.insert(id->GetKUID());
    return said;
}

// The KUID an asset folder's configuration names; null when it cannot be read.
KUID FolderKUID(const std::string& folder)
{
    TDBTagRef config;
    Orvo::String reason;
    if (!LoadPackableAssetConfig(Orvo::File::Path(folder), config, reason)) return KUID::Null();
    return config.GetChildKUID("kuid", KUID::Null());
}

// Asset folders collected and handed to the daemon a batch at a time.
struct HandOverBatches
{
    VADClient& client;
    ResultsLog& log;
    uint32_t options;
    std::vector<std::string> pending;
    uint32_t refused = 0;

    void Flush()
    {
        if (pending.empty()) return;
        std::vector<KUID> installed;
        const size_t before = log.GetResultCount();
        if (!client.InstallFromFolders(pending, installed, &log, options))
        {
            // The request failed as a whole (the link was lost, say): the user must learn which folders to
            // install again, not only that the request failed. A folder whose asset the daemon said it
            // installed before the request failed keeps that one verdict.
            const std::set<KUID> said = InstalledSince(log, before);
            for (const std::string& folder : pending)
            {
                if (!said.empty() && said.count(FolderKUID(folder))) continue;
                ++refused;
                log.PostResultF(kResultError, "The asset folder '%s' was not installed.", folder.c_str());
            }
        }
        else
            for (const KUID& k : installed) refused += k.IsNull() ? 1 : 0;
        pending.clear();
    }
};

}  // namespace

uint32_t WalkAssetFolderTree(const Orvo::File::Path& folder, ResultsLog& log, uint32_t options, uint8_t flag,
                             const InstallCancel* cancel, InstallHandOverFn handOver, uint32_t* refused)
{
    if (!handOver) return 0;
    HandOverEach each{log, options, flag, handOver};
    auto found = [](void* context, const Orvo::File::Path& f) {
        auto& e = *static_cast<HandOverEach*>(context);
        if (!e.handOver(f, e.log, e.options, e.flag)) ++e.refused;
    };
    const uint32_t count = WalkTree(folder, log, cancel, found, &each);
    if (refused) *refused = each.refused;
    return count;
}

uint32_t InstallFromFolderTree(VADClient& client, Orvo::File::Path folder, ResultsLog& log, uint32_t options, uint8_t,
                               const InstallCancel* cancel, uint32_t* refused)
{
    // The folders go to the daemon in batches: one request and one store transaction for many assets.
    HandOverBatches batches{client, log, options, {}};
    auto found = [](void* context, const Orvo::File::Path& f) {
        auto& b = *static_cast<HandOverBatches*>(context);
        b.pending.push_back(f.str());
        if (b.pending.size() >= kInstallBatch) b.Flush();
    };
    const uint32_t count = WalkTree(folder, log, cancel, found, &batches);
    batches.Flush();
    if (refused) *refused = batches.refused;
    return count;
}
