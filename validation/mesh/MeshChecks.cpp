#include "validation/mesh/MeshChecks.h"

#include "validation/BuildNumber.h"
#include "validation/Container.h"
#include "validation/DataManager.h"
#include "validation/MessageText.h"
#include "validation/mesh/MeshData.h"
#include "validation/mesh/TextureFolderCheck.h"

#include <array>

namespace TETLib {
namespace {

// From this build a progressive mesh is an error rather than a warning (rounded hundredths).
constexpr int32_t kProgressiveMeshError = 290;
// The lowest level of a LOD mesh should have at least this many polygons.
constexpr uint32_t kLowPolygons = 300;
// Kinds whose LOD meshes are left to their own rules: vehicles and what rides on them.
constexpr std::array<std::string_view, 5> kOwnLevelRules = {"traincar", "bogey", "interior", "pantograph",
                                                            "drivercharacter"};

// Loads the mesh for its owner and makes it the owner's mesh and the one shown; null (the failure recorded)
// when it does not load.
MeshData* LoadAndInstall(std::unique_ptr<MeshData> mesh, const Orvo::File::Path& file, Container& owner)
{
    DataManager* manager = &owner.Manager();
    if (!mesh->Load(file, &owner))
    {
        manager->SetMeshFailure(true);
        return nullptr;
    }
    if (auto* previous = dynamic_cast<MeshData*>(manager->GetCurrentMesh())) previous->SetVisible(false);
    MeshData* installed = mesh.get();
    manager->InstallMesh(owner, std::move(mesh));
    if (Orvo::Particle* root = manager->GetRootParticle()) root->AddChild(installed);
    installed->SetVisible(true);
    return installed;
}

// The performance rules of a LOD mesh: in this order, attachment points or animations, more than one
// level, and a lowest level that is not too plain. The mesh is left showing its lowest level.
void CheckLevelsOfDetail(LODMeshData& mesh, Container& owner)
{
    if (owner.GetParent() == nullptr) return;
    const std::string_view kind = owner.GetRoot()->GetConfigTag().GetChildString("kind").View();
    for (std::string_view k : kOwnLevelRules)
        if (kind == k) return;
    const std::string text = MeshPathText(owner.Manager(), mesh.GetFilePath());
    if (mesh.GetAttachmentPoints().empty() && mesh.GetAnimations().empty())
        ReportWarning(&owner, "$tet_lm_performance_no_attachments", {{"FILE", text}});
    const uint32_t levels = mesh.GetLevelCount();
    if (levels == 1) ReportWarning(&owner, "$tet_lm_performance_single_lod", {{"FILE", text}});
    if (levels > 0) mesh.SelectLOD(levels - 1);
    if (mesh.GetPolygonCount() < kLowPolygons) ReportWarning(&owner, "$tet_lm_performance_low_poly", {{"FILE", text}});
}

}  // namespace

ValidationMesh* MeshCheckSource::LoadMeshForOwner(const Orvo::File::Path& file, Container& owner)
{
    if (file.IsEmpty() || file.GetExt().empty()) return nullptr;
    DataManager* manager = &owner.Manager();
    if (file.IsExt("im")) return LoadAndInstall(std::make_unique<MeshData>(*manager), file, owner);
    if (file.IsExt("lm"))
    {
        auto* mesh = static_cast<LODMeshData*>(LoadAndInstall(std::make_unique<LODMeshData>(*manager), file, owner));
        if (mesh != nullptr) CheckLevelsOfDetail(*mesh, owner);
        return mesh;
    }
    if (file.IsExt("txt"))
    {
        Orvo::File::Path stem = file;
        if (!stem.DelExt().IsExt("lm")) return nullptr;
        return LoadAndInstall(std::make_unique<LODMeshData>(*manager), stem, owner);
    }
    if (file.IsExt("pm"))
    {
        manager->SetMeshFailure(true);
        ReportBySeverity(Build::RoundedHundredths(manager->GetAssetBuild()) >= kProgressiveMeshError, &owner,
                         "$tet_dm_unsupportedformat");
        // Loaded once for what its loading finds (a file that is not there).
        MeshData once(*manager);
        once.Load(file, &owner);
        return nullptr;
    }
    if (file.IsExt("kin"))
    {
        // The animation goes onto the container's own mesh, never onto one another container loaded.
        auto* mesh = dynamic_cast<MeshData*>(manager->GetMeshOf(&owner));
        if (mesh != nullptr && mesh->IsAnimatable())
        {
            mesh->LoadAnimation(file);
            return nullptr;
        }
        // Once per configuration, and not after a mesh failed: the failed mesh has been reported.
        if (manager->MeshFailed() || manager->IsAlias()) return nullptr;
        manager->SetMeshFailure(true);
        ReportError(&owner, "$tet_dm_animationfailed", {{"ANIM_NAME", MeshPathText(*manager, file.View())}});
    }
    return nullptr;
}

std::unique_ptr<ValidationMesh> MeshCheckSource::LoadMesh(DataManager& manager, const Orvo::File::Path& file)
{
    std::unique_ptr<MeshData> mesh =
        file.IsExt("lm") ? std::make_unique<LODMeshData>(manager) : std::make_unique<MeshData>(manager);
    if (!mesh->Load(file, nullptr)) return nullptr;
    return mesh;
}

void RegisterMeshChecks(ValidationPlugins& plugins)
{
    plugins.SetMeshSource(std::make_unique<MeshCheckSource>());
    plugins.SetTextureFolderCheck(CheckAssetTextures);
}

}  // namespace TETLib
