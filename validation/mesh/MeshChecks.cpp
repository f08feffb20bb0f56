#include "validation/mesh/MeshChecks.h"

#include "validation/BuildNumber.h"
#include "validation/DataManager.h"
#include "validation/MessageText.h"
#include "validation/mesh/TextureFolderCheck.h"

namespace TETLib {
namespace {

// From this build a progressive mesh is an error rather than a warning (rounded hundredths).
constexpr int32_t kProgressiveMeshError = 290;

// The mesh and animation files that mesh loading takes; others ("txt" not naming a LOD description,
// images, ...) are none of its business.
bool IsMeshFile(const Orvo::File::Path& file)
{
    if (file.IsExt("im") || file.IsExt("lm") || file.IsExt("kin")) return true;
    if (!file.IsExt("txt")) return false;
    Orvo::File::Path stem = file;
    return stem.DelExt().IsExt("lm");
}

}  // namespace

ValidationMesh* MeshCheckSource::LoadMeshForOwner(const Orvo::File::Path& file, Container& owner)
{
    if (file.IsEmpty() || file.GetExt().empty()) return nullptr;
    DataManager* manager = DataManager::Instance();
    if (file.IsExt("pm"))
    {
        manager->SetMeshFailure(true);
        ReportBySeverity(Build::RoundedHundredths(manager->GetAssetBuild()) >= kProgressiveMeshError, &owner,
                         "$tet_dm_unsupportedformat");
        // Its own load messages would need the mesh resources.
        manager->SetMeshesNotChecked(true);
        return nullptr;
    }
    if (IsMeshFile(file)) manager->SetMeshesNotChecked(true);
    return nullptr;
}

std::unique_ptr<ValidationMesh> MeshCheckSource::LoadMesh(const Orvo::File::Path&)
{
    DataManager::Instance()->SetMeshesNotChecked(true);
    return nullptr;
}

void RegisterMeshChecks()
{
    static MeshCheckSource source;
    SetMeshSource(&source);
    SetTextureFolderCheck(CheckAssetTextures);
}

}  // namespace TETLib
