#include "validation/DataManager.h"

#include "core/FatalError.h"
#include "engine/File.h"
#include "engine/RenderKernel.h"
#include "engine/SceneGraph.h"

namespace TETLib {
namespace {
DataManager* g_instance = nullptr;
Orvo::RenderKernel* g_meshRenderKernel = nullptr;
} // namespace

bool DataManager::Initialise(std::string_view folder)
{
    std::string base(folder);
    if (!base.empty() && base.back() != '/')
        base.push_back('/');
    for (const char* file : kTemplateFiles) {
        if (!Orvo::File::IsFile(base + file))
            return false;
    }
    // A second start-up in one process replaces the first manager rather than leaking it.
    Shutdown();
    g_instance = new DataManager(base);
    return true;
}

DataManager* DataManager::Instance()
{
    if (g_instance == nullptr)
        FatalError("DataManager::Instance> datamanger not initialised");
    if (!g_instance->m_firstUse) {
        g_instance->m_firstUse = true;
        g_instance->ReadPersonalDetailsIfPresent();
    }
    return g_instance;
}

bool DataManager::HasInstance()
{
    return g_instance != nullptr;
}

void DataManager::Shutdown()
{
    DataManager* self = g_instance;
    if (self == nullptr)
        return;
    self->SavePersonalDetails();
    if (self->m_renderKernel != nullptr && self->m_rootParticle != nullptr)
        self->m_renderKernel->GetSceneGraph().UnlinkScene(self->m_rootParticle);
    self->UnloadTemplates();
    delete self->m_view;
    self->m_view = nullptr;
    delete self->m_engineObject;
    self->m_engineObject = nullptr;
    delete self->m_light;
    self->m_light = nullptr;
    delete self->m_rootParticle;
    self->m_rootParticle = nullptr;
    if (g_meshRenderKernel == self->m_renderKernel)
        g_meshRenderKernel = nullptr;
    delete self;
    g_instance = nullptr;
}

DataManager::DataManager(std::string_view folder) : m_ruleFolder(folder)
{
}

DataManager::~DataManager() = default;

bool DataManager::SetupScene(EngineObjects* engine)
{
    if (engine == nullptr)
        return false;
    m_os = engine->os;
    m_resourceSystem = engine->resourceSystem;
    m_renderKernel = engine->renderKernel;
    if (m_rootParticle == nullptr)
        m_rootParticle = new Orvo::Particle();
    if (m_renderKernel != nullptr)
        m_renderKernel->GetSceneGraph().AddScene(m_rootParticle);
    // The scene is lit only through a view; start-up gives none, so no light is made here. The light
    // and its fog settings come with the mesh library's lights.
    m_view = engine->view;
    if (m_view != nullptr)
        m_view->scene = m_rootParticle;
    m_engineObject = engine->engineObject;
    g_meshRenderKernel = m_renderKernel;
    return true;
}

std::string DataManager::RulePath(std::string_view file) const
{
    return std::string(m_ruleFolder.c_str()) + std::string(file);
}

Orvo::RenderKernel* DataManager::MeshRenderKernel()
{
    return g_meshRenderKernel;
}

} // namespace TETLib
