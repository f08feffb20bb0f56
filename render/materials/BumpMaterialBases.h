#pragma once
// What the bump and ground materials add to their one-texture base, as templates over that base:
//
// - BumpTextureMaterial: the bump (normal) map, texture number 8, which is the shared texture 0 until one
//   is set, so that such a material always has one; the four programs of its two passes; and the passes
//   themselves (all first passes before any second pass), drawn for its chunk list (MaterialFamily.h).
// - SecondTextureMaterial: a second texture, number 9 (an environment or gloss map), also the shared
//   texture 0 at first, with the value it was given; such materials are never blended, and draw each chunk
//   on its own (never primitive by primitive).
//
// A texture slot is replaced only by a texture that was found: a name that cannot be loaded keeps the
// map that was there (result 3).
#include "engine/Display.h"
#include "engine/OneTextureMaterial.h"
#include "engine/TextureManager.h"
#include "render/materials/BumpPasses.h"
#include "render/materials/MaterialFamily.h"

#include <string>

// A texture slot's first texture: the shared texture 0, so that the slot always holds one.
inline Orvo::AutoReference<Orvo::DisplayTexture> SharedTextureZero(Orvo::TextureManager* textures)
{
    Orvo::AutoReference<Orvo::DisplayTexture> slot;
    Orvo::DisplayTexture* shared = Orvo::SharedTextureCollection::GetTexture(0, textures);
    slot = shared;
    if (shared) shared->Release();
    return slot;
}

template <class Base>
class BumpTextureMaterial : public ChunkListMaterial<Base>
{
public:
    static constexpr int kBumpTexture = 8;

    BumpTextureMaterial(const Orvo::PString& name, const Orvo::PString& type, Orvo::MaterialManager* manager,
                        Orvo::RenderingCache* chunkCache, Orvo::RenderingCache* maskCache,
                        Orvo::RenderingCache* blendCache, const BumpPrograms& programs)
        : ChunkListMaterial<Base>(name, type, manager, chunkCache, maskCache, blendCache), programs_(programs)
    {
        bump_ = SharedTextureZero(this->GetTextureManager());
    }

    Orvo::DisplayTexture* GetBumpTexture() const { return bump_.Get(); }
    BumpPrograms GetPrograms() const { return programs_.Get(); }

    // Takes another's settings and textures (shared).
    void InitInstance(const BumpTextureMaterial& from)
    {
        Base::InitInstance(from);
        bump_ = from.bump_;
    }
    bool Equals(const BumpTextureMaterial& other) const { return bump_ == other.bump_ && Base::Equals(other); }
    bool IsEqual(const Orvo::Material& other) const override { return SameMaterial(*this, other); }

    using Base::SetTexture;
    int SetTexture(int number, Orvo::ResourceDatabase* database, const Orvo::PString& file, float value,
                   const std::string& text) override
    {
        if (number != kBumpTexture) return Base::SetTexture(number, database, file, value, text);
        return this->ReplaceTexture(bump_, number, database, file, value, text);
    }
    int SetTexture(int number, Orvo::DisplayTexture* texture, float value) override
    {
        if (number != kBumpTexture) return Base::SetTexture(number, texture, value);
        return this->ReplaceTexture(bump_, number, texture, value);
    }
    Orvo::DisplayTexture* GetTexture(int number) const override
    {
        return number == kBumpTexture ? bump_.Get() : Base::GetTexture(number);
    }
    int DuplicateTexture(int number) override
    {
        return number == kBumpTexture ? this->DuplicateSlot(bump_) : Base::DuplicateTexture(number);
    }
    // 4 while the bump map is missing or loading.
    int IsLoaded() const override
    {
        if (!bump_ || !bump_->IsLoaded()) return Orvo::Material::ResultNotLoaded;
        return Base::IsLoaded();
    }
    void Activate(int level) override
    {
        if (bump_) bump_->Activate(level);
        Base::Activate(level);
    }

protected:
    // The bump map on stage 1 (stage 1 disabled without one).
    void BindBumpStage(Orvo::Display* display) const { this->BindStage(display, 1, bump_.Get()); }
    // The two passes between one SetDisplayState and one ClearDisplayState: every first pass, then every
    // second pass of a chunk whose lights hold a spot light. Nothing at all happens without a viewport.
    void DrawChunks(Orvo::Display* display, Orvo::ViewPort* viewport, const ChunkDraw* draws, uint32_t count) override
    {
        if (display == nullptr || viewport == nullptr || count == 0) return;
        const BumpPrograms programs = GetPrograms();
        const BumpPassOptions options;
        this->SetDisplayState(display);
        for (uint32_t i = 0; i < count; ++i)
            if (draws[i].chunk)
                DrawParallelPass(display, viewport, this->GetDisplayMaterial(), programs, options, draws[i]);
        for (uint32_t i = 0; i < count; ++i)
            if (draws[i].chunk)
                DrawSpotPass(display, viewport, this->GetDisplayMaterial(), programs, options, draws[i],
                             ChooseBrightestLight(draws[i].lights, Orvo::DisplayLight::Spot));
        this->ClearDisplayState(display);
    }

    Orvo::AutoReference<Orvo::DisplayTexture> bump_;
    BumpProgramRefs programs_;
};

template <class Base>
class SecondTextureMaterial : public Base
{
public:
    static constexpr int kSecondTexture = 9;

    template <class... Args>
    explicit SecondTextureMaterial(Args&&... args) : Base(std::forward<Args>(args)...)
    {
        second_ = SharedTextureZero(this->GetTextureManager());
    }

    Orvo::DisplayTexture* GetSecondTexture() const { return second_.Get(); }
    // The value given with texture 9 (the environment value, the gloss strength).
    float GetSecondValue() const { return secondValue_; }

    void InitInstance(const SecondTextureMaterial& from)
    {
        Base::InitInstance(from);
        second_ = from.second_;
        secondValue_ = from.secondValue_;
    }
    bool Equals(const SecondTextureMaterial& other) const
    {
        return second_ == other.second_ && secondValue_ == other.secondValue_ && Base::Equals(other);
    }
    bool IsEqual(const Orvo::Material& other) const override { return SameMaterial(*this, other); }

    using Base::SetTexture;
    int SetTexture(int number, Orvo::ResourceDatabase* database, const Orvo::PString& file, float value,
                   const std::string& text) override
    {
        if (number != kSecondTexture) return Base::SetTexture(number, database, file, value, text);
        const int result = this->ReplaceTexture(second_, number, database, file, value, text);
        if (result == Orvo::Material::ResultOk) secondValue_ = value;
        return result;
    }
    int SetTexture(int number, Orvo::DisplayTexture* texture, float value) override
    {
        if (number != kSecondTexture) return Base::SetTexture(number, texture, value);
        const int result = this->ReplaceTexture(second_, number, texture, value);
        if (result == Orvo::Material::ResultOk) secondValue_ = value;
        return result;
    }
    Orvo::DisplayTexture* GetTexture(int number) const override
    {
        return number == kSecondTexture ? second_.Get() : Base::GetTexture(number);
    }
    int DuplicateTexture(int number) override
    {
        return number == kSecondTexture ? this->DuplicateSlot(second_) : Base::DuplicateTexture(number);
    }
    int IsLoaded() const override
    {
        if (!second_ || !second_->IsLoaded()) return Orvo::Material::ResultNotLoaded;
        return Base::IsLoaded();
    }
    void CacheAlphaHint() override { this->SetCachedAlphaHint(Orvo::Material::kAlphaHintNone); }
    // Draws nothing: such materials are not drawn primitive by primitive.
    void RenderPrimitives(Orvo::Display*, Orvo::ViewPort*, Orvo::GeometryChunk*, const Orvo::LightList*,
                          const Orvo::Matrix4&, uint32_t, const uint16_t*, uint32_t, uint32_t, int) override
    {}

protected:
    // Each chunk drawn on its own (DrawChunk); nothing at all happens without a viewport.
    void DrawChunks(Orvo::Display* display, Orvo::ViewPort* viewport, const ChunkDraw* draws, uint32_t count) override
    {
        if (display == nullptr || viewport == nullptr) return;
        for (uint32_t i = 0; i < count; ++i)
            if (draws[i].chunk) DrawChunk(display, viewport, draws[i]);
    }
    // One chunk, between its own SetDisplayState and ClearDisplayState.
    virtual void DrawChunk(Orvo::Display* display, Orvo::ViewPort* viewport, const ChunkDraw& draw) = 0;

    Orvo::AutoReference<Orvo::DisplayTexture> second_;
    float secondValue_ = 0.0f;
};
