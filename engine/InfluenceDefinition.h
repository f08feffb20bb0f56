#pragma once
// Bone influences as the mesh files give them: per bone, groups of weighted vertices of one chunk.
#include "engine/Matrix3.h"
#include "engine/PString.h"
#include "engine/Vector.h"

#include <cstdint>
#include <vector>

namespace Orvo {

// One weighted vertex (20 bytes in the files): the vertex, its weight and three further floats.
struct InfluenceEntry
{
    uint32_t vertex = 0;
    float weight = 0.0f;
    float extra[3] = {0.0f, 0.0f, 0.0f};
};
static_assert(sizeof(InfluenceEntry) == 20);

struct InfluenceGroup
{
    uint32_t chunk = 0;
    std::vector<InfluenceEntry> entries;
};

struct InfluenceDefinition
{
    PString name;
    PString parentName;
    Vector3 position;
    Matrix3 orientation;
    std::vector<InfluenceGroup> groups;
};

}  // namespace Orvo
