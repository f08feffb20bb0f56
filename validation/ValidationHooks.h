#pragma once
// Where the later parts of validation plug in, and the asset database services validation asks for. The
// plug-ins are the data manager's (DataManager::Plugins): the tool fills them in at start-up, tests on
// their own manager.
//
// - The configuration normaliser rewrites an old asset's configuration before it is checked. With none
//   registered that step does nothing: the configuration is checked as it stands.
// - The mesh source loads the meshes that file-path tags name, for the mesh checks, and the meshes the
//   normaliser's builders look into. With none registered no mesh is loaded, and the checks that need
//   one say that they could not be made.
// - The texture folder check looks at the images of the asset's folder. With none registered it is not
//   made.
// - The render caches maker makes the mesh library's alpha-blend caches when the placeholder materials
//   are registered. With none registered only the engine's own cache is made.
// - The sound check is the body of the container rule "soundisvalid". With none registered a template
//   that asks for it gets an error saying the check is not available.
#include "engine/AutoReference.h"
#include "engine/FilePath.h"
#include "engine/PString.h"
#include "engine/RenderingCache.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TDBTagRef;

namespace Orvo {
class RenderKernel;
}

namespace TETLib {

class Container;
class DataManager;

// Rewrites the configuration of the asset under validation by `manager` (its build and folder are known).
using ConfigNormaliserFn = void (*)(DataManager& manager, TDBTagRef& config);

// A mesh loaded for checking, owned by the data manager (one per validation container).
class ValidationMesh
{
public:
    virtual ~ValidationMesh() = default;
    // The file the mesh was loaded from, as the loader was given it (an absolute path).
    virtual const std::string& GetFilePath() const = 0;
    // True when the mesh has an attachment point of exactly that name.
    virtual bool HasAttachmentPoint(std::string_view name) const = 0;
    // Loads an animation file (an absolute path) onto the mesh; false, reported, when it does not load.
    virtual bool LoadAnimation(const Orvo::File::Path& file) = 0;
};

class MeshSource
{
public:
    virtual ~MeshSource() = default;
    // Loads the mesh or animation file named by a file-path tag of `owner` (an absolute path). A mesh is
    // handed to DataManager::InstallMesh and returned; null when nothing was loaded. Failures are the
    // source's to report and to record with DataManager::SetMeshFailure.
    virtual ValidationMesh* LoadMeshForOwner(const Orvo::File::Path& file, Container& owner) = 0;
    // Loads a mesh for the configuration normaliser of `manager`, which looks into it for attachment
    // points: no owner, nothing kept. Null when it did not load.
    virtual std::unique_ptr<ValidationMesh> LoadMesh(DataManager& manager, const Orvo::File::Path& file) = 0;
};

// Checks the image files of the asset's folder (absolute, with a trailing separator) for the root
// container; false when a check failed (and reported).
using TextureFolderCheckFn = bool (*)(const Orvo::File::Path& folder, Container& root);

// Makes the mesh library's rendering caches for a kernel, adds them to its cache manager and hands them
// back (one reference each).
using RenderCachesMakerFn = void (*)(Orvo::RenderKernel& kernel,
                                     std::vector<Orvo::AutoReference<Orvo::RenderingCache>>& made);

// The body of the container rule "soundisvalid".
using SoundCheckFn = bool (*)(Container& container, const TDBTagRef* params);

// What validation asks of the asset database: whether a KUID user id is known. The program answers it
// through its daemon connection; tests put their own answers here. Without an answer a user id of 0 or
// above is not known (negative ones other than -2 are the maker's own).
struct AssetDatabaseServices
{
    std::function<bool(int32_t userId)> isValidUserId;
};

// The plug-ins one data manager validates with. Set before validation runs, read while it runs.
class ValidationPlugins
{
public:
    void SetConfigNormaliser(ConfigNormaliserFn fn) { normaliser_ = fn; }
    ConfigNormaliserFn GetConfigNormaliser() const { return normaliser_; }
    // The source is not owned; null removes it. The second form hands the source over (kept until replaced).
    void SetMeshSource(MeshSource* source);
    void SetMeshSource(std::unique_ptr<MeshSource> source);
    MeshSource* GetMeshSource() const { return meshSource_; }
    void SetTextureFolderCheck(TextureFolderCheckFn fn) { textureCheck_ = fn; }
    TextureFolderCheckFn GetTextureFolderCheck() const { return textureCheck_; }
    void SetRenderCachesMaker(RenderCachesMakerFn fn) { cachesMaker_ = fn; }
    RenderCachesMakerFn GetRenderCachesMaker() const { return cachesMaker_; }
    void SetSoundCheck(SoundCheckFn fn) { soundCheck_ = fn; }
    SoundCheckFn GetSoundCheck() const { return soundCheck_; }
    // Empty members give the answers without a database.
    void SetAssetDatabaseServices(const AssetDatabaseServices& services) { services_ = services; }
    bool IsValidUserId(int32_t userId) const;

private:
    ConfigNormaliserFn normaliser_ = nullptr;
    MeshSource* meshSource_ = nullptr;
    std::unique_ptr<MeshSource> ownedMeshSource_;  // a source handed over with SetMeshSource
    TextureFolderCheckFn textureCheck_ = nullptr;
    SoundCheckFn soundCheck_ = nullptr;
    RenderCachesMakerFn cachesMaker_ = nullptr;
    AssetDatabaseServices services_;
};

}  // namespace TETLib
