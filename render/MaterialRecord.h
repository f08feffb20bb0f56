#pragma once
// What a mesh file says about one chunk's material, before the material is made: its decorated name,
// parameter pairs, flag, opacity, display material and texture entries. Also the two name operations
// that build material type names.
#include "engine/Material.h"
#include "engine/PString.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct MeshTextureEntry
{
    uint32_t stage = 0;
    Orvo::PString file;  // already resolved against the mesh's folder
    float value = 0.0f;
};

struct MaterialRecord
{
    Orvo::PString name;
    std::vector<std::pair<std::string, std::string>> pairs;  // parameter name, value
    bool flag = false;
    float opacity = 1.0f;
    Orvo::DisplayMaterial display;
    std::vector<MeshTextureEntry> textures;
};

// "m." + the short type name ("tbumptex" gives "m.tbumptex").
Orvo::PString MaterialTypeName(const Orvo::PString& shortName);
// `a` followed by `b`; `b` when `a` is empty.
Orvo::PString ConcatenateNames(const Orvo::PString& a, const Orvo::PString& b);
