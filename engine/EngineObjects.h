#pragma once
// The start-up record: the engine objects the tool starts. `main` owns one on its stack, zeroed
// before start-up; start-up fills it, every command receives it, shutdown empties it. The validation
// data manager keeps what it needs from it. (A program type, hence the global namespace; it lives with
// the engine so that the libraries above the engine can all take it.)

namespace Orvo {
class ResourceSystem;
class RenderKernel;
class OS;
class Particle;
class View;
}  // namespace Orvo

struct EngineObjects
{
    Orvo::ResourceSystem* resourceSystem = nullptr;
    Orvo::RenderKernel* renderKernel = nullptr;
    // An engine object the validation data manager takes over and deletes at its shutdown; the tool
    // never fills it.
    Orvo::Particle* engineObject = nullptr;
    Orvo::OS* os = nullptr;
    // The view the validation scene lights; the tool never fills it, so that scene gets no light.
    Orvo::View* view = nullptr;
};
