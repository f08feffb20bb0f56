#include "validation/DataManager.h"

#include "core/FatalError.h"
#include "engine/File.h"
#include "engine/RenderKernel.h"
#include "engine/SceneGraph.h"

namespace TETLib {
namespace {
// Process-wide: the validation library's data manager is reached through its instance operation from
// every check, as the library's interface defines it.
DataManager* g_instance = nullptr;
}  // namespace

bool DataManager::Initialise(std::string_view folder)
{
    std::string base(folder);
    if (!base.empty() && base.back() != '/') base.push_back('/');
    for (const char* file : kTemplateFiles)
    {
        if (!Orvo::File::IsFile(base + file)) return false;
    }
    // A second start-up in one process replaces the first manager rather than leaking it.
    Shutdown();
    g_instance = new DataManager(base);
    return true;
}

DataManager* DataManager::Instance()
{
    if (g_instance == nullptr) FatalError("DataManager::Instance> datamanger not initialised");
    if (!g_instance->firstUse_)
    {
        g_instance->firstUse_ = true;
        g_instance->ReadPersonalDetailsIfPresent();
    }
    return g_instance;
}

bool DataManager::HasInstance() { return g_instance != nullptr; }

void DataManager::ReleaseScene()
{
    DataManager* self = g_instance;
    if (self == nullptr) return;
    ReleaseDummyLoadMaterials();  // they were made by the kernel the scene is in
    if (self->renderKernel_ != nullptr && self->rootParticle_ != nullptr)
        self->renderKernel_->GetSceneGraph().UnlinkScene(self->rootParticle_);
    delete self->view_;
    self->view_ = nullptr;
    delete self->engineObject_;
    self->engineObject_ = nullptr;
    delete self->light_;
    self->light_ = nullptr;
    delete self->rootParticle_;
    self->rootParticle_ = nullptr;
    self->os_ = nullptr;
    self->resourceSystem_ = nullptr;
    self->renderKernel_ = nullptr;
}

void DataManager::Shutdown()
{
    DataManager* self = g_instance;
    if (self == nullptr) return;
    self->SavePersonalDetails();
    ReleaseScene();
    self->UnloadTemplates();
    delete self;
    g_instance = nullptr;
}

DataManager::DataManager(std::string_view folder) : ruleFolder_(folder) {}

DataManager::~DataManager() = default;

bool DataManager::SetupScene(EngineObjects* engine)
{
    if (engine == nullptr) return false;
    os_ = engine->os;
    resourceSystem_ = engine->resourceSystem;
    renderKernel_ = engine->renderKernel;
    if (rootParticle_ == nullptr) rootParticle_ = new Orvo::Particle();
    if (renderKernel_ != nullptr) renderKernel_->GetSceneGraph().AddScene(rootParticle_);
    // The scene is lit only through a view; start-up gives none, so no light is made here. The light
    // and its fog settings come with the mesh library's lights.
    view_ = engine->view;
    if (view_ != nullptr) view_->scene = rootParticle_;
    engineObject_ = engine->engineObject;
    return true;
}

std::string DataManager::RulePath(std::string_view file) const
{
    return std::string(ruleFolder_.c_str()) + std::string(file);
}

Orvo::RenderKernel* DataManager::MeshRenderKernel() { return g_instance ? g_instance->renderKernel_ : nullptr; }

}  // namespace TETLib
