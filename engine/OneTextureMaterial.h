#pragma once
// The engine's one-texture material and its plug-in base. The material draws a chunk with a colour
// texture on stage 0 (texture number 0), its blend factors and culling, in one pass:
// Bind(0) sets the display state, the chunk is drawn, Unbind(0) puts the state back. Blended materials
// (by their alpha hint) hand their chunks to the alpha-blend cache instead of drawing at once.
//
// Flag bits: 1 two-sided (drawn without culling), 2 leave the display's blending alone.
#include "engine/AutoReference.h"
#include "engine/Display.h"
#include "engine/Material.h"
#include "engine/MaterialManager.h"
#include "engine/RenderingCache.h"
#include "engine/TextureManager.h"

#include <cstdint>
#include <string>

namespace Orvo {

class RenderKernel;

class OneTextureMaterial : public Material
{
public:
    // The engine's short type name of this material ("onetex"), the fallback of several plug-ins.
    static const PString& UNDECORATED_TYPE();
    enum Flag : uint8_t
    {
        FlagTwoSided = 1,
        FlagKeepBlending = 2,
    };
    static constexpr int kColourTexture = 0;

    OneTextureMaterial(const PString& name, const PString& type, MaterialManager* manager,
                       RenderingCache* materialChunkCache, RenderingCache* alphaMaskCache,
                       RenderingCache* alphaBlendCache);

    MaterialManager* GetMaterialManager() const { return manager_; }
    TextureManager* GetTextureManager() const { return manager_ ? manager_->GetTextureManager() : nullptr; }
    RenderingCache* GetMaterialChunkCache() const { return chunkCache_.Get(); }
    RenderingCache* GetAlphaMaskCache() const { return maskCache_.Get(); }
    RenderingCache* GetAlphaBlendCache() const { return blendCache_.Get(); }
    // The stage-0 set-up applied while the material draws (0: none).
    void SetTextureStageSetup(uint32_t handle) { setup_ = handle; }
    uint32_t GetTextureStageSetup() const { return setup_; }
    // The blend factors the material draws with. Until they are set: source alpha and one minus source
    // alpha for a blended material (its alpha hint), one and zero otherwise.
    void SetBlendFactors(int source, int destination)
    {
        blendSource_ = source;
        blendDestination_ = destination;
    }
    void GetBlendFactors(int& source, int& destination);

    // A copy of the same class sharing the textures.
    Material* Duplicate() const override;
    // Same class, then Equals.
    bool IsEqual(const Material& other) const override;
    // The settings of Material::IsEqual, the same colour texture object and the same blend factors.
    bool Equals(const OneTextureMaterial& other) const;
    // Takes another one-texture material's settings, colour texture (shared), blend factors and set-up.
    void InitInstance(const OneTextureMaterial& from);

    void SetResourcePriority(float priority) override;
    void Activate(int level) override;
    using Material::SetTexture;
    // Texture 0 from a database and name: a texture that cannot be found leaves the one there and gives 3.
    int SetTexture(int number, ResourceDatabase* database, const PString& file, float value,
                   const std::string& text) override;
    int SetTexture(int number, DisplayTexture* texture, float value) override;
    DisplayTexture* GetTexture(int number) const override;
    int DuplicateTexture(int number) override;
    // 4 while the colour texture is not loaded.
    int IsLoaded() const override;
    // Blended when the diffuse alpha or the opacity is below 1 or the colour texture carries alpha; masked
    // for 1-bit alpha.
    void CacheAlphaHint() override;
    void CacheChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                    const Matrix4& transform) override;
    void Bind(Display* display, ViewPort* viewport, uint32_t pass) override;
    void Unbind(Display* display, ViewPort* viewport, uint32_t pass) override;
    void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                     const Matrix4& transform, int pass) override;
    void RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk* const* chunks,
                         const LightList* const* lights, const Matrix4* transforms, uint32_t count, int pass) override;
    void RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                          const Matrix4& transform, uint32_t indexCount, const uint16_t* indices,
                          uint32_t primitiveCount, uint32_t primitiveKind, int pass) override;

    // The state the material draws in, and putting back what it changed.
    virtual void SetDisplayState(Display* display);
    virtual void ClearDisplayState(Display* display);

protected:
    // A texture bound to a stage through the texture manager; with none the stage is disabled.
    void BindStage(Display* display, uint32_t stage, DisplayTexture* texture) const;
    // What the texture slots of the material families share. A slot is replaced only by a texture that
    // was found: otherwise it keeps what it had and the result is 3. On success the definition of
    // `number` is recorded, the texture gets the material's priority and the alpha hint is worked out
    // again.
    int ReplaceTexture(AutoReference<DisplayTexture>& slot, int number, ResourceDatabase* database, const PString& file,
                       float value, const std::string& text);
    int ReplaceTexture(AutoReference<DisplayTexture>& slot, int number, DisplayTexture* texture, float value);
    // The slot's texture replaced by a duplicate of its own: 0, or 3 when the slot is empty.
    static int DuplicateSlot(AutoReference<DisplayTexture>& slot);
    // A loaded-test answer for an optional texture: 4 when present and not loaded.
    static int SlotLoaded(const AutoReference<DisplayTexture>& slot)
    {
        return slot && !slot->IsLoaded() ? ResultNotLoaded : ResultOk;
    }
    // Draws one pass's geometry: lights, transform and the chunk (or some of its primitives).
    void DrawPass(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                  const Matrix4& transform, const uint16_t* indices, uint32_t indexCount, uint32_t primitiveCount,
                  uint32_t primitiveKind);

    MaterialManager* manager_;
    AutoReference<DisplayTexture> colour_;

private:
    AutoReference<RenderingCache> chunkCache_;
    AutoReference<RenderingCache> maskCache_;
    AutoReference<RenderingCache> blendCache_;
    uint32_t setup_ = 0;
    int blendSource_ = -1;  // -1: not set
    int blendDestination_ = -1;
    bool savedBlend_ = false;
    int savedSource_ = 1;
    int savedDestination_ = 0;
};

// The plug-in base of one-texture materials: it prepares, once per display, the kernel's three caches
// and a stage-0 set-up that modulates the colour texture with the lit colour, and makes materials with
// them.
class OneTextureMaterialPlugin : public MaterialPlugin
{
public:
    OneTextureMaterialPlugin(const PString& shortName, const UId& id) : MaterialPlugin(shortName, id) {}
    ~OneTextureMaterialPlugin() override;

    // Materials are made for a manager only (CreateFor).
    Material* Create(const PString&, Display*) override { return nullptr; }
    Material* CreateFor(const PString& name, MaterialManager& manager) override;
    // A one-texture material of this plug-in's type; null when the resources cannot be prepared.
    virtual Material* CreateMaterialInstance(const PString& name, MaterialManager* manager, RenderKernel* kernel);

    RenderingCache* GetMaterialChunkCache() const { return chunkCache_.Get(); }
    RenderingCache* GetAlphaMaskCache() const { return maskCache_.Get(); }
    RenderingCache* GetAlphaBlendCache() const { return blendCache_.Get(); }
    uint32_t GetBaseSetup() const { return baseSetup_; }

protected:
    // The caches of the kernel and the base set-up, made once for the kernel's display (again when the
    // display changed: what was made for another display is let go first). False without a kernel or
    // display.
    virtual bool CreatePluginResources(RenderKernel* kernel);
    // Lets go of what was made for a display (the subclasses add their own).
    virtual void ReleasePluginResources();
    // The display the resources were made for, while it exists.
    Display* GetResourceDisplay() const { return resourceDisplay_.Get(); }

private:
    AutoReference<RenderingCache> chunkCache_;
    AutoReference<RenderingCache> maskCache_;
    AutoReference<RenderingCache> blendCache_;
    uint32_t baseSetup_ = 0;
    DisplayHandle resourceDisplay_;
};

// The kernel's rendering cache of `kind` (an alpha-blend, alpha-mask or material-chunk cache), one
// reference added for the caller: the one the kernel holds, else a new engine cache of that kind that is
// added to the kernel. Null without a kernel or for another kind.
RenderingCache* AcquireRenderingCache(RenderKernel* kernel, const UId& kind);

}  // namespace Orvo
