#pragma once
// What the indexed and LOD mesh writers share: vectors and colours as 32-bit floats, and vertex items
// packed for a geometry block.
#include "engine/Color.h"
#include "engine/File.h"
#include "engine/GeometryChunk.h"
#include "engine/MeshFileSupport.h"
#include "engine/Vector.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace MeshFileWriting {

bool WriteVector(Orvo::File& f, const Orvo::Vector3& v);
bool WriteRGB(Orvo::File& f, const Orvo::Color& c, float scale = 1.0f);
// Appends `bytes` of each vertex's item (and, when given, `bytes2` of a second item after it), or zeros
// for an item the chunk lacks.
void AppendItems(std::vector<uint8_t>& out, Orvo::GeometryChunk& chunk, uint32_t item, size_t bytes, uint32_t vertices,
                 uint32_t item2 = 0, size_t bytes2 = 0);

}  // namespace MeshFileWriting
