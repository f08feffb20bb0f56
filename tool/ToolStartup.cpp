#include "tool/ToolStartup.h"

#include "assetdb/ContentFolders.h"
#include "assetdb/VADClient.h"
#include "assetdb/VADRequests.h"
#include "core/CoreThreads.h"
#include "core/InterfaceTextDB.h"
#include "core/VelmarWorker.h"
#include "engine/FilePath.h"
#include "engine/Log.h"
#include "engine/OS.h"
#include "engine/RenderKernel.h"
#include "engine/ResourceSystem.h"
#include "tool/ArchiveInstall.h"
#include "tool/PluginTypeHolder.h"
#include "tool/StartDirectory.h"
#include "validation/DataManager.h"
#include "validation/DummyLoadMaterials.h"
#include "validation/ErrorHandler.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

ToolSwitches g_switches;
AnalyticsClient* g_analytics = nullptr;
PluginTypeHolder* g_pluginTypeHolder = nullptr;

uint8_t Fail(const char* message)
{
    std::fprintf(stderr, "%s\n", message);
    return 255;
}

void AddNullRender(Orvo::OS& os)
{
    std::fprintf(stderr, "%s\n", kRenderRetryMessage);
    os.GetOptions().ProcessRaw("-NullRender");
}

// Tests shorten the pause between connection attempts so that a missing daemon is found quickly.
void ApplyConnectIntervalForTests()
{
    const char* text = std::getenv("VELMAR_TEST_CONNECT_INTERVAL_MS");
    if (text == nullptr || *text == '\0') return;
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    if (*end == '\0' && ms >= 0 && ms <= 60000) VADSetConnectIntervalMs(unsigned(ms));
}

}  // namespace

const ToolSwitches& GetToolSwitches() { return g_switches; }

AnalyticsClient* GetAnalyticsClient() { return g_analytics; }

PluginTypeHolder* GetPluginTypeHolder() { return g_pluginTypeHolder; }

uint8_t InitialiseTool(EngineObjects& engine, const char* /*programPath*/, int argc, char** argv)
{
    // 1. The validation error handler comes first.
    TETLib::ErrorHandler::Initialise();

    // 2. The executable's folder.
    Orvo::File::Path exe;
    if (!GetExecutablePath(exe)) return Fail("- Failed to get executable path");
    exe.Normalise();
    Orvo::File::Path exeFolder = exe;
    exeFolder.DelName();

    // 3. Keep where the user started, then work from the executable's folder.
    SaveStartDirectory();
    if (chdir(exeFolder.c_str()) != 0)
    {
        // Not fatal: every path below is absolute.
    }

    // 4. The validation library's data folder.
    Orvo::File::Path tetData = exeFolder;
    tetData.AddPath("TETData/");
    if (!TETLib::DataManager::Initialise(tetData.View())) return Fail("- TETLib initialisation failed.");

    // 5, 6. Switches and the engine's options.
    g_switches = CollectToolSwitches(argc, argv);
    const std::string optionText = BuildEngineOptionText(g_switches);

    // 7. The engine objects.
    engine.os = new Orvo::OS("VelmarUtil", optionText, nullptr, nullptr);
    engine.resourceSystem = new Orvo::ResourceSystem();
    Orvo::ResourceSystem::SetCurrent(engine.resourceSystem);
    engine.renderKernel = new Orvo::RenderKernel(nullptr, kRenderKernelDetailScale);
    Orvo::RenderKernel::SetCurrent(engine.renderKernel);

    // 8. The OS object, with one retry on the null renderer.
    if (!engine.os->Init())
    {
        AddNullRender(*engine.os);
        if (!engine.os->Init()) return Fail("- Orvo OS initialisation failed.");
    }

    // 9. Engine log and resource system.
    Orvo::Log::Init(engine.os->GetOptions());
    engine.resourceSystem->Init(engine.os->GetOptions());

    // 10. The render kernel, with one retry on the null renderer.
    if (!engine.renderKernel->Init(engine.os, nullptr))
    {
        AddNullRender(*engine.os);
        if (!engine.renderKernel->Init(engine.os, nullptr)) return Fail("- Unable to initialize render system\n");
    }

    // 11. The validation scene and its placeholder materials.
    TETLib::DataManager::Instance()->SetupScene(&engine);
    TETLib::RegisterDummyLoadMaterials();

    // 12. The installation is the executable folder's parent.
    Orvo::File::Path root = exeFolder;
    root.DelSlash();
    root.DelName();
    SetInstallationPath(root);
    InitialiseContentFolders();
    // The command host's archive install job installs through this program's archive install.
    RegisterArchiveInstallHook();

    // 13. The asset database.
    ApplyConnectIntervalForTests();
    VADConnectionSettings settings;
    settings.Reset();
    settings.startDaemon = g_switches.startDaemon ? 1 : 0;
    settings.flag4 = 0;
    settings.clientFlag = g_switches.databaseClient ? 1 : 0;
    const bool connected = VADOpenDatabase(settings);
    if (!connected)
    {
        if (g_switches.startDaemon)
        {
            std::fprintf(stderr, "- Failed to open asset database\n");
            if (!g_switches.closeDaemonRun) return 255;
        }
        else if (!g_switches.closeDaemonRun)
        {
            return Fail("- Failed to connect to asset database");
        }
    }

    // 14.
    SetMainThread();

    // 15. Language and analytics, only with a database.
    if (connected)
    {
        Orvo::PString language;
        if (!VADGetSettingString(language, "internet", "language") || language.View().empty())
            language = Orvo::PString("US");
        InterfaceTextDB::SetLanguage(language.View());
        InterfaceTextDB::Instance();
        InterfaceTextDB::SetLoaded(false);  // its first real use loads it again
        g_analytics = new AnalyticsClient();
    }

    // 16. The plug-in type held for the run.
    delete g_pluginTypeHolder;
    g_pluginTypeHolder = new PluginTypeHolder(Orvo::UId(kPluginFamilyId), Orvo::PString(kPluginTypeName));
    return 0;
}

void ShutdownTool(EngineObjects& engine)
{
    VelmarWorker::StopThreads();
    delete g_pluginTypeHolder;
    g_pluginTypeHolder = nullptr;
    VADCloseDatabase();
    VelmarWorker::CancelTasks(0, false);
    delete g_analytics;
    g_analytics = nullptr;
    TETLib::ReleaseDummyLoadMaterials();
    TETLib::DataManager::Shutdown();
    TETLib::ErrorHandler::Shutdown();
    UnmountContentFolders();
    FlushResourceDatabaseCache();
    if (engine.renderKernel != nullptr) Orvo::RenderKernel::SetCurrent(nullptr);
    delete engine.renderKernel;
    engine.renderKernel = nullptr;
    if (engine.resourceSystem != nullptr)
    {
        engine.resourceSystem->Shutdown();
        Orvo::ResourceSystem::SetCurrent(nullptr);
    }
    delete engine.resourceSystem;
    engine.resourceSystem = nullptr;
    if (engine.os != nullptr) engine.os->Shutdown();
    delete engine.os;
    engine.os = nullptr;
    Orvo::Log::Flush();
}
