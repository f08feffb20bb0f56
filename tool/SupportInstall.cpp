#include "tool/Support.h"

#include "assetdb/ResultsLog.h"
#include "assetdb/VADRequests.h"
#include "engine/File.h"
#include "engine/FileFind.h"

namespace {

bool HoldsAssetConfig(const Orvo::File::Path& folder)
{
    Orvo::File::Path config(folder);
    config.AddPath("config.txt");
    if (Orvo::File::IsFile(config.View())) return true;
    config.SetExt("chump");
    return Orvo::File::IsFile(config.View());
}

bool HandOverToDaemon(const Orvo::File::Path& folder, ResultsLog& log, uint32_t options, uint8_t flag)
{
    KUID installed;
    return VADInstallFromFolder(installed, folder, &log, options, flag);
}

uint32_t Walk(const Orvo::File::Path& folder, ResultsLog& log, uint32_t options, uint8_t flag,
              const InstallCancel* cancel, InstallHandOverFn handOver, uint32_t& refused, int depth)
{
    if (folder.IsEmpty()) return 0;
    if (HoldsAssetConfig(folder))
    {
        if (!handOver(folder, log, options, flag)) ++refused;
        return 1;
    }
    if (depth >= kMaxInstallTreeDepth)
    {
        log.PostResultF(kResultWarning, "Folder tree too deep, not searched further: %s", folder.c_str());
        return 0;
    }
    Orvo::File::Path pattern(folder);
    pattern.AddPath("*");
    Orvo::File::Find find(pattern.View());
    uint32_t count = 0;
    for (const auto& entry : find)
    {
        if (entry.name == "." || entry.name == "..") continue;
        Orvo::File::Path child(folder);
        child.AddPath(entry.name);
        count += Walk(child, log, options, flag, cancel, handOver, refused, depth + 1);
        if (cancel && cancel->stop.load()) break;
    }
    return count;
}

}  // namespace

uint32_t WalkAssetFolderTree(const Orvo::File::Path& folder, ResultsLog& log, uint32_t options, uint8_t flag,
                             const InstallCancel* cancel, InstallHandOverFn handOver, uint32_t* refused)
{
    uint32_t notInstalled = 0;
    const uint32_t count =
        Walk(folder, log, options, flag, cancel, handOver ? handOver : HandOverToDaemon, notInstalled, 0);
    if (refused) *refused = notInstalled;
    return count;
}

uint32_t InstallFromFolderTree(Orvo::File::Path folder, ResultsLog& log, uint32_t options, uint8_t flag,
                               const InstallCancel* cancel, uint32_t* refused)
{
    return WalkAssetFolderTree(folder, log, options, flag, cancel, HandOverToDaemon, refused);
}
