#include "engine/OneTextureMaterial.h"

#include "engine/RenderKernel.h"

#include <typeinfo>

namespace Orvo {

const PString& OneTextureMaterial::UNDECORATED_TYPE()
{
    static const PString type("onetex");
    return type;
}

OneTextureMaterial::OneTextureMaterial(const PString& name, const PString& type, MaterialManager* manager,
                                       RenderingCache* materialChunkCache, RenderingCache* alphaMaskCache,
                                       RenderingCache* alphaBlendCache)
    : Material(name, type), manager_(manager), chunkCache_(materialChunkCache), maskCache_(alphaMaskCache),
      blendCache_(alphaBlendCache)
{}

Material* OneTextureMaterial::Duplicate() const
{
    auto* copy =
        new OneTextureMaterial(GetName(), GetType(), manager_, chunkCache_.Get(), maskCache_.Get(), blendCache_.Get());
    copy->InitInstance(*this);
    return copy;
}

bool OneTextureMaterial::IsEqual(const Material& other) const
{
    return typeid(other) == typeid(*this) && Equals(static_cast<const OneTextureMaterial&>(other));
}

bool OneTextureMaterial::Equals(const OneTextureMaterial& other) const
{
    return Material::IsEqual(other) && colour_ == other.colour_ && blendSource_ == other.blendSource_ &&
           blendDestination_ == other.blendDestination_;
}

void OneTextureMaterial::InitInstance(const OneTextureMaterial& from)
{
    from.CopySettingsTo(*this);
    colour_ = from.colour_;
    blendSource_ = from.blendSource_;
    blendDestination_ = from.blendDestination_;
    setup_ = from.setup_;
    SetCachedAlphaHint(from.GetCachedAlphaHint());
}

void OneTextureMaterial::GetBlendFactors(int& source, int& destination)
{
    if (blendSource_ >= 0)
    {
        source = blendSource_;
        destination = blendDestination_;
        return;
    }
    const bool blended = GetAlphaHint() == kAlphaHintBlend;
    source = blended ? 4 : 1;
    destination = blended ? 5 : 0;
}

void OneTextureMaterial::SetResourcePriority(float priority)
{
    Material::SetResourcePriority(priority);
    if (colour_) colour_->SetPriority(priority);
}

void OneTextureMaterial::Activate(int level)
{
    if (colour_) colour_->Activate(level);
}

int OneTextureMaterial::ReplaceTexture(AutoReference<DisplayTexture>& slot, int number, ResourceDatabase* database,
                                       const PString& file, float value, const std::string& text)
{
    TextureManager* textures = GetTextureManager();
    DisplayTexture* found = textures ? textures->RequestTexture(database, file.View(), text) : nullptr;
    if (found == nullptr) return ResultNoTexture;
    const int result = ReplaceTexture(slot, number, found, value);
    found->Release();
    return result;
}

int OneTextureMaterial::ReplaceTexture(AutoReference<DisplayTexture>& slot, int number, DisplayTexture* texture,
                                       float value)
{
    if (texture == nullptr) return ResultNoTexture;
    slot = texture;
    texture->SetPriority(GetResourcePriority());
    SetTextureDefinition(number, texture->GetName(), value);
    SetCachedAlphaHint(kAlphaHintUnknown);
    return ResultOk;
}

int OneTextureMaterial::DuplicateSlot(AutoReference<DisplayTexture>& slot)
{
    if (!slot) return ResultNoTexture;
    DisplayTexture* copy = slot->Duplicate();
    if (copy == nullptr) return ResultNoTexture;
    slot = copy;
    copy->Release();
    return ResultOk;
}

int OneTextureMaterial::SetTexture(int number, ResourceDatabase* database, const PString& file, float value,
                                   const std::string& text)
{
    if (number != kColourTexture) return Material::SetTexture(number, database, file, value, text);
    return ReplaceTexture(colour_, number, database, file, value, text);
}

int OneTextureMaterial::SetTexture(int number, DisplayTexture* texture, float value)
{
    if (number != kColourTexture) return Material::SetTexture(number, texture, value);
    return ReplaceTexture(colour_, number, texture, value);
}

DisplayTexture* OneTextureMaterial::GetTexture(int number) const
{
    return number == kColourTexture ? colour_.Get() : Material::GetTexture(number);
}

int OneTextureMaterial::DuplicateTexture(int number)
{
    return number == kColourTexture ? DuplicateSlot(colour_) : Material::DuplicateTexture(number);
}

int OneTextureMaterial::IsLoaded() const { return SlotLoaded(colour_); }

void OneTextureMaterial::CacheAlphaHint()
{
    uint32_t hint = GetDisplayMaterial().diffuse.a < 1.0f || GetOpacity() < 1.0f ? kAlphaHintBlend : kAlphaHintNone;
    const TextureResource* image = colour_ ? colour_->GetTexture() : nullptr;
    if (hint == kAlphaHintNone && image != nullptr && image->IsLoaded())
    {
        if (image->GetAlphaHint() == 1)
            hint = kAlphaHintBlend;
        else if (image->GetAlphaHint() == 2)
            hint = kAlphaHintMask;
    }
    SetCachedAlphaHint(hint);
}

void OneTextureMaterial::CacheChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                                    const Matrix4& transform)
{
    if (GetAlphaHint() == kAlphaHintBlend && blendCache_)
        blendCache_->AddPrimitive(display, viewport, this, chunk, lights, transform);
    else
        RenderChunk(display, viewport, chunk, lights, transform, -1);
}

void OneTextureMaterial::Bind(Display* display, ViewPort*, uint32_t pass)
{
    if (pass == 0) SetDisplayState(display);
}

void OneTextureMaterial::Unbind(Display* display, ViewPort*, uint32_t pass)
{
    if (pass == 0) ClearDisplayState(display);
}

void OneTextureMaterial::BindStage(Display* display, uint32_t stage, DisplayTexture* texture) const
{
    TextureManager* textures = GetTextureManager();
    if (texture != nullptr && textures != nullptr)
        textures->BindTexture(stage, texture);
    else if (display != nullptr)
        display->DisableTextureStage(stage);
}

void OneTextureMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    display->SetCullMode((GetFlags() & FlagTwoSided) == 0);
    BindStage(display, 0, colour_.Get());
    if ((GetFlags() & FlagKeepBlending) == 0)
    {
        savedBlend_ = display->GetAlphaBlendMode();
        display->GetAlphaBlendFunction(savedSource_, savedDestination_);
        int source = 1, destination = 0;
        GetBlendFactors(source, destination);
        display->SetAlphaBlendFunction(source, destination);
        display->SetAlphaBlendMode(true);
    }
    if (setup_ != 0) display->ApplyTextureStageSetup(setup_);
}

void OneTextureMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    display->SetCullMode(true);
    if ((GetFlags() & FlagKeepBlending) == 0)
    {
        display->SetAlphaBlendMode(savedBlend_);
        display->SetAlphaBlendFunction(savedSource_, savedDestination_);
    }
    if (setup_ != 0) display->ResetTextureStage(0);
}

void OneTextureMaterial::DrawPass(Display* display, ViewPort* viewport, GeometryChunk* chunk, const LightList* lights,
                                  const Matrix4& transform, const uint16_t* indices, uint32_t indexCount,
                                  uint32_t primitiveCount, uint32_t primitiveKind)
{
    VertexProgram* program = chunk->GetVertexProgram(0);
    SetLightingState(display, nullptr, chunk, program, lights, transform, chunk->GetLightScale(), true);
    display->SetTransform(transform);
    if (indices != nullptr)
        chunk->RenderPrimitives(display, viewport, program, indexCount, indices, primitiveCount, primitiveKind, true,
                                0);
    else
        chunk->RenderGeometry(display, viewport, program, true, 0);
}

void OneTextureMaterial::RenderChunk(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                     const LightList* lights, const Matrix4& transform, int)
{
    if (display == nullptr || chunk == nullptr) return;
    for (uint32_t pass = 0; pass < GetNumPasses(); ++pass)
    {
        Bind(display, viewport, pass);
        DrawPass(display, viewport, chunk, lights, transform, nullptr, 0, 0, 0);
        Unbind(display, viewport, pass);
    }
}

void OneTextureMaterial::RenderNumChunks(Display* display, ViewPort* viewport, GeometryChunk* const* chunks,
                                         const LightList* const* lights, const Matrix4* transforms, uint32_t count, int)
{
    if (display == nullptr || count == 0) return;
    for (uint32_t pass = 0; pass < GetNumPasses(); ++pass)
    {
        Bind(display, viewport, pass);
        for (uint32_t i = 0; i < count; ++i)
            if (chunks[i] != nullptr)
                DrawPass(display, viewport, chunks[i], lights ? lights[i] : nullptr, transforms[i], nullptr, 0, 0, 0);
        Unbind(display, viewport, pass);
    }
}

void OneTextureMaterial::RenderPrimitives(Display* display, ViewPort* viewport, GeometryChunk* chunk,
                                          const LightList* lights, const Matrix4& transform, uint32_t indexCount,
                                          const uint16_t* indices, uint32_t primitiveCount, uint32_t primitiveKind, int)
{
    if (display == nullptr || chunk == nullptr) return;
    for (uint32_t pass = 0; pass < GetNumPasses(); ++pass)
    {
        Bind(display, viewport, pass);
        DrawPass(display, viewport, chunk, lights, transform, indices, indexCount, primitiveCount, primitiveKind);
        Unbind(display, viewport, pass);
    }
}

// ---- the plug-in base ----

RenderingCache* AcquireRenderingCache(RenderKernel* kernel, const UId& kind)
{
    if (kernel == nullptr) return nullptr;
    RenderingCacheManager& caches = kernel->GetRenderingCacheManager();
    RenderingCache* cache = caches.FindCache(kind);
    if (cache == nullptr)
    {
        if (kind == AlphaBlendCache::AlphaBlendCacheID())
            cache = new AlphaBlendCache(1);
        else if (kind == AlphaMaskCache::AlphaMaskCacheID())
            cache = new AlphaMaskCache(1);
        else if (kind == MaterialChunkCache::MaterialChunkCacheID())
            cache = new MaterialChunkCache(1);
        else
            return nullptr;
        caches.AddCache(cache);
    }
    cache->AddRef();
    return cache;
}

OneTextureMaterialPlugin::~OneTextureMaterialPlugin() { OneTextureMaterialPlugin::ReleasePluginResources(); }

void OneTextureMaterialPlugin::ReleasePluginResources()
{
    if (Display* display = resourceDisplay_.Get(); display && baseSetup_ != 0)
        display->ReleaseTextureStageSetup(baseSetup_);
    baseSetup_ = 0;
    chunkCache_.Reset();
    maskCache_.Reset();
    blendCache_.Reset();
    resourceDisplay_.Reset();
}

bool OneTextureMaterialPlugin::CreatePluginResources(RenderKernel* kernel)
{
    Display* display = kernel ? kernel->GetDisplay() : nullptr;
    if (display == nullptr) return false;
    if (!resourceDisplay_.Refers(display)) ReleasePluginResources();
    resourceDisplay_ = DisplayHandle(display);
    struct
    {
        AutoReference<RenderingCache>& slot;
        const UId& kind;
    } wanted[] = {{chunkCache_, MaterialChunkCache::MaterialChunkCacheID()},
                  {maskCache_, AlphaMaskCache::AlphaMaskCacheID()},
                  {blendCache_, AlphaBlendCache::AlphaBlendCacheID()}};
    for (auto& w : wanted)
        if (!w.slot)
        {
            RenderingCache* cache = AcquireRenderingCache(kernel, w.kind);
            w.slot = cache;
            if (cache) cache->Release();
        }
    if (baseSetup_ == 0)
    {
        static const TextureArgs colour{0, 2, 0, 1};
        static const TextureArgs alpha{0, 1, 1, 1};
        baseSetup_ = display->CreateTextureStageSetup(0, colour, alpha);
    }
    return chunkCache_ && maskCache_ && blendCache_;
}

Material* OneTextureMaterialPlugin::CreateFor(const PString& name, MaterialManager& manager)
{
    return CreateMaterialInstance(name, &manager, manager.GetRenderKernel());
}

Material* OneTextureMaterialPlugin::CreateMaterialInstance(const PString& name, MaterialManager* manager,
                                                           RenderKernel* kernel)
{
    if (!CreatePluginResources(kernel)) return nullptr;
    auto* material =
        new OneTextureMaterial(name, GetName(), manager, chunkCache_.Get(), maskCache_.Get(), blendCache_.Get());
    material->SetTextureStageSetup(baseSetup_);
    return material;
}

}  // namespace Orvo
