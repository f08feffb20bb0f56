#pragma once
// The texture folder check: walks an asset's folder tree and checks its texture files, each problem one
// keyed finding through the validation error handler:
//   - a compiled texture ("x.texture") must have its description ("x.texture.txt") beside it, unless the
//     asset names a mesh asset (the data manager's mesh-asset flag), whose textures come without them;
//   - a "x.convert-tex.txt" is what a failed conversion left behind;
//   - a description ("x.texture.txt") must be plain ASCII, its primary and alpha images must exist, load,
//     have sides that are powers of two and the same size, its primary must not be a single colour, and in
//     an installed asset its compiled texture must be there.
// Entries are visited in the order of their names, so the findings come in the same order on every file
// system; a folder is walked, then its own name is taken like a file's. Names in findings are relative to
// the asset's folder and as written.
#include "engine/FilePath.h"

namespace TETLib {

class Container;
class DataManager;

// Checks `folder` and the folders below it for the asset under validation by `manager`, reporting into its
// error handler; `root` (with a trailing separator) is what names in findings are made relative to. True
// when nothing was reported; a folder that cannot be listed passes.
bool CheckTextureFolder(const DataManager& manager, const Orvo::File::Path& root, const Orvo::File::Path& folder);

// The hook form: the asset's folder is both the root and the folder walked.
bool CheckAssetTextures(const Orvo::File::Path& folder, Container& root);

}  // namespace TETLib
