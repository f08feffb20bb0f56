#pragma once
// The render kernel: the scene graph, the display and the material factory. Init picks the display from
// the OS object's options: "-NullRender" gives the null renderer, "-render=OpenGL" (with "-hidewindow")
// the hidden OpenGL display; both draw nothing here. Any other renderer cannot start.
#include <memory>

namespace Orvo {

class Display;
class MaterialFactory;
class OS;
class SceneGraph;

class RenderKernel {
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
    bool IsInitialised() const { return m_display != nullptr; }

    SceneGraph& GetSceneGraph() { return *m_sceneGraph; }
    Display* GetDisplay() { return m_display.get(); }
    MaterialFactory& GetMaterialFactory() { return *m_materials; }
    float GetDetailScale() const { return m_detailScale; }

    // The process's render kernel (the one start-up created), or null.
    static RenderKernel* Current();
    static void SetCurrent(RenderKernel* kernel);

private:
    std::unique_ptr<SceneGraph> m_ownSceneGraph;
    SceneGraph* m_sceneGraph;
    float m_detailScale;
    std::unique_ptr<Display> m_display;
    std::unique_ptr<MaterialFactory> m_materials;
};

} // namespace Orvo
