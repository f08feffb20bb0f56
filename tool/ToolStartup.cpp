// The tool's start-up: the steps below, in the order of the table in Tool::Initialise. Each prints its
// own failure line to the error stream.
#include "assetdb/ContentFolders.h"
#include "assetdb/VADClient.h"
#include "core/CoreThreads.h"
#include "core/InterfaceTextDB.h"
#include "engine/Log.h"
#include "engine/OS.h"
#include "engine/RenderKernel.h"
#include "engine/ResourceSystem.h"
#include "platform/Interruption.h"
#include "platform/OwnWorkRecords.h"
#include "render/VLDebugVp.h"
#include "render/materials/MeshRenderCaches.h"
#include "textures/ProcessAutoReleaseList.h"
#include "textures/VelmarTextureResource.h"
#include "tool/ArchiveInstall.h"
#include "tool/StartDirectory.h"
#include "tool/Tool.h"
#include "validation/DataManager.h"
#include "validation/DummyLoadMaterials.h"
#include "validation/ErrorHandler.h"
#include "validation/ValidationHooks.h"
#include "validation/mesh/MeshChecks.h"
#include "validation/rules/SoundRule.h"
#include "validation/upgrade/ConfigNormaliser.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool Fail(const char* message)
{
    std::fprintf(stderr, "%s\n", message);
    return false;
}

void AddNullRender(Orvo::OS& os)
{
    std::fprintf(stderr, "%s\n", kRenderRetryMessage);
    os.GetOptions().ProcessRaw("-NullRender");
}

// A number of milliseconds from a test-only environment variable; false when unset or malformed.
bool TestMilliseconds(const char* name, unsigned& ms)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0 || value > 3600000) return false;
    ms = static_cast<unsigned>(value);
    return true;
}

}  // namespace

uint8_t Tool::Initialise(int argc, char** argv)
{
    argc_ = argc;
    argv_ = argv;
    using Step = bool (Tool::*)();
    static constexpr Step kSteps[] = {
        &Tool::CreateValidationErrorHandler,
        &Tool::FindExecutableFolder,
        &Tool::EnterExecutableFolder,
        &Tool::LoadValidationData,
        &Tool::CollectSwitches,
        &Tool::CreateEngineObjects,
        &Tool::InitialiseOS,
        &Tool::InitialiseLogAndResources,
        &Tool::InitialiseRenderKernel,
        &Tool::PublishDebugViewport,
        &Tool::BuildAutoReleaseList,
        &Tool::SetUpValidationScene,
        &Tool::MountContentFolders,
        &Tool::OpenAssetDatabase,
        &Tool::AnswerValidationFromDatabase,
        &Tool::RecordMainThread,
        &Tool::LoadInterfaceLanguage,
        &Tool::HoldPluginType,
    };
    for (Step step : kSteps)
        if (!(this->*step)()) return 255;
    return 0;
}

bool Tool::CreateValidationErrorHandler()
{
    validationErrors_.handler = std::make_unique<TETLib::ErrorHandler>();
    return true;
}

bool Tool::FindExecutableFolder()
{
    Orvo::File::Path exe;
    if (!GetExecutablePath(exe)) return Fail("- Failed to get executable path");
    exe.Normalise();
    exeFolder_ = exe;
    exeFolder_.DelName();
    return true;
}

// Keeps where the user started, then works from the executable's folder.
bool Tool::EnterExecutableFolder()
{
    context_.SetStartDirectory(ReadStartDirectory());
    if (chdir(exeFolder_.c_str()) != 0)
    {
        // Not fatal: every path the tool forms is absolute.
    }
    return true;
}

bool Tool::LoadValidationData()
{
    Orvo::File::Path tetData = exeFolder_;
    tetData.AddPath("TETData/");
    validationData_.manager = TETLib::DataManager::Create(tetData.View(), *validationErrors_.handler);
    if (!validationData_.manager) return Fail("- TETLib initialisation failed.");
    TETLib::ValidationPlugins& plugins = validationData_.manager->Plugins();
    TETLib::RegisterConfigNormaliser(plugins);
    TETLib::RegisterMeshChecks(plugins);
    TETLib::RegisterSoundCheck(plugins);
    context_.SetValidation(validationData_.manager.get());
    return true;
}

bool Tool::CollectSwitches()
{
    switches_ = CollectToolSwitches(argc_, argv_);
    return true;
}

bool Tool::CreateEngineObjects()
{
    EngineObjects& e = engine_.record;
    e.os = new Orvo::OS("VelmarUtil", BuildEngineOptionText(switches_), nullptr, nullptr);
    e.resourceSystem = new Orvo::ResourceSystem();
    e.renderKernel = new Orvo::RenderKernel(nullptr, kRenderKernelDetailScale);
    return true;
}

// With one retry on the null renderer.
bool Tool::InitialiseOS()
{
    Orvo::OS& os = *engine_.record.os;
    if (os.Init()) return true;
    AddNullRender(os);
    return os.Init() || Fail("- Orvo OS initialisation failed.");
}

bool Tool::InitialiseLogAndResources()
{
    Orvo::Log::Init(engine_.record.os->GetOptions());
    engine_.record.resourceSystem->Init(engine_.record.os->GetOptions());
    return true;
}

// With one retry on the null renderer.
bool Tool::InitialiseRenderKernel()
{
    EngineObjects& e = engine_.record;
    if (e.renderKernel->Init(e.os, nullptr)) return true;
    AddNullRender(*e.os);
    return e.renderKernel->Init(e.os, nullptr) || Fail("- Unable to initialize render system\n");
}

// The engine's debug drawing goes to the program's sink, which discards it (the tool has no window). The
// sink is the process's, not the tool object's: it outlives the run.
bool Tool::PublishDebugViewport()
{
    VLDebugVp::Publish();
    return true;
}

// The one list of auto-released resources, where the display helpers find it; it goes at exit (Tool.cpp).
bool Tool::BuildAutoReleaseList()
{
    autoRelease_.list = std::make_unique<AutoReleaseList>();
    SetAutoReleaseList(autoRelease_.list.get());
    return true;
}

bool Tool::SetUpValidationScene()
{
    TETLib::DataManager& manager = *validationData_.manager;
    manager.SetupScene(&engine_.record);
    manager.Plugins().SetRenderCachesMaker(&AddMeshRenderCaches);
    TETLib::RegisterDummyLoadMaterials(manager);
    validationScene_.manager = &manager;
    return true;
}

// The installation is the executable folder's parent. From then on what the tool makes as its own work is
// recorded in the installation's register of it, for a kill that leaves it behind (platform/Interruption.h).
bool Tool::MountContentFolders()
{
    Orvo::File::Path root = exeFolder_;
    root.DelSlash();
    root.DelName();
    SetInstallationPath(root);
    Platform::KeepRegisterOfOwnWork(GetUserDataPath().str() + "/" + Platform::kOwnWorkFolder);
    InitialiseContentFolders();
    contentFolders_.made = true;
    return true;
}

// A close-daemon run only looks for a running daemon: one that is not running is not started to be closed.
bool Tool::OpenAssetDatabase()
{
    unsigned ms = 0;
    if (TestMilliseconds("VELMAR_TEST_CONNECT_INTERVAL_MS", ms)) connection_.SetConnectIntervalMs(ms);
    if (TestMilliseconds("VELMAR_TEST_REQUEST_BOUND_MS", ms)) connection_.SetBoundCapMs(ms);
    bool connected = false;
    const bool launch = switches_.startDaemon && !switches_.closeDaemonRun;
    if (switches_.closeDaemonRun)
    {
        connected = connection_.OpenOnce(switches_.databaseClient ? 1 : 0).Ok();
    }
    else
    {
        VADConnectionSettings settings;
        settings.Reset();
        settings.startDaemon = launch ? 1 : 0;
        settings.flag4 = 0;
        settings.clientFlag = switches_.databaseClient ? 1 : 0;
        connected = connection_.Open(settings).Ok();
    }
    if (connected) return true;
    if (switches_.startDaemon)
    {
        // Said in a close-daemon run too, which goes on without a database.
        Fail("- Failed to open asset database");
        // A daemon started for this run that could not start: its reason, so that nobody has to guess.
        const std::string why = connection_.DaemonStartFailure();
        if (!why.empty()) Fail(("- " + why).c_str());
        return switches_.closeDaemonRun;
    }
    return switches_.closeDaemonRun || Fail("- Failed to connect to asset database");
}

// Validation asks the daemon whether a user id is known.
bool Tool::AnswerValidationFromDatabase()
{
    VADClient client = context_.Client();
    TETLib::AssetDatabaseServices services;
    // Without an answer a user id counts as unknown.
    services.isValidUserId = [client](int32_t userId) mutable {
        return client.IsValidKUIDUserId(userId).ValueOr(false);
    };
    validationData_.manager->Plugins().SetAssetDatabaseServices(services);
    validationDatabase_.manager = validationData_.manager.get();
    return true;
}

bool Tool::RecordMainThread()
{
    SetMainThread();
    return true;
}

// Only with a database: the daemon holds the language setting.
bool Tool::LoadInterfaceLanguage()
{
    if (!connection_.Connected()) return true;
    Orvo::PString language;
    if (!context_.Client().GetSettingString(language, "internet", "language") || language.View().empty())
        language = Orvo::PString("US");
    InterfaceTextDB::SetLanguage(language.View());
    InterfaceTextDB::Instance();
    InterfaceTextDB::SetLoaded(false);  // its first real use loads it again
    return true;
}

bool Tool::HoldPluginType()
{
    pluginType_ = std::make_unique<PluginTypeHolder>(Orvo::UId(kPluginFamilyId), Orvo::PString(kPluginTypeName));
    return true;
}
