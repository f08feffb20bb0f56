#pragma once
// Whether the materials of a mesh have their textures: what the mesh resources ask while they load.
// Both checks walk the materials in order and, inside a material that is not loaded yet, its texture
// definitions (the textures it was given by number and name).
#include "engine/AutoReference.h"
#include "engine/AutoReferenceArray.h"
#include "engine/Material.h"

// Starts every texture still to be loaded; false at the first texture whose load reports failure (the
// materials after it are not asked). An empty array gives true.
bool LoadAllMaterialTextures(const Orvo::AutoReferenceArray<Orvo::AutoReference<Orvo::Material>>& materials);

// 0 when every material is loaded, 1 when one failed, 5 while one is still loading; the first material
// that is not loaded decides. A not-loaded material with no texture definitions can never load (1).
void IsAllMaterialsLoaded(const Orvo::AutoReferenceArray<Orvo::AutoReference<Orvo::Material>>& materials, int& result);
