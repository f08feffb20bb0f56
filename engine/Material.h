#pragma once
// Materials and the render kernel's material factory. A material is made from a decorated name,
// "<name>.m.<type>" ("VelmarDummyLoad.m.onetex"); the type picks its behaviour. Material plug-ins with
// real render code come with the mesh library; until then every type makes a plain material that
// records what is set on it.
#include "engine/PString.h"
#include "engine/ReferenceCount.h"

#include <map>
#include <mutex>

namespace Orvo {

class Material : public ReferenceCount
{
public:
    Material(const PString& name, const PString& type) : name_(name), type_(type) {}

    const PString& GetName() const { return name_; }
    const PString& GetType() const { return type_; }

    // Texture slots are numbered by the engine; the value is the slot's blend weight.
    void SetTexture(int slot, float value)
    {
        textureSlot_ = slot;
        textureValue_ = value;
    }
    int GetTextureSlot() const { return textureSlot_; }
    float GetTextureValue() const { return textureValue_; }

private:
    PString name_;
    PString type_;
    int textureSlot_ = -1;
    float textureValue_ = 0.0f;
};

class MaterialFactory
{
public:
    ~MaterialFactory();

    // The material of that decorated name, created on first request; one reference added for the caller.
    // Null when the name has no ".m.<type>" part.
    Material* CreateMaterial(const PString& decoratedName);
    // The type part of a decorated name ("onetex" of "x.m.onetex"); empty when there is none.
    static PString TypeOf(const PString& decoratedName);
    size_t Count() const;

private:
    mutable std::mutex lock_;
    std::map<std::string, Material*> materials_;  // each holds one reference of the factory
};

}  // namespace Orvo
