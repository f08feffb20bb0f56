#pragma once
// The render kernel: the scene graph, the display and the material manager. Init picks the display from
// the OS object's options: "-NullRender" gives the null renderer, "-render=OpenGL" (with "-hidewindow")
// the hidden OpenGL display; both draw nothing here. Any other renderer cannot start. The OpenGL display
// answers yes to the capabilities the program's materials ask for (reflections, vertex programs, texture
// combiners); the null renderer to none.
#include <memory>

namespace Orvo {

class Display;
class MaterialManager;
class OS;
class RenderingCacheManager;
class SceneGraph;

class RenderKernel
{
public:
    // A null scene graph makes the kernel create its own. `detailScale` is kept for the renderers.
    RenderKernel(SceneGraph* sceneGraph, float detailScale);
    ~RenderKernel();
    RenderKernel(const RenderKernel&) = delete;
    RenderKernel& operator=(const RenderKernel&) = delete;

    // False when the OS object is missing or not initialised, or the chosen renderer cannot start.
    // `displaySelector` chooses among several displays; none is needed here.
    bool Init(OS* os, void* displaySelector);
    void Shutdown();
    bool IsInitialised() const { return display_ != nullptr; }

    SceneGraph& GetSceneGraph() { return *sceneGraph_; }
    Display* GetDisplay() { return display_.get(); }
    MaterialManager& GetMaterialManager() { return *materials_; }
    // The caches materials hand deferred primitives to.
    RenderingCacheManager& GetRenderingCacheManager() { return *caches_; }
    float GetDetailScale() const { return detailScale_; }

private:
    std::unique_ptr<SceneGraph> ownSceneGraph_;
    SceneGraph* sceneGraph_;
    float detailScale_;
    std::unique_ptr<Display> display_;
    std::unique_ptr<MaterialManager> materials_;
    std::unique_ptr<RenderingCacheManager> caches_;
};

}  // namespace Orvo
