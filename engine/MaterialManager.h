#pragma once
// The render kernel's material manager: it makes materials by decorated name ("<name>.m.<type>").
//
// A request is served, in this order, by
//   1. a material registered under exactly that name (a copy of it: callers change what they get);
//   2. the material plug-in of the type part ("onetex" of "x.m.onetex"), registered in the plug-in
//      registry under MaterialPlugin::FamilyId(); a plug-in that cannot make its material on this
//      display answers null (result 3);
//   3. for a bare type name ("m.onetex", what a loader asks for when it may substitute), a copy of the
//      first registered material of that type.
// Results: 0 made, 1 the name has no type part, 2 no plug-in or registered material serves the type,
// 3 the type's plug-in cannot make it.
#include "engine/Material.h"
#include "engine/PString.h"
#include "engine/PluginType.h"
#include "engine/UId.h"

#include <cstddef>
#include <mutex>
#include <vector>

namespace Orvo {

class Display;

class MaterialPlugin : public PluginType
{
public:
    static const UId& FamilyId();
    MaterialPlugin(const PString& shortName, const UId& id) : PluginType(FamilyId(), shortName), id_(id) {}
    const UId& GetId() const { return id_; }
    // A new material of this type with that name; null when this display cannot have it.
    virtual Material* Create(const PString& name, Display* display) = 0;

private:
    UId id_;
};

class MaterialManager
{
public:
    enum Result : int
    {
        Made = 0,
        NotDecorated = 1,
        UnknownType = 2,
        CannotMake = 3,
    };

    explicit MaterialManager(Display* display = nullptr) : display_(display) {}
    ~MaterialManager();
    MaterialManager(const MaterialManager&) = delete;
    MaterialManager& operator=(const MaterialManager&) = delete;

    void SetDisplay(Display* display) { display_ = display; }
    Display* GetDisplay() const { return display_; }

    // One reference added for the caller; null with the result in `result`.
    Material* CreateMaterial(const PString& name, int* result = nullptr);
    // Keeps a material (one reference) to serve requests of its name and of its type.
    void RegisterMaterial(Material* material);
    // The registered material of that name itself (no reference added), or null.
    Material* FindRegistered(const PString& name) const;
    size_t Count() const;
    void Clear();

    // "a.b.m.onetex" -> name "a.b", type "m.onetex" (split at the last ".m."); a bare "m.onetex" -> name
    // "", type "m.onetex". False (both empty) when there is no type part.
    static bool SplitDecoratedMaterialName(const PString& decorated, PString& name, PString& type);
    // The short type name: "onetex" of "x.m.onetex" or of "m.onetex"; empty when there is none.
    static PString TypeOf(const PString& decorated);
    // Registers the plug-ins of the engine's own material types ("notex", "onetex", "gloss", "reflect"),
    // which make plain materials.
    static void RegisterEngineMaterialTypes();

private:
    mutable std::mutex lock_;
    Display* display_;
    std::vector<Material*> registered_;  // each holds one reference
};

}  // namespace Orvo
