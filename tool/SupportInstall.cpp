#include "tool/Support.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADRequests.h"
#include "engine/File.h"
#include "engine/TextCase.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
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
};

// One listing of a folder: whether it holds a configuration file ("config.txt" or "config.chump" in any
// case, a regular file or a link to one), and its sub-folders (links to folders too), sorted by name.
bool ListFolder(const std::string& dir, bool& holdsConfig, std::vector<std::string>& folders)
{
    holdsConfig = false;
    folders.clear();
    DIR* d = ::opendir(dir.c_str());
    if (!d) return false;
    const int fd = ::dirfd(d);
    while (dirent* e = ::readdir(d))
    {
        const std::string_view n(e->d_name);
        if (n == "." || n == "..") continue;
        unsigned char type = e->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN)
        {
            struct stat st;
            type = ::fstatat(fd, e->d_name, &st, 0) != 0 ? DT_UNKNOWN
                   : S_ISDIR(st.st_mode)                 ? DT_DIR
                   : S_ISREG(st.st_mode)                 ? DT_REG
                                                         : DT_UNKNOWN;
        }
        if (type == DT_REG && (Orvo::EqualsNoCase(n, "config.txt") || Orvo::EqualsNoCase(n, "config.chump")))
            holdsConfig = true;
        else if (type == DT_DIR)
            folders.emplace_back(n);
    }
    ::closedir(d);
    if (!holdsConfig) std::sort(folders.begin(), folders.end());
    return true;
}

// `folder` is the path as handed on, `dir` the same folder on disk.
uint32_t Walk(const Orvo::File::Path& folder, const std::string& dir, WalkState& s, int depth)
{
    bool holdsConfig;
    std::vector<std::string> folders;
    if (!ListFolder(dir, holdsConfig, folders)) return 0;
    if (holdsConfig)
    {
        s.found(s.context, folder);
        return 1;
    }
    if (depth >= kMaxInstallTreeDepth)
    {
        s.log.PostResultF(kResultWarning, "Folder tree too deep, not searched further: %s", folder.c_str());
        return 0;
    }
    uint32_t count = 0;
    for (const std::string& name : folders)
    {
        Orvo::File::Path child(folder);
        child.AddPath(name);
        count += Walk(child, dir + "/" + name, s, depth + 1);
        if (s.cancel && s.cancel->stop.load()) break;
    }
    return count;
}

uint32_t WalkTree(const Orvo::File::Path& folder, ResultsLog& log, const InstallCancel* cancel,
                  void (*found)(void*, const Orvo::File::Path&), void* context)
{
    std::string dir;
    if (folder.IsEmpty() || !Orvo::File::Resolve(folder.View(), dir)) return 0;
    WalkState s{log, cancel, found, context};
    return Walk(folder, dir, s, 0);
}

struct HandOverEach
{
    ResultsLog& log;
    uint32_t options;
    uint8_t flag;
    InstallHandOverFn handOver;
    uint32_t refused = 0;
};

// Asset folders collected and handed to the daemon a batch at a time.
struct HandOverBatches
{
    ResultsLog& log;
    uint32_t options;
    std::vector<std::string> pending;
    uint32_t refused = 0;

    void Flush()
    {
        if (pending.empty()) return;
        std::vector<KUID> installed;
        if (!VADInstallFromFolders(pending, installed, &log, options))
        {
            // The request failed as a whole (the link was lost, say): the user must learn which folders to
            // install again, not only that the request failed.
            refused += static_cast<uint32_t>(pending.size());
            for (const std::string& folder : pending)
                log.PostResultF(kResultError, "The asset folder '%s' was not installed.", folder.c_str());
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
    HandOverEach each{log, options, flag,
                      handOver ? handOver : [](const Orvo::File::Path& f, ResultsLog& l, uint32_t o, uint8_t g) {
                          KUID installed;
                          return VADInstallFromFolder(installed, f, &l, o, g);
                      }};
    auto found = [](void* context, const Orvo::File::Path& f) {
        auto& e = *static_cast<HandOverEach*>(context);
        if (!e.handOver(f, e.log, e.options, e.flag)) ++e.refused;
    };
    const uint32_t count = WalkTree(folder, log, cancel, found, &each);
    if (refused) *refused = each.refused;
    return count;
}

uint32_t InstallFromFolderTree(Orvo::File::Path folder, ResultsLog& log, uint32_t options, uint8_t,
                               const InstallCancel* cancel, uint32_t* refused)
{
    // The folders go to the daemon in batches: one request and one store transaction for many assets.
    HandOverBatches batches{log, options, {}};
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
