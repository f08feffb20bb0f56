#pragma once
// The tool's run: one object owns everything start-up makes, as members in start order, so that the
// members end in reverse order when the tool object goes (the destructor is the shutdown). Start-up
// itself (ToolStartup.cpp) is a table of named steps; a failed step has printed its one line beginning
// with "- " to the error stream, and whatever the earlier steps made is ended as usual.
#include "assetdb/NWSpecFactory.h"
#include "assetdb/VADConnection.h"
#include "engine/EngineObjects.h"
#include "engine/FilePath.h"
#include "tool/PluginTypeHolder.h"
#include "tool/ToolContext.h"
#include "tool/ToolSwitches.h"

#include <cstdint>
#include <memory>

class AutoReleaseList;

namespace TETLib {
class DataManager;
class ErrorHandler;
}  // namespace TETLib

class Tool
{
public:
    Tool() = default;
    ~Tool() = default;
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    // Runs the start-up steps in order: 0 on success, 255 on failure (its message already printed).
    uint8_t Initialise(int argc, char** argv);

    // The start-up record of engine objects.
    EngineObjects& Engine() { return engine_.record; }
    const ToolSwitches& Switches() const { return switches_; }
    VADConnection& Connection() { return connection_; }
    // What every command and the command host receive: the daemon client on the tool's connection and the
    // engine objects.
    ToolContext& Context() { return context_; }
    // The plug-in type held from start-up to shutdown (null before, or when the lookup found none).
    PluginTypeHolder* PluginType() const { return pluginType_.get(); }

private:
    // The start-up steps, in the order Initialise runs them (ToolStartup.cpp).
    bool CreateValidationErrorHandler();
    bool FindExecutableFolder();
    bool EnterExecutableFolder();
    bool LoadValidationData();
    bool CollectSwitches();
    bool CreateEngineObjects();
    bool InitialiseOS();
    bool InitialiseLogAndResources();
    bool InitialiseRenderKernel();
    bool PublishDebugViewport();
    bool BuildAutoReleaseList();
    bool SetUpValidationScene();
    bool MountContentFolders();
    bool OpenAssetDatabase();
    bool AnswerValidationFromDatabase();
    bool RecordMainThread();
    bool LoadInterfaceLanguage();
    bool HoldPluginType();

    // Each part ends itself when destroyed, and only when its step made it.
    struct ValidationErrors  // the validation library's error handler
    {
        std::unique_ptr<TETLib::ErrorHandler> handler;
        ValidationErrors();
        ~ValidationErrors();
    };
    struct ValidationData  // the validation data manager and its templates, reporting into the handler
    {
        std::unique_ptr<TETLib::DataManager> manager;
        ValidationData();
        ~ValidationData();
    };
    struct EngineParts  // the OS, resource-system and render-kernel objects and the record pointing at them
    {
        EngineObjects record{};
        ~EngineParts();
    };
    struct AutoReleaseResources  // the process's list of auto-released resources, published while it lives
    {
        std::unique_ptr<AutoReleaseList> list;  // set when made
        AutoReleaseResources();
        ~AutoReleaseResources();
    };
    struct ValidationScene  // the data manager's scene in the engine and the placeholder materials
    {
        TETLib::DataManager* manager = nullptr;  // set when made
        ~ValidationScene();
    };
    struct ContentFolderMounts  // the content folders and their resource databases
    {
        bool made = false;
        ~ContentFolderMounts();
    };
    struct ValidationDatabase  // validation's questions to the asset database, answered on the connection
    {
        TETLib::DataManager* manager = nullptr;  // whose plug-ins were given the answers; set when made
        ~ValidationDatabase();
    };
    struct WorkerQueue  // the worker's queued tasks, cancelled once nothing can queue more
    {
        ~WorkerQueue();
    };
    struct WorkerThreads  // the worker's threads, stopped before anything they might use goes
    {
        ~WorkerThreads();
    };

    int argc_ = 0;
    char** argv_ = nullptr;
    Orvo::File::Path exeFolder_;

    // In start order; destroyed in reverse.
    ValidationErrors validationErrors_;
    ValidationData validationData_;
    ToolSwitches switches_;
    EngineParts engine_;
    AutoReleaseResources autoRelease_;
    ValidationScene validationScene_;
    ContentFolderMounts contentFolders_;
    WorkerQueue workerQueue_;
    NWSpecFactory specs_;  // the spec cache of the run
    VADConnection connection_;
    ToolContext context_{&connection_, engine_.record, &specs_};
    ValidationDatabase validationDatabase_;
    std::unique_ptr<PluginTypeHolder> pluginType_;
    WorkerThreads workerThreads_;
};

// The messages and fixed values of start-up.
constexpr const char* kRenderRetryMessage = "Unable to load render kernel. Retrying with -NullRender.";
constexpr const char* kPluginFamilyId = "4C414E80-BBDA-11d4-9AD7-0001025364B8";
constexpr const char* kPluginTypeName = "bmp";
constexpr float kRenderKernelDetailScale = 8.0f;
