#include "render/materials/VelmarNoFogMaterial.h"

#include "render/materials/MaterialTypes.h"

#include <typeinfo>

namespace Orvo {

VelmarNoFogMaterial::VelmarNoFogMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                                         RenderingCache* maskCache, RenderingCache* blendCache)
    : OneTextureMaterial(name, MaterialTypeToken(VelmarMaterialType::NoFog), manager, chunkCache, maskCache, blendCache)
{}

Material* VelmarNoFogMaterial::Duplicate() const
{
    auto* copy = new VelmarNoFogMaterial(GetName(), manager_, GetMaterialChunkCache(), GetAlphaMaskCache(),
                                         GetAlphaBlendCache());
    copy->InitInstance(*this);
    return copy;
}

bool VelmarNoFogMaterial::IsEqual(const Material& other) const
{
    return typeid(other) == typeid(*this) && Equals(static_cast<const VelmarNoFogMaterial&>(other));
}

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
