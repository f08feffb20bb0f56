#include "render/materials/VelmarNoFogMaterial.h"

#include "render/materials/MaterialFamily.h"
#include "render/materials/MaterialTypes.h"

namespace Orvo {

VelmarNoFogMaterial::VelmarNoFogMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                                         RenderingCache* maskCache, RenderingCache* blendCache)
    : OneTextureMaterial(name, MaterialTypeToken(VelmarMaterialType::NoFog), manager, chunkCache, maskCache, blendCache)
{}

Material* VelmarNoFogMaterial::Duplicate() const { return DuplicateMaterial(*this); }

void VelmarNoFogMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    savedFog_ = display->GetFogMode();
    display->SetFogMode(0);
    OneTextureMaterial::SetDisplayState(display);
}

void VelmarNoFogMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    display->SetFogMode(savedFog_);
    OneTextureMaterial::ClearDisplayState(display);
}

}  // namespace Orvo
