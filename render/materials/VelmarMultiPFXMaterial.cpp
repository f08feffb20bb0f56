#include "render/materials/VelmarMultiPFXMaterial.h"

#include "engine/VertexType.h"
#include "render/materials/BumpPasses.h"
#include "render/materials/LitChunks.h"
#include "render/materials/MaterialChunks.h"
#include "render/materials/MaterialTypes.h"

namespace Orvo {

VelmarMultiPFXMaterial::VelmarMultiPFXMaterial(const PString& name, MaterialManager* manager,
                                               RenderingCache* chunkCache, RenderingCache* maskCache,
                                               RenderingCache* blendCache, uint32_t setup0, uint32_t setup1)
    : ChunkListMaterial<OneTextureMaterial>(name, MaterialTypeToken(VelmarMaterialType::MultiPFX), manager, chunkCache,
                                            maskCache, blendCache),
      setups_{setup0, setup1}
{}

Material* VelmarMultiPFXMaterial::Duplicate() const { return DuplicateMaterial(*this, setups_[0], setups_[1]); }

void VelmarMultiPFXMaterial::InitInstance(const VelmarMultiPFXMaterial& from)
{
    OneTextureMaterial::InitInstance(from);
    second_ = from.second_;
    matrix_ = from.matrix_;
    vertexType_ = from.vertexType_;
}

void VelmarMultiPFXMaterial::SetResourcePriority(float priority)
{
    OneTextureMaterial::SetResourcePriority(priority);
    if (second_) second_->SetPriority(priority);
}

void VelmarMultiPFXMaterial::Activate(int level)
{
    OneTextureMaterial::Activate(level);
    if (second_) second_->Activate(level);
}

int VelmarMultiPFXMaterial::SetTexture(int number, ResourceDatabase* database, const PString& file, float value,
                                       const std::string& text)
{
    if (number != kSecondTexture) return OneTextureMaterial::SetTexture(number, database, file, value, text);
    return ReplaceTexture(second_, number, database, file, value, text);
}

int VelmarMultiPFXMaterial::SetTexture(int number, DisplayTexture* texture, float value)
{
    if (number != kSecondTexture) return OneTextureMaterial::SetTexture(number, texture, value);
    return ReplaceTexture(second_, number, texture, value);
}

DisplayTexture* VelmarMultiPFXMaterial::GetTexture(int number) const
{
    return number == kSecondTexture ? second_.Get() : OneTextureMaterial::GetTexture(number);
}

int VelmarMultiPFXMaterial::DuplicateTexture(int number)
{
    return number == kSecondTexture ? DuplicateSlot(second_) : OneTextureMaterial::DuplicateTexture(number);
}

int VelmarMultiPFXMaterial::IsLoaded() const
{
    if (int r = SlotLoaded(second_)) return r;
    return OneTextureMaterial::IsLoaded();
}

GeometryChunk* VelmarMultiPFXMaterial::CreateGeometryChunk(uint32_t vertexCount, uint32_t primitiveCount,
                                                           uint32_t indexCount, uint32_t faceCount, uint32_t typeCode,
                                                           const StandardChunkHint& hint)
{
    Display* display = manager_ ? manager_->GetDisplay() : nullptr;
    GeometryChunk* chunk =
        CreateOneTextureLineChunk([](uint8_t) { return MaterialChunkKind::NmlPCT; },
                                  {vertexCount, primitiveCount, indexCount, faceCount}, typeCode, hint, display);
    if (chunk == nullptr) return nullptr;
    if (!vertexType_)
    {
        // The packed layout with texture set 1 reading the same coordinates as set 0.
        const VertexType& pct = VertexType::PCT();
        const int32_t texture = pct.GetItemOffset(ItemTexture0);
        vertexType_ = std::make_shared<VertexType>(
            kVertexTypeId, pct.GetStride(),
            std::initializer_list<std::pair<uint32_t, int32_t>>{{ItemPosition, pct.GetItemOffset(ItemPosition)},
                                                                {ItemColour, pct.GetItemOffset(ItemColour)},
                                                                {ItemTexture0, texture},
                                                                {ItemTexture0 + 1, texture}});
    }
    if (display) display->RegisterVertexType(vertexType_.get());
    static_cast<GeometryChunkSingleStream*>(chunk)->SetVertexType(vertexType_);
    return chunk;
}

void VelmarMultiPFXMaterial::DrawChunks(Display* display, ViewPort* viewport, const ChunkDraw* draws, uint32_t count)
{
    DrawLitChunks(*this, 1.0f, display, viewport, draws, count);
}

void VelmarMultiPFXMaterial::SetDisplayState(Display* display)
{
    if (display == nullptr) return;
    OneTextureMaterial::SetDisplayState(display);
    if (setups_[0] != 0 && setups_[1] != 0)
    {
        display->ApplyTextureStageSetup(setups_[0]);
        display->ApplyTextureStageSetup(setups_[1]);
    }
    BindStage(display, 1, second_.Get());
    display->SetTextureMatrix(1, matrix_);
}

void VelmarMultiPFXMaterial::ClearDisplayState(Display* display)
{
    if (display == nullptr) return;
    OneTextureMaterial::ClearDisplayState(display);
    display->ResetTextureStage(0);
    display->ResetTextureStage(1);
    display->ResetTextureMatrix(1);
}

}  // namespace Orvo
