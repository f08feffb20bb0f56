#pragma once
// The start-up record: the engine objects the tool starts. `main` owns one on its stack, zeroed
// before start-up; InitialiseTool fills it, every command receives it, ShutdownTool empties it.

namespace Orvo {
class ResourceSystem;
class RenderKernel;
class OS;
class EngineObject; // taken over by the validation data manager; the tool never fills it
class View;         // lit by the validation data manager's scene; the tool never fills it
} // namespace Orvo

struct EngineObjects {
    Orvo::ResourceSystem* resourceSystem = nullptr;
    Orvo::RenderKernel* renderKernel = nullptr;
    Orvo::EngineObject* engineObject = nullptr;
    Orvo::OS* os = nullptr;
    Orvo::View* view = nullptr;
};
