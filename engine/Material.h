#pragma once
// Materials. A material has a name, a type (the short type name, "onetex" of "x.m.onetex"), the name it
// was requested by, the display material (four colours and a specular power), a flag byte, an opacity,
// named parameters, and texture entries (stage, file, value). The engine's own material draws nothing
// special: it makes geometry chunks with a layout chosen from the creation hint and records what is set
// on it. Material plug-ins (MaterialManager.h) derive it for their own families.
//
// Decorated names: "<name>.m.<type>" ("VelmarDummyLoad.m.onetex").
#include "engine/Color.h"
#include "engine/GeometryChunk.h"
#include "engine/Matrix3.h"
#include "engine/PString.h"
#include "engine/ReferenceCount.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Orvo {

class Display;
class DisplayTexture;
class LightList;
class ResourceDatabase;
class VertexProgram;
struct ViewPort;

struct DisplayMaterial
{
    Color ambient{1.0f, 1.0f, 1.0f, 1.0f};
    Color diffuse{1.0f, 1.0f, 1.0f, 1.0f};
    Color specular{0.0f, 0.0f, 0.0f, 1.0f};
    Color emissive{0.0f, 0.0f, 0.0f, 1.0f};
    float power = 0.0f;

    bool operator==(const DisplayMaterial&) const = default;
};

class Material : public ReferenceCount
{
public:
    static constexpr const char* DecoratedTypeToken = ".m.";
    // Results of the texture operations and of IsLoaded.
    enum Results : int
    {
        ResultOk = 0,
        ResultNoTexture = 3,
        ResultNotLoaded = 4,
    };
    // The cached alpha hint: not worked out yet, none, blended, masked.
    static constexpr uint32_t kAlphaHintUnknown = 0xFFFFFFFFu;
    static constexpr uint32_t kAlphaHintNone = 0;
    static constexpr uint32_t kAlphaHintBlend = 1;
    static constexpr uint32_t kAlphaHintMask = 2;

    struct Texture
    {
        int stage = 0;
        PString file;
        float value = 0.0f;
        bool operator==(const Texture&) const = default;
    };
    struct Property
    {
        PString name;
        PString value;
        bool operator==(const Property&) const = default;
    };

    Material(const PString& name, const PString& type) : name_(name), type_(type), requestName_(name) {}

    // A new material of the same kind with the same settings (one reference is for the caller to take).
    virtual Material* Duplicate() const;
    // Same type and the same settings (display material, flags, opacity, parameters, textures).
    virtual bool IsEqual(const Material& other) const;

    const PString& GetName() const { return name_; }
    const PString& GetType() const { return type_; }
    void SetCreationType(const PString& type) { type_ = type; }
    const PString& GetRequestName() const { return requestName_; }
    void SetRequestName(const PString& name) { requestName_ = name; }

    const DisplayMaterial& GetDisplayMaterial() const { return display_; }
    void SetDisplayMaterialProperties(const DisplayMaterial& d) { display_ = d; }
    uint8_t GetFlags() const { return flags_; }
    void SetFlags(uint8_t flags) { flags_ = flags; }
    float GetOpacity() const { return opacity_; }
    void SetOpacity(float opacity) { opacity_ = opacity; }
    float GetResourcePriority() const { return priority_; }
    virtual void SetResourcePriority(float priority) { priority_ = priority; }
    void SetAmbientColor(const Color& c) { display_.ambient = c; }
    void SetSpecularColor(const Color& c) { display_.specular = c; }

    // Parameters: a name given again replaces its value.
    void SetParameter(const PString& value, const PString& name);
    size_t GetNumProperties() const { return properties_.size(); }
    const Property* GetProperty(size_t n) const { return n < properties_.size() ? &properties_[n] : nullptr; }

    // A texture file for a stage: 0 when the file exists in the database (or, without one, as a path),
    // 2 when it does not (the entry is kept either way, for the texture loading to report).
    virtual int SetTexture(int stage, ResourceDatabase* database, const PString& file, float value,
                           const std::string& resourceName);
    // A stage with a weight and no file of its own (an environment map).
    void SetTexture(int stage, float value);
    // A texture the caller already has, for texture `number` (3 for none). The engine's plain material
    // only records the definition; the families keep the texture.
    virtual int SetTexture(int number, DisplayTexture* texture, float value);
    // Records what texture `number` was set from (the entry of that number is replaced).
    void SetTextureDefinition(int number, const PString& file, float value);
    // The material's texture `number` (no reference added), or null.
    virtual DisplayTexture* GetTexture(int number) const;
    // Replaces texture `number` by a copy of its own: 0, or 3 when there is none.
    virtual int DuplicateTexture(int number);
    const std::vector<Texture>& GetTextures() const { return textures_; }
    // The stage and value last set (-1 and 0 before any).
    int GetTextureSlot() const { return textures_.empty() ? -1 : textures_.back().stage; }
    float GetTextureValue() const { return textures_.empty() ? 0.0f : textures_.back().value; }

    // A geometry chunk for this material: `typeCode` 0 list, 1 strip, 2 fan, 3 to 5 the other primitive
    // types; null for an unknown type code.
    virtual GeometryChunk* CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount, uint32_t indexCount,
                                               uint32_t faceCount, uint32_t typeCode, const StandardChunkHint& hint);

    // Texture loading of the material: started, then polled (0 loaded).
    virtual bool LoadAll() { return true; }
    virtual int IsAllLoaded() { return 0; }
    // 0 when every texture the material draws with is loaded, 4 while one is not.
    virtual int IsLoaded() const { return ResultOk; }
    // Prepares the textures for drawing at a detail level.
    virtual void Activate(int) {}

    // ---- drawing ----
    // The alpha hint, worked out (CacheAlphaHint) when unknown.
    uint32_t GetAlphaHint();
    void SetCachedAlphaHint(uint32_t hint) { alphaHint_ = hint; }
    uint32_t GetCachedAlphaHint() const { return alphaHint_; }
    // Works the hint out: blended when the material's diffuse alpha is below 1.
    virtual void CacheAlphaHint();
    virtual uint32_t GetNumPasses() const { return 1; }
    virtual void Bind(Display*, ViewPort*, uint32_t) {}
    virtual void Unbind(Display*, ViewPort*, uint32_t) {}
    // A chunk to be drawn this frame, with the lights that reach its object (may be null) and the
    // object's transform: drawn now, or handed to a cache to be drawn later. The engine's own material
    // draws it at once.
    virtual void CacheChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                            const Matrix4& transform);
    // Draws a chunk with its lights and its object-to-view transform.
    virtual void RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                             const Matrix4& transform, int pass);
    // Draws `count` chunks, chunk i with lights[i] (which may be null) and transforms[i].
    virtual void RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk* const* chunks,
                                 const LightList* const* lights, const Matrix4* transforms, uint32_t count, int pass);
    // Draws some primitives of a chunk through an index list of their own.
    virtual void RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                                  const Matrix4& transform, uint32_t indexCount, const uint16_t* indices,
                                  uint32_t primitiveCount, uint32_t primitiveKind, int pass);
    // Hands the display the lights of a draw for its fixed lighting (recorded as one line).
    void SetLightingState(Display* display, const Matrix4* view, GeometryChunk* chunk, VertexProgram* program,
                          const LightList* lights, const Matrix4& transform, float lightScale, bool lit);
    // The flag word of a chunk made for a creation type code and hint (the primitive bits and the usage
    // bits); 0xFFFFFFFF for an unknown type code.
    static uint32_t MakeGeometryChunkFlags(uint32_t typeCode, const StandardChunkHint* hint);

    // A name that carries the type token, for a material described without one: `name` itself when it has
    // the token, else `name` + ".m.onetex" (with textures) or ".m.notex".
    static PString VerifyDecoratedName(const PString& name, size_t textureCount);

protected:
    void CopySettingsTo(Material& copy) const;

private:
    PString name_;
    PString type_;
    PString requestName_;
    DisplayMaterial display_;
    uint8_t flags_ = 0;
    float opacity_ = 1.0f;
    float priority_ = 0.0f;
    uint32_t alphaHint_ = kAlphaHintUnknown;
    std::vector<Property> properties_;
    std::vector<Texture> textures_;
};

// The material made when there is no material manager: it is named after the request and keeps the
// type part of the name as its creation type.
class NullMaterial : public Material
{
public:
    explicit NullMaterial(const PString& name) : Material(name, PString()) {}
    Material* Duplicate() const override;
};

}  // namespace Orvo
