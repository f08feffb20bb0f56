// How each part of the run ends. The members of Tool are declared in start order, so these run in
// reverse: the worker's threads, the plug-in type, validation's database answers, the database connection,
// the spec cache, the content folders, the validation scene, the list of auto-released resources, the engine
// objects, the validation data, the error handler.
#include "tool/Tool.h"

#include "assetdb/ContentFolders.h"
#include "core/VelmarWorker.h"
#include "engine/Log.h"
#include "engine/OS.h"
#include "engine/RenderKernel.h"
#include "engine/ResourceSystem.h"
#include "textures/ProcessAutoReleaseList.h"
#include "textures/VelmarTextureResource.h"
#include "validation/DataManager.h"
#include "validation/DummyLoadMaterials.h"
#include "validation/ErrorHandler.h"
#include "validation/ValidationHooks.h"

// Out of line, where the validation types are complete.
Tool::ValidationErrors::ValidationErrors() = default;
Tool::ValidationErrors::~ValidationErrors() = default;
Tool::ValidationData::ValidationData() = default;
Tool::ValidationData::~ValidationData() = default;
Tool::AutoReleaseResources::AutoReleaseResources() = default;

Tool::EngineParts::~EngineParts()
{
    delete record.renderKernel;
    record.renderKernel = nullptr;
    if (record.resourceSystem != nullptr) record.resourceSystem->Shutdown();
    delete record.resourceSystem;
    record.resourceSystem = nullptr;
    if (record.os != nullptr) record.os->Shutdown();
    delete record.os;
    record.os = nullptr;
    Orvo::Log::Flush();
}

// Withdrawn first, so that nothing new goes in; the list takes every resource still in it out as it goes, and
// a resource that outlives it then belongs to no list.
Tool::AutoReleaseResources::~AutoReleaseResources()
{
    if (!list) return;
    SetAutoReleaseList(nullptr);
    list.reset();
}

Tool::ValidationScene::~ValidationScene()
{
    if (manager == nullptr) return;
    TETLib::ReleaseDummyLoadMaterials(*manager);
    manager->ReleaseScene();
}

Tool::ContentFolderMounts::~ContentFolderMounts()
{
    if (!made) return;
    UnmountContentFolders();
    FlushResourceDatabaseCache();
}

Tool::ValidationDatabase::~ValidationDatabase()
{
    if (manager != nullptr) manager->Plugins().SetAssetDatabaseServices({});
}

Tool::WorkerQueue::~WorkerQueue() { VelmarWorker::CancelTasks(0, false); }

Tool::WorkerThreads::~WorkerThreads() { VelmarWorker::StopThreads(); }
