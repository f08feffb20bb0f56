#pragma once
// The builders the configuration normaliser calls for old assets: they make the current "mesh-table",
// "bogeys" and "attached-track" containers from the flat tags and the file naming rules of the old
// format. Each works on the in-memory configuration tree and reports nothing. The scenery, turntable and
// crossing builders look into the meshes they name (through the registered mesh source, in the folder of
// the asset under validation by `manager`) for attachment points; a mesh that is not there or does not
// load counts as having none.
#include "core/TDBTagRef.h"
#include "engine/FilePath.h"

#include <string_view>

namespace TETLib {

class DataManager;

// Mesh tables from the asset file name `assetFile` ("asset-filename"), for the kinds named.
void BuildBogeyMeshTable(TDBTagRef& tree, std::string_view assetFile);     // "bogey"
void BuildTraincarMeshTable(TDBTagRef& tree, std::string_view assetFile);  // "traincar"
void BuildSceneryMeshTable(DataManager& manager, TDBTagRef& tree,
                           std::string_view assetFile);  // "scenery", "buildable"
// From the flat tags "attachment" and "mesh" ("interior"), "mode0" and "mode1" ("mojunction").
void BuildInteriorMeshTable(TDBTagRef& tree);
void BuildJunctionMeshTable(TDBTagRef& tree);
// "bogeys" from "bogey", "bogey-r", "bogey-N" and "bogey-N-r" ("traincar").
void BuildBogeyList(TDBTagRef& tree);
// The mesh table from "mode0"/"mode1" and the tracks over the meshes from "track" (and "road").
void BuildTurntableMeshTable(DataManager& manager, TDBTagRef& tree);
void BuildCrossingMeshTable(DataManager& manager, TDBTagRef& tree);

// How many name attachment points ("a.name0", "a.name1", ... without a gap) the mesh file has; 0 when it
// does not load.
unsigned CountNameAttachments(DataManager& manager, const Orvo::File::Path& meshFile);

}  // namespace TETLib
