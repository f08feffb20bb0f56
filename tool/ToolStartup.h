#pragma once
// Start-up and shutdown of the tool: the validation library, the engine objects, the content folders
// and the asset database connection, in a fixed order. Start-up failures print one line beginning
// with "- " to the error stream.
#include "engine/EngineObjects.h"
#include "tool/ToolSwitches.h"

#include <cstdint>

class PluginTypeHolder;

// 0 on success, 255 on failure (its message already printed).
uint8_t InitialiseTool(EngineObjects& engine, const char* programPath, int argc, char** argv);
// Tears down everything start-up made, in order; safe after a partial start-up and when called twice.
void ShutdownTool(EngineObjects& engine);

// The switches of the last InitialiseTool.
const ToolSwitches& GetToolSwitches();

// The analytics client object: made only when the database connection stands, freed at shutdown;
// analytics and web requests do nothing while it is absent.
struct AnalyticsClient
{};
AnalyticsClient* GetAnalyticsClient();

// The plug-in type held from start-up to shutdown.
PluginTypeHolder* GetPluginTypeHolder();

// The messages and fixed values of start-up.
constexpr const char* kRenderRetryMessage = "Unable to load render kernel. Retrying with -NullRender.";
constexpr const char* kPluginFamilyId = "4C414E80-BBDA-11d4-9AD7-0001025364B8";
constexpr const char* kPluginTypeName = "bmp";
constexpr float kRenderKernelDetailScale = 8.0f;
