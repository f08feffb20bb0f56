#include "validation/DataManager.h"

#include "assetdb/ContentFolders.h"
#include "engine/File.h"
#include "engine/RenderKernel.h"
#include "engine/ResourceSystem.h"
#include "engine/SceneGraph.h"
#include "validation/ErrorHandler.h"
#include "validation/ValidateAsset.h"
#include "validation/ValidationHooks.h"

namespace TETLib {

std::unique_ptr<DataManager> DataManager::Create(std::string_view folder, ErrorHandler& errors)
{
    std::string base(folder);
    if (!base.empty() && base.back() != '/') base.push_back('/');
    // Nothing of the folder is needed to start: a missing template file leaves its definitions out of the
    // template tree, and only a validation meets that (LoadTemplates).
    std::unique_ptr<DataManager> manager(new DataManager(base, errors));
    manager->ReadPersonalDetailsIfPresent();
    return manager;
}

void DataManager::ReleaseScene()
{
    ReleaseDummyLoadMaterials(*this);  // they were made by the kernel the scene is in
    if (renderKernel_ != nullptr && rootParticle_ != nullptr) renderKernel_->GetSceneGraph().UnlinkScene(rootParticle_);
    delete view_;
    view_ = nullptr;
    delete engineObject_;
    engineObject_ = nullptr;
    delete light_;
    light_ = nullptr;
    delete rootParticle_;
    rootParticle_ = nullptr;
    os_ = nullptr;
    UseResourceSystem(nullptr);
    renderKernel_ = nullptr;
}

void DataManager::UseResourceSystem(Orvo::ResourceSystem* system)
{
    if (system == resourceSystem_) return;
    meshes_.clear();  // their resources and animators point at the database
    currentMesh_ = nullptr;
    meshDatabase_ = std::make_unique<Orvo::ResourceDatabase>(Orvo::PString(), system);
    resourceSystem_ = system;
}

DataManager::DataManager(std::string_view folder, ErrorHandler& errors)
    : errors_(errors), ruleFolder_(folder),
      meshDatabase_(std::make_unique<Orvo::ResourceDatabase>(Orvo::PString(), nullptr))
{}

DataManager::~DataManager()
{
    SavePersonalDetails();
    meshes_.clear();
    currentMesh_ = nullptr;
    ReleaseScene();
    UnloadTemplates();
}

bool DataManager::SetupScene(EngineObjects* engine)
{
    if (engine == nullptr) return false;
    os_ = engine->os;
    UseResourceSystem(engine->resourceSystem);
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

bool DataManager::SourceIsPacked() const
{
    Orvo::File::Path folder = GetSourceFolder();
    if (folder.IsEmpty()) return false;
    folder.DelSlash();
    return Orvo::File::Exists(folder.str() + ".oa");
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
    MeshSource* source = plugins_.GetMeshSource();
    return source != nullptr ? source->LoadMeshForOwner(file, owner) : nullptr;
}

std::unique_ptr<ValidationMesh> DataManager::LoadMesh(const Orvo::File::Path& file)
{
    MeshSource* source = plugins_.GetMeshSource();
    return source != nullptr ? source->LoadMesh(*this, file) : nullptr;
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
