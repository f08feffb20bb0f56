#pragma once
// What asset validation reads of a mesh it loaded (its MeshData and LODMeshData objects hold the
// instance a mesh resource made). See the README's "For validation" table for the accessor each of those
// objects' operations maps onto.
#include "engine/PString.h"

#include <cstdint>

class VelmarIndexedMeshInstance;

// True when a chunk of the instance has more than 3000 indices (3000 itself does not count); false for
// no instance.
bool MeshNeedsLOD(const VelmarIndexedMeshInstance* instance);

// The element count (primitives) of the instance's chunks: for a LOD instance, those of its selected
// level; 0 for no instance.
uint32_t MeshElementCount(const VelmarIndexedMeshInstance* instance);

// The interned type name the mesh data objects answer ("some name"), made on first use.
const Orvo::PString& MeshDataTypeName();
