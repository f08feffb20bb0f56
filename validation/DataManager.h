#pragma once
// The validation library's one shared object: it knows the validation data folder ("TETData/" beside
// the executable), owns the merged template tree read from its three template files and the value lists
// of its "lists" folder, the user's personal details, the registries through which validation containers
// and tags find one another, the meshes loaded for checking with the small scene they live in, and the
// context of the asset under validation (its folders, content source, KUID, build). The tool's start-up
// creates it and hands it the engine objects; the tool owns it, and the validation containers it is handed
// to reach it (and its error handler) from every check; the tool's shutdown ends it.
#include "assetdb/ResourceDatabaseTable.h"
#include "core/KUID.h"
#include "core/TDBTagRef.h"
#include "engine/AutoReference.h"
#include "engine/EngineObjects.h"
#include "engine/FilePath.h"
#include "engine/GeometryChunk.h"
#include "engine/PString.h"
#include "engine/RenderingCache.h"
#include "engine/ResourceDatabase.h"
#include "validation/BuildNumber.h"
#include "validation/DummyLoadMaterials.h"
#include "validation/ValidationHooks.h"

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Orvo {
class Particle;
}  // namespace Orvo

namespace TETLib {

class Container;
class ErrorHandler;
class Tag;
class ValidationMesh;

struct PersonalDetails
{
    Orvo::PString author;
    Orvo::PString licence;
    Orvo::PString organisation;
    Orvo::PString email;
    Orvo::PString website;
    bool inputBoxOn = true;
};

// One line of a value list: its first word (the value) and the rest of the line (its description).
struct ListEntry
{
    Orvo::PString value;
    Orvo::PString text;
};

class DataManager
{
public:
    // The three template files, read in this order; a later definition of a name replaces an earlier.
    static constexpr const char* kTemplateFiles[3] = {"inheritance.txt", "kind.txt", "container.txt"};
    static constexpr const char* kPersonalDetailsFile = "personalDetails.txt";
    static constexpr const char* kListsFolder = "lists";
    // Bounds on what is read from the data folder.
    static constexpr uint64_t kMaxListFileBytes = 16u << 20;

    // Makes the manager for the validation data folder (ending in a separator, or given one) that reports
    // into `errors`, which must outlive it, and reads the personal details. The folder and its files need
    // not exist: the templates are read at the first validation, and what is missing there is left out
    // (LoadTemplates), so that every command that does not validate works without them. Never null. The
    // tool owns the one of a run and hands it to what validates.
    static std::unique_ptr<DataManager> Create(std::string_view folder, ErrorHandler& errors);
    DataManager(const DataManager&) = delete;
    DataManager& operator=(const DataManager&) = delete;
    // Saves the personal details, releases the scene, unloads the templates and deletes the objects it
    // took over.
    virtual ~DataManager();
    // Releases the placeholder materials, unlinks the scene from the render kernel, deletes the engine
    // objects it took over and the loaded meshes, and leaves the resource system, so that the engine can go
    // before the manager. The destructor does it too;
    // nothing the second time.
    void ReleaseScene();

    // The message sink the checks of this manager's containers report into.
    ErrorHandler& Errors() const { return errors_; }
    // What the program plugs into this manager's validation (ValidationHooks.h): filled in at start-up.
    ValidationPlugins& Plugins() { return plugins_; }
    const ValidationPlugins& Plugins() const { return plugins_; }

    // Keeps the record's OS object, resource system (the mesh database's, from now; the loaded meshes
    // go) and render kernel, creates the scene's root particle
    // in the kernel's scene graph, keeps the view (no view: no light) and the third engine object.
    virtual bool SetupScene(EngineObjects* engine);
    // Hooks for an editor that shows the registries; nothing here.
    virtual void RegistryChanged(Container*) {}
    virtual void ContainersChanged() {}
    virtual void MeshesChanged() {}
    virtual void ObjectsChanged() {}

    // --- templates and lists ---
    // Loads the template files and the lists once (until UnloadTemplates) and checks them; false when a
    // template file or the lists folder is missing, none gave a definition or a problem was found.
    //
    // A missing template file or lists folder is no problem of its own: its definitions or lists are left
    // out, and the checks that need them say so in their own findings (no kind template, no container
    // definition). Only what is there and wrong is a problem (GetTemplateProblems says which), and so is
    // a set of template files that exist but hold no definition; a reference to a definition or a list
    // that could only be in what is missing is not one.
    bool LoadTemplates();
    void UnloadTemplates();
    bool TemplatesLoaded() const { return templatesLoaded_; }
    // A counted handle of the merged template tree (null before LoadTemplates).
    TDBTagRef GetContainerDefinitions() const { return templates_; }
    // The definition of that name (names compare without regard to case), or a null handle. The handle
    // is the loaded definition itself: callers must not change it (Clone it first).
    TDBTagRef GetDefinition(const Orvo::PString& name) const;
    // What is wrong with the loaded templates and lists, one sentence each, for the user.
    const std::vector<std::string>& GetTemplateProblems() const { return templateProblems_; }
    // Reads the "lists" folder; false when it cannot be listed or a list cannot be read.
    bool LoadLists();
    // Replaces the list of that name.
    void AddList(const Orvo::PString& name, std::vector<ListEntry> entries);
    // The list of that name (without regard to case), or null.
    const std::vector<ListEntry>* GetList(const Orvo::PString& name) const;

    // --- personal details ---
    void ReadPersonalDetailsIfPresent();
    void SavePersonalDetails();
    const PersonalDetails& GetPersonalDetails() const { return personal_; }

    // --- the asset under validation ---
    // Keeps the content source and the asset's folder (absolute; a trailing separator is added) and
    // acquires the source's resource database, releasing the previous one.
    void SetCurrentAsset(const Orvo::PString& sourceName, const Orvo::File::Path& folder);
    void SetConfigFileName(const Orvo::PString& name) { configFileName_ = name; }
    const Orvo::PString& GetConfigFileName() const { return configFileName_; }
    const Orvo::PString& GetSourceName() const { return sourceName_; }
    // The asset's folder, absolute, with a trailing separator.
    const Orvo::File::Path& GetAssetFolder() const { return assetFolder_; }
    // The asset's folder relative to its content source's folder (empty when it lies in none).
    const Orvo::File::Path& GetAssetRelativePath() const { return assetRelativePath_; }
    // The folder of the current content source (empty when there is none).
    Orvo::File::Path GetSourceFolder() const;
    // True when the engine archive (".oa") of the current content source stands beside its folder.
    bool SourceIsPacked() const;
    void SetAssetKUID(const KUID& kuid, bool has);
    bool HasAssetKUID() const { return hasKUID_; }
    const KUID& GetAssetKUID() const { return kuid_; }
    // The KUID in its spaced text form, or empty.
    std::string GetAssetKUIDText() const;
    float GetAssetBuild() const { return build_; }
    void SetAssetBuild(float build) { build_ = build; }
    bool IsAlias() const { return alias_; }
    void SetAlias(bool alias) { alias_ = alias; }
    bool IsMeshAsset() const { return meshAsset_; }
    void SetMeshAsset(bool meshAsset) { meshAsset_ = meshAsset; }
    bool IsInstalledSource() const { return installedSource_; }
    void SetInstalledSource(bool installed) { installedSource_ = installed; }

    // --- meshes ---
    bool MeshFailed() const { return meshFailure_; }
    void SetMeshFailure(bool failed) { meshFailure_ = failed; }
    // Loads a mesh or animation file for a container through the registered mesh source; null when
    // nothing was loaded (always, while no source is registered).
    ValidationMesh* LoadMeshForOwner(const Orvo::File::Path& file, Container& owner);
    // Loads a mesh for the configuration normaliser through the registered mesh source (no owner, nothing
    // kept); null when it did not load or no source is registered.
    std::unique_ptr<ValidationMesh> LoadMesh(const Orvo::File::Path& file);
    // The database the mesh checks load meshes and animations through: without a name, resource names are
    // the files' own paths. It resolves through the resource system the scene was set up with (SetupScene);
    // before that and after ReleaseScene through none, so that nothing loads. Its end drops what the
    // resource cache keeps of it.
    Orvo::ResourceDatabase& MeshDatabase() { return *meshDatabase_; }
    // Keeps a loaded mesh as the owner's (replacing and deleting an earlier one) and as the current mesh.
    ValidationMesh* InstallMesh(Container& owner, std::unique_ptr<ValidationMesh> mesh);
    ValidationMesh* GetMeshOf(const Container* owner) const;
    ValidationMesh* GetCurrentMesh() const { return currentMesh_; }
    void RemoveMeshOf(const Container* owner);
    // Deletes every mesh and lets the engine drop what they used.
    void PurgeLoadedMeshes();

    // --- registries ---
    virtual void RegisterSourceTag(const Orvo::PString& source, Tag* tag);
    virtual void RegisterContainer(const Orvo::PString& name, Container* container);
    virtual void AppendAttachmentTag(Tag* tag);
    virtual void AppendUniqueAttachmentTag(Tag* tag);
    // True when a container registered under `registry` carries the name, or a loaded mesh has an
    // attachment point of that name.
    virtual bool IsKnownName(const Orvo::PString& name, const Orvo::PString& registry) const;
    // Removes the container from every list of the container registry; ForgetObject the same for a tag.
    void UnregisterContainer(const Container* container);
    void ForgetObject(const Tag* tag);
    // Empties one list of the container registry; without a name, all of them.
    void ClearRegisteredContainers(const Orvo::PString& name);
    void ClearRegisteredContainers() { containersByName_.clear(); }
    size_t RegisteredContainerCount(const Orvo::PString& name) const;

    const Orvo::PString& GetRuleFolder() const { return ruleFolder_; }
    Orvo::RenderKernel* GetRenderKernel() const { return renderKernel_; }
    Orvo::ResourceSystem* GetResourceSystem() const { return resourceSystem_; }
    Orvo::OS* GetOS() const { return os_; }
    Orvo::Particle* GetRootParticle() const { return rootParticle_; }

    // Validation containers and tags of this manager that exist, counted so that a leak shows.
    long LiveContainerCount() const { return liveContainers_.load(); }
    long LiveTagCount() const { return liveTags_.load(); }

protected:
    DataManager(std::string_view folder, ErrorHandler& errors);

private:
    friend class Container;
    friend class Tag;
    std::string RulePath(std::string_view file) const;
    // Makes the mesh database anew on `system` when it is another one than the database's.
    void UseResourceSystem(Orvo::ResourceSystem* system);
    // `definitionsMayBeMissing`: a template file is missing; `listsMayBeMissing`: the lists folder is.
    void CheckTemplates(bool definitionsMayBeMissing, bool listsMayBeMissing);

    // The placeholder materials (DummyLoadMaterials.h) live with the manager whose kernel made them.
    friend void RegisterDummyLoadMaterials(DataManager& data);
    friend void ReleaseDummyLoadMaterials(DataManager& manager);
    friend Orvo::Material* GetDummyLoadMaterial(const DataManager& manager, size_t index);
    friend bool DummyLoadMaterialsRegistered(const DataManager& manager);
    std::array<Orvo::Material*, kDummyLoadMaterialCount> placeholders_{};
    std::vector<Orvo::AutoReference<Orvo::GeometryChunk>> placeholderChunks_;
    std::vector<Orvo::AutoReference<Orvo::RenderingCache>> placeholderCaches_;
    bool placeholdersRegistered_ = false;

    ErrorHandler& errors_;
    // Before everything that a plug-in made (the meshes): it ends last.
    ValidationPlugins plugins_;
    std::atomic<long> liveContainers_{0};
    std::atomic<long> liveTags_{0};
    bool templatesLoaded_ = false;
    bool templatesComplete_ = false;  // LoadTemplates' answer: nothing missing, no problem
    bool personalRead_ = false;
    bool personalFileUnreadable_ = false;  // an existing file we could not read is left alone
    bool meshFailure_ = false;
    bool meshAsset_ = false;
    bool installedSource_ = false;
    bool hasKUID_ = false;
    bool alias_ = false;
    KUID kuid_ = KUID::Null();
    float build_ = Build::kDefault;
    Orvo::PString ruleFolder_;
    Orvo::PString configFileName_;
    Orvo::PString sourceName_;
    Orvo::File::Path assetFolder_;
    Orvo::File::Path assetRelativePath_;
    ResourceDatabaseHolder resourceDatabase_;
    TDBTagRef templates_;
    std::vector<std::string> templateProblems_;
    std::unordered_map<Orvo::PString, std::vector<ListEntry>> lists_;  // by lower-cased name
    std::unordered_map<Orvo::PString, std::vector<Container*>> containersByName_;
    std::unordered_map<Orvo::PString, std::vector<Tag*>> sourceTags_;
    std::vector<Tag*> attachmentTags_;
    std::vector<Tag*> uniqueAttachmentTags_;
    // Before the meshes, which end first: their resources and animators point at it.
    std::unique_ptr<Orvo::ResourceDatabase> meshDatabase_;
    std::map<const Container*, std::unique_ptr<ValidationMesh>> meshes_;
    ValidationMesh* currentMesh_ = nullptr;
    Orvo::ResourceSystem* resourceSystem_ = nullptr;
    Orvo::RenderKernel* renderKernel_ = nullptr;
    Orvo::Particle* engineObject_ = nullptr;  // taken over from the record; deleted at shutdown
    Orvo::Particle* rootParticle_ = nullptr;
    Orvo::OS* os_ = nullptr;
    Orvo::View* view_ = nullptr;  // taken over from the record; deleted at shutdown
    Orvo::Particle* light_ = nullptr;
    PersonalDetails personal_;

    friend class DataManagerAccess;
};

}  // namespace TETLib
