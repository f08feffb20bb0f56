#pragma once
// How the material families make their geometry chunks from the creation hint. Both read the hint's
// vertex-keeping options (valid only when the hint says so) and its vertex and index usage words:
//
// - the bump line: sharing between instances is asked for by option bit 1; option bit 0 is cleared and,
//   with sharing, bit 2 set (written back into the hint). Dynamic vertex data for usage 1 or sharing
//   (no step at all for usage 0, none for another usage without sharing); shared vertex data with
//   sharing; dynamic indices for index usage 1.
// - the one-texture line: option bits 0 and 1; bit 2 is set in the hint when bit 1 is and the display
//   can share vertex data. Dynamic vertex data for usage 1, or 2 with bit 1; shared vertex data with
//   bit 0 or 1; dynamic indices for index usage 1.
#include "engine/GeometryChunk.h"
#include "engine/PString.h"

#include <cstdint>

namespace Orvo {
class Display;
}

// The chunk layouts the families choose from.
enum class MaterialChunkKind
{
    PNTA,    // position, normal, texture, tangent (the bump materials)
    PCNTA,   // position, colour, normal, texture, tangent (the ground line)
    PNT,     // position, normal, texture
    NmlPCT,  // position, colour, texture, with the normals in an array of their own
};

struct ChunkSizes
{
    uint32_t vertices = 0;
    uint32_t primitives = 0;
    uint32_t indices = 0;
    uint32_t faces = 0;
};

// A new chunk of that layout with the engine's flags for the type code and hint (null for an unknown
// type code).
Orvo::GeometryChunk* NewMaterialChunk(MaterialChunkKind kind, const ChunkSizes& sizes, uint32_t flags);
// The bump line's chunk (see above); null for an unknown type code.
Orvo::GeometryChunk* CreateBumpLineChunk(MaterialChunkKind kind, const ChunkSizes& sizes, uint32_t typeCode,
                                         const Orvo::StandardChunkHint& hint);
// The one-texture line's chunk; `kind` may depend on option bit 0 (`pick` gets bits 0 and 1).
Orvo::GeometryChunk* CreateOneTextureLineChunk(MaterialChunkKind (*pick)(uint8_t options), const ChunkSizes& sizes,
                                               uint32_t typeCode, const Orvo::StandardChunkHint& hint,
                                               const Orvo::Display* display);
// Vertex data shared per instance (mode -3) unless every instance keeps its own chunk (the environment
// and gloss materials).
void SharePerInstanceVertices(Orvo::GeometryChunk* chunk);
// The gloss materials: SharePerInstanceVertices, and the property "RustAge" (0 when new).
void AddRustAgeProperty(Orvo::GeometryChunk* chunk);
// The interned "RustAge".
const Orvo::PString& RustAgeName();
