#include "render/materials/MaterialChunks.h"

#include "engine/Display.h"
#include "engine/Material.h"

#include <new>

using namespace Orvo;

GeometryChunk* NewMaterialChunk(MaterialChunkKind kind, const ChunkSizes& s, uint32_t flags)
{
    switch (kind)
    {
    case MaterialChunkKind::PNTA:
        return new (std::nothrow)
            GeometryChunkTemplate<PackedVertexPNTA>(flags, s.vertices, s.primitives, s.indices, s.faces);
    case MaterialChunkKind::PCNTA:
        return new (std::nothrow)
            GeometryChunkTemplate<PackedVertexPCNTA>(flags, s.vertices, s.primitives, s.indices, s.faces);
    case MaterialChunkKind::PNT:
        return new (std::nothrow)
            GeometryChunkTemplate<PackedVertexPNT>(flags, s.vertices, s.primitives, s.indices, s.faces);
    case MaterialChunkKind::NmlPCT:
        return new (std::nothrow)
            GeometryChunkNmlTemplate<PackedVertexPCT>(flags, s.vertices, s.primitives, s.indices, s.faces);
    }
    return nullptr;
}

GeometryChunk* CreateBumpLineChunk(MaterialChunkKind kind, const ChunkSizes& sizes, uint32_t typeCode,
                                   const StandardChunkHint& hint)
{
    bool sharing = false;
    if (hint.optionsValid)
    {
        uint8_t options = hint.options;
        sharing = (options & StandardChunkHint::OptionShareVertices) != 0;
        options &= uint8_t(~StandardChunkHint::OptionNormalArray);
        if (sharing) options |= StandardChunkHint::OptionSharingSet;
        hint.options = options;
    }
    const uint32_t flags = Material::MakeGeometryChunkFlags(typeCode, &hint);
    if (flags == 0xFFFFFFFFu) return nullptr;
    GeometryChunk* chunk = NewMaterialChunk(kind, sizes, flags);
    if (chunk == nullptr) return nullptr;
    const uint32_t mode = hint.vertexUsage;
    const bool skip = mode != 0 && mode != StandardChunkHint::UsageDynamic && !sharing;
    if (!skip)
    {
        if (mode != 0 && (mode == StandardChunkHint::UsageDynamic || sharing)) chunk->SetVertexDataDynamic(0, -2, true);
        if (sharing) chunk->SetVertexDataShared(0, 0, false);
    }
    if (hint.indexUsage == StandardChunkHint::UsageDynamic) chunk->SetIndexDataDynamic();
    return chunk;
}

GeometryChunk* CreateOneTextureLineChunk(MaterialChunkKind (*pick)(uint8_t), const ChunkSizes& sizes, uint32_t typeCode,
                                         const StandardChunkHint& hint, const Display* display)
{
    uint8_t bits = 0;
    if (hint.optionsValid)
    {
        bits = hint.options & (StandardChunkHint::OptionNormalArray | StandardChunkHint::OptionShareVertices);
        if ((hint.options & StandardChunkHint::OptionShareVertices) &&
            !(hint.options & StandardChunkHint::OptionSharingSet) && display &&
            display->SupportsCapability(Display::CapSharedVertexData))
            hint.options |= StandardChunkHint::OptionSharingSet;
    }
    const uint32_t flags = Material::MakeGeometryChunkFlags(typeCode, &hint);
    if (flags == 0xFFFFFFFFu) return nullptr;
    GeometryChunk* chunk = NewMaterialChunk(pick(bits), sizes, flags);
    if (chunk == nullptr) return nullptr;
    const bool shareBit = (bits & StandardChunkHint::OptionShareVertices) != 0;
    if (hint.vertexUsage == StandardChunkHint::UsageDynamic ||
        (hint.vertexUsage == StandardChunkHint::UsageStatic && shareBit))
        chunk->SetVertexDataDynamic(0, -2, true);
    if (bits != 0) chunk->SetVertexDataShared(0, 0, false);
    if (hint.indexUsage == StandardChunkHint::UsageDynamic) chunk->SetIndexDataDynamic();
    return chunk;
}

const PString& RustAgeName()
{
    static const PString name("RustAge");
    return name;
}

void SharePerInstanceVertices(GeometryChunk* chunk)
{
    if (chunk && (chunk->GetFlags() & GeometryChunk::FlagPerInstance) == 0) chunk->SetVertexDataShared(0, -3, false);
}

void AddRustAgeProperty(GeometryChunk* chunk)
{
    if (chunk == nullptr) return;
    SharePerInstanceVertices(chunk);
    if (chunk->AddChunkProperty(RustAgeName())) chunk->SetChunkProperty(RustAgeName(), 0.0f);
}
