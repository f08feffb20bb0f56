#pragma once
// One installed asset written as a content archive of its own.
#include "core/KUID.h"
#include "engine/FilePath.h"
#include "engine/String.h"
#include "platform/FileIdentity.h"

class VADClient;

// Asks the daemon for the asset packed as an archive entry, stamps its "dsid" and saves an archive
// holding only that entry at `path` (written whole). False with the reason when the daemon cannot pack
// the asset, `path` leads to the file `read` (the package the asset came from), or the file cannot be written.
bool SaveAssetAsArchive(VADClient& client, const KUID& kuid, const Orvo::File::Path& path, Orvo::String& reason,
                        const Platform::FileIdentity& read = {});

// Whether an output written at `path` would take the place of the file `read`: the name is that file, a second
// name of it, or a link to it.
bool IsReadFile(const Orvo::File::Path& path, const Platform::FileIdentity& read);
