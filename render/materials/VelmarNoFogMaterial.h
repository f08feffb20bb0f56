#pragma once
// The no-fog material: the engine's one-texture material drawn with fog off, for objects that must not
// fade into the distance fog. The fog mode in force before is back after the material draws.
#include "engine/OneTextureMaterial.h"

namespace Orvo {

class VelmarNoFogMaterial : public OneTextureMaterial
{
public:
    VelmarNoFogMaterial(const PString& name, MaterialManager* manager, RenderingCache* chunkCache,
                        RenderingCache* maskCache, RenderingCache* blendCache);

    Material* Duplicate() const override;
    // Fog saved and off, then the one-texture state; the fog put back first.
    void SetDisplayState(Display* display) override;
    void ClearDisplayState(Display* display) override;

private:
    int savedFog_ = 0;
};

}  // namespace Orvo
