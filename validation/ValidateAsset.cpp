#include "validation/ValidateAsset.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/ResourceDatabaseTable.h"
#include "assetdb/ResultsLog.h"
#include "core/CoreThreads.h"
#include "core/InterfaceTextDB.h"
#include "core/MainThreadWork.h"
#include "core/TCXCallback.h"
#include "core/VelmarWorker.h"
#include "engine/File.h"
#include "validation/AssetHead.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/ValidationHooks.h"

namespace TETLib {
namespace {

VelmarPropertyRef AssetSource() { return VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString(), KUID::Null())); }

struct Counts
{
    uint32_t errors;
    uint32_t warnings;
};

Counts CountsOf(const ResultsLog& log) { return {log.ErrorCount(), log.WarningCount()}; }

// A stage that failed must have said why: when it posted nothing, say that it failed.
void RequireReason(bool passed, const Counts& before, ResultsLog& log)
{
    const Counts after = CountsOf(log);
    if (passed || after.errors != before.errors || after.warnings != before.warnings) return;
    const KUID kuid = DataManager::Instance()->GetAssetKUID();
    log.PostResult(kResultError, VelmarPropertyRef(new VelmarPropertyAssetID(Orvo::PString(), kuid)),
                   InterfaceTextDB::GetString("$tet_val_unreported_failure").View());
}

// The configuration file of a folder: "config.chump" before "config.txt"; empty when neither is there.
Orvo::PString FindConfigFile(const Orvo::File::Path& folder)
{
    for (const char* name : {"config.chump", "config.txt"})
    {
        Orvo::File::Path path = folder;
        path.AddPath(name);
        if (Orvo::File::IsFile(path.View())) return Orvo::PString(name);
    }
    return Orvo::PString();
}

}  // namespace

std::recursive_mutex& ValidationLock()
{
    static std::recursive_mutex lock;
    return lock;
}

bool ValidateConfig(Container& root, const Orvo::PString& sourceName, const Orvo::File::Path& configPath,
                    ResultsLog& log)
{
    std::lock_guard<std::recursive_mutex> hold(ValidationLock());
    DataManager* manager = DataManager::Instance();
    Counts before = CountsOf(log);
    bool passed = CheckAssetHead(sourceName, configPath, log, &root);
    RequireReason(passed, before, log);
    if (passed)
    {
        before = CountsOf(log);
        passed = ValidateContainerAndPost(root, log);
        RequireReason(passed, before, log);
    }
    manager->PurgeLoadedMeshes();
    manager->SetMeshFailure(false);
    // The flag belongs to the configuration that set it (the driver clears it before an asset as well).
    manager->SetMeshAsset(false);
    return passed;
}

bool ValidateAssetFolder(ResultsLog& log, const Orvo::PString& sourceName, const Orvo::File::Path& folder,
                         const AssetFolderCheck& folderCheck)
{
    Orvo::File::Path relative = folder;
    Orvo::PString splitSource;
    if (!SplitContentPath(relative, splitSource))
    {
        // Not a pass: the asset was not looked at.
        TDBTagRef params = TDBTagRef::NewContainer();
        params.SetChildString("file_path", folder.View());
        log.PostResult(kResultError, AssetSource(),
                       InterfaceTextDB::GetString("$tet_asset_outside_content_folders").View(), params);
        return false;
    }
    const Orvo::PString source = sourceName.empty() ? splitSource : sourceName;
    bool installed = false;
    if (!sourceName.empty())
    {
        Orvo::File::Path archive = GetContentFolder(source.View());
        archive.DelSlash();
        if (source.View() == "packages" || Orvo::File::Exists(archive.str() + ".oa")) return true;
        installed = source.View() != "editing" && source.View() != "base";
    }

    CollectGarbageOnMainThread();
    ResourceDatabaseHolder database;
    database.AcquireForSource(source.View());

    std::lock_guard<std::recursive_mutex> hold(ValidationLock());
    DataManager* manager = DataManager::Instance();
    manager->SetMeshAsset(false);
    manager->SetInstalledSource(installed);
    const uint32_t errorsBefore = log.ErrorCount();

    const Orvo::PString configName = FindConfigFile(folder);
    if (configName.empty())
    {
        TDBTagRef params = TDBTagRef::NewContainer();
        params.SetChildString("file_path", folder.View());
        log.PostResult(kResultError, InterfaceTextDB::GetString("$vad_unable_read_config_at").View(), params);
        return false;
    }
    Container root;
    manager->SetCurrentAsset(source, folder);
    manager->SetConfigFileName(configName);
    Orvo::File::Path configPath = folder;
    configPath.AddPath(configName.View());
    ValidateConfig(root, source, configPath, log);
    if (log.ErrorCount() != errorsBefore) return false;
    return folderCheck && folderCheck(source.View(), folder, log);
}

bool ValidateAssetTask::Start(ValidateAssetTask& task)
{
    task.threadId_ = CurrentThreadId();
    TCXCallback* callback = TCXCallbackCPPVoidPtr<ValidateAssetTask>::Create(&task, &ValidateAssetTask::Run);
    // On the main thread the task runs at once: queueing it there and waiting would wait on itself.
    VelmarWorker::CallTask(callback, VelmarWorker::kMainThread | VelmarWorker::kRunInline, nullptr, &task.result_);
    callback->Release();
    return task.result_ != 0;
}

bool ValidateAssetTask::Run(void*)
{
    const Orvo::File::Path folder = *folder_;
    const Orvo::PString source = *sourceName_;
    result_ = ValidateAssetFolder(*log_, source, folder, *folderCheck_) ? 1 : 0;
    return result_ != 0;
}

bool ValidateAssetForCommandHost(const Orvo::PString& sourceName, const Orvo::File::Path& folder, ResultsLog& log,
                                 const AssetFolderCheck& folderCheck)
{
    ValidateAssetTask task(sourceName, folder, log, folderCheck);
    return ValidateAssetTask::Start(task);
}

}  // namespace TETLib
