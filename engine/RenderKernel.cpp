#include "engine/RenderKernel.h"

#include "engine/Display.h"
#include "engine/MaterialManager.h"
#include "engine/OS.h"
#include "engine/Options.h"
#include "engine/RenderStartFault.h"
#include "engine/RenderingCache.h"
#include "engine/SceneGraph.h"
#include "engine/TextCase.h"

#include <atomic>

namespace Orvo {

RenderKernel::RenderKernel(SceneGraph* sceneGraph, float detailScale)
    : sceneGraph_(sceneGraph), detailScale_(detailScale), materials_(std::make_unique<MaterialManager>()),
      caches_(std::make_unique<RenderingCacheManager>())
{
    materials_->SetRenderKernel(this);
    if (sceneGraph_ == nullptr)
    {
        ownSceneGraph_ = std::make_unique<SceneGraph>();
        sceneGraph_ = ownSceneGraph_.get();
    }
}

RenderKernel::~RenderKernel() { Shutdown(); }

bool RenderKernel::Init(OS* os, void*)
{
    if (os == nullptr || !os->IsInitialised()) return false;
    const Options& options = os->GetOptions();
    if (RenderStartFailureForced(RenderStartPoint::Kernel, options)) return false;
    Display::Kind kind = Display::Kind::Null;
    if (!options.Has("NullRender"))
    {
        const char* renderer = options.Get("render");
        if (renderer == nullptr || !EqualsNoCase(renderer, "OpenGL")) return false;
        kind = Display::Kind::HiddenOpenGL;
    }
    display_ = std::make_unique<Display>(kind);
    // The OpenGL display draws through vertex programs and texture combiners and can draw reflections;
    // the null renderer answers no to everything.
    if (kind == Display::Kind::HiddenOpenGL)
        for (uint32_t capability : {Display::CapReflection, Display::CapVertexPrograms, Display::CapTextureCombiners})
            display_->SetCapability(capability, true);
    materials_->SetDisplay(display_.get());
    MaterialManager::RegisterEngineMaterialTypes();
    return true;
}

void RenderKernel::Shutdown()
{
    caches_->Clear();
    materials_->SetDisplay(nullptr);
    display_.reset();
}

}  // namespace Orvo
