#include "validation/DataManager.h"

#include "assetdb/ContentFolders.h"
#include "core/FatalError.h"
#include "engine/File.h"
#include "engine/RenderKernel.h"
#include "engine/ResourceSystem.h"
#include "engine/SceneGraph.h"
#include "validation/ValidateAsset.h"
#include "validation/ValidationHooks.h"

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

// --- the asset under validation ---

void DataManager::SetCurrentAsset(const Orvo::PString& sourceName, const Orvo::File::Path& folder)
{
    ReleaseHeldResourceDatabase(resourceDatabase_);
    sourceName_ = sourceName;
    assetFolder_ = folder;
    if (!assetFolder_.IsEmpty() && assetFolder_.View().back() != '/') assetFolder_.Add("/");
    assetRelativePath_ = Orvo::File::Path();
    Orvo::File::Path relative = folder;
    Orvo::PString splitSource;
    if (SplitContentPath(relative, splitSource)) assetRelativePath_ = relative;
    if (!sourceName_.empty()) resourceDatabase_.AcquireForSource(sourceName_.View());
}

Orvo::File::Path DataManager::GetSourceFolder() const
{
    return sourceName_.empty() ? Orvo::File::Path() : GetContentFolder(sourceName_.View());
}

void DataManager::SetAssetKUID(const KUID& kuid, bool has)
{
    kuid_ = kuid;
    hasKUID_ = has;
}

std::string DataManager::GetAssetKUIDText() const { return hasKUID_ ? KUID::ToSpacedText(kuid_).str() : std::string(); }

// --- meshes ---

ValidationMesh* DataManager::LoadMeshForOwner(const Orvo::File::Path& file, Container& owner)
{
    MeshSource* source = GetMeshSource();
    return source != nullptr ? source->LoadMeshForOwner(file, owner) : nullptr;
}

ValidationMesh* DataManager::InstallMesh(Container& owner, std::unique_ptr<ValidationMesh> mesh)
{
    if (!mesh) return nullptr;
    std::unique_ptr<ValidationMesh>& slot = meshes_[&owner];
    if (slot.get() == currentMesh_) currentMesh_ = nullptr;
    slot = std::move(mesh);
    currentMesh_ = slot.get();
    MeshesChanged();
    ObjectsChanged();
    RegistryChanged(&owner);
    return currentMesh_;
}

ValidationMesh* DataManager::GetMeshOf(const Container* owner) const
{
    auto it = meshes_.find(owner);
    return it == meshes_.end() ? nullptr : it->second.get();
}

void DataManager::RemoveMeshOf(const Container* owner)
{
    auto it = meshes_.find(owner);
    if (it == meshes_.end()) return;
    if (it->second.get() == currentMesh_) currentMesh_ = nullptr;
    meshes_.erase(it);
    MeshesChanged();
    ObjectsChanged();
}

void DataManager::PurgeLoadedMeshes()
{
    meshes_.clear();
    currentMesh_ = nullptr;
    if (resourceSystem_ != nullptr) resourceSystem_->DumpUnusedResourcesFromCache();
    Orvo::PStringCache::Instance().CollectGarbage();
    if (renderKernel_ != nullptr) renderKernel_->GetSceneGraph().PurgeDeathRow();
}

// --- registries ---

namespace {

Orvo::PString RegistryKey(const Orvo::PString& name) { return name.ToLower(); }

template <typename T>
void EraseAll(std::vector<T*>& list, const T* item)
{
    std::erase(list, const_cast<T*>(item));
}

}  // namespace

void DataManager::RegisterSourceTag(const Orvo::PString& source, Tag* tag)
{
    sourceTags_[RegistryKey(source)].push_back(tag);
    ContainersChanged();
}

void DataManager::RegisterContainer(const Orvo::PString& name, Container* container)
{
    containersByName_[RegistryKey(name)].push_back(container);
    ContainersChanged();
}

void DataManager::AppendAttachmentTag(Tag* tag)
{
    for (Tag* t : attachmentTags_)
        if (t == tag) return;
    attachmentTags_.push_back(tag);
    MeshesChanged();
}

void DataManager::AppendUniqueAttachmentTag(Tag* tag)
{
    uniqueAttachmentTags_.push_back(tag);
    ObjectsChanged();
}

void DataManager::UnregisterContainer(const Container* container)
{
    for (auto& [name, list] : containersByName_) EraseAll(list, container);
}

void DataManager::ForgetObject(const Tag* tag)
{
    for (auto& [name, list] : sourceTags_) EraseAll(list, tag);
    EraseAll(attachmentTags_, tag);
    EraseAll(uniqueAttachmentTags_, tag);
}

void DataManager::ClearRegisteredContainers(const Orvo::PString& name) { containersByName_.erase(RegistryKey(name)); }

size_t DataManager::RegisteredContainerCount(const Orvo::PString& name) const
{
    auto it = containersByName_.find(RegistryKey(name));
    return it == containersByName_.end() ? 0 : it->second.size();
}

}  // namespace TETLib
