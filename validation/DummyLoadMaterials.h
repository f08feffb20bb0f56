#pragma once
// Placeholder materials: one per material type, registered in the render kernel's material factory at
// start-up so that asset meshes load for checking without their real textures.
#include <cstddef>

namespace Orvo {
class Material;
}

namespace TETLib {

class DataManager;

constexpr size_t kDummyLoadMaterialCount = 14;
extern const char* const kDummyLoadMaterialNames[kDummyLoadMaterialCount];

// The placeholders live with the data manager whose render kernel made them.
// Once per manager (a flag guards it); needs the manager's render kernel (SetupScene), else nothing.
void RegisterDummyLoadMaterials(DataManager& data);
// Releases the placeholders, with the registrations and caches the render kernel kept for them (the kernel
// must still be there); nothing when they were not registered.
void ReleaseDummyLoadMaterials(DataManager& manager);
// The placeholder at `index` in kDummyLoadMaterialNames order, or null.
Orvo::Material* GetDummyLoadMaterial(const DataManager& manager, size_t index);
bool DummyLoadMaterialsRegistered(const DataManager& manager);

}  // namespace TETLib
