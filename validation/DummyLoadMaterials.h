#pragma once
// Placeholder materials: one per material type, registered in the render kernel's material factory at
// start-up so that asset meshes load for checking without their real textures.
#include <cstddef>

namespace Orvo {
class Material;
}

namespace TETLib {

constexpr size_t kDummyLoadMaterialCount = 14;
extern const char* const kDummyLoadMaterialNames[kDummyLoadMaterialCount];

// Once per run (a flag guards it); needs the data manager's render kernel (SetupScene), else nothing.
void RegisterDummyLoadMaterials();
// Releases the placeholders, with the registrations and caches the render kernel kept for them (the kernel
// must still be there); nothing when they were not registered.
void ReleaseDummyLoadMaterials();
// The placeholder at `index` in kDummyLoadMaterialNames order, or null.
Orvo::Material* GetDummyLoadMaterial(size_t index);
bool DummyLoadMaterialsRegistered();

}  // namespace TETLib
