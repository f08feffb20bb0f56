#pragma once
// The render kernel's material manager: it makes materials by decorated name ("<name>.m.<type>").
//
// A request is served, in this order, by
//   1. a material registered under exactly that name (a copy of it: callers change what they get);
//   2. the material plug-in of the type part ("onetex" of "x.m.onetex"), registered in the plug-in
//      registry under MaterialPlugin::FamilyId(); a plug-in that cannot make its material on this
//      display answers null (result 3). A plug-in whose type this display cannot draw names a fallback
//      type, whose plug-in is asked in its place (a chain of at most kMaxFallbacks steps that never
//      comes back to a type it passed; a chain that ends without a material gives result 3);
//   3. for a bare type name ("m.onetex", what a loader asks for when it may substitute), a copy of the
//      first registered material of that type, when no plug-in made one (none is registered for the type,
//      or it refused: answered null or failed).
// Results: 0 made, 1 the name has no type part, 2 no plug-in or registered material serves the type,
// 3 the type's plug-in cannot make it (and no registered material serves a bare type name).
#include "engine/Material.h"
#include "engine/PString.h"
#include "engine/PluginType.h"
#include "engine/UId.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace Orvo {

class Display;
class MaterialManager;
class RenderKernel;
class TextureManager;

class MaterialPlugin : public PluginType
{
public:
    static const UId& FamilyId();
    MaterialPlugin(const PString& shortName, const UId& id) : PluginType(FamilyId(), shortName), id_(id) {}
    const UId& GetId() const { return id_; }
    // A new material of this type with that name; null when this display cannot have it.
    virtual Material* Create(const PString& name, Display* display) = 0;
    // A new material made for `manager` (whose display, render kernel and texture manager it may use);
    // by default Create with the manager's display.
    virtual Material* CreateFor(const PString& name, MaterialManager& manager);
    // Whether the display can draw this type; when not, `fallback` is set to the short name of the type
    // to use instead (left alone when it can).
    virtual bool IsSupported(Display*, PString&) { return true; }

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

    static constexpr int kMaxFallbacks = 16;

    explicit MaterialManager(Display* display = nullptr);
    ~MaterialManager();
    MaterialManager(const MaterialManager&) = delete;
    MaterialManager& operator=(const MaterialManager&) = delete;

    void SetDisplay(Display* display);
    Display* GetDisplay() const { return display_; }
    // The render kernel the manager belongs to (null for a manager of its own).
    void SetRenderKernel(RenderKernel* kernel) { kernel_ = kernel; }
    RenderKernel* GetRenderKernel() const { return kernel_; }
    // The textures of the manager's display.
    TextureManager* GetTextureManager() const { return textures_.get(); }

    // One reference added for the caller; null with the result in `result`.
    Material* CreateMaterial(const PString& name, int* result = nullptr);
    // Keeps a material (one reference) to serve requests of its name and of its type.
    void RegisterMaterial(Material* material);
    // Lets go of a registered material (the reference RegisterMaterial took); nothing when it is not kept.
    void UnregisterMaterial(Material* material);
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
    // The material of a plug-in type, following fallbacks; null with `out` set when none is made.
    Material* CreateFromPlugin(const PString& name, PString shortType, int& out, bool& known);

    mutable std::mutex lock_;
    Display* display_;
    RenderKernel* kernel_ = nullptr;
    std::unique_ptr<TextureManager> textures_;
    std::vector<Material*> registered_;  // each holds one reference
};

}  // namespace Orvo
