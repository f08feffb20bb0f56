#pragma once
// One installed asset written as a content archive of its own.
#include "core/KUID.h"
#include "engine/FilePath.h"
#include "engine/String.h"

class VADClient;

// Asks the daemon for the asset packed as an archive entry, stamps its "dsid" and saves an archive
// holding only that entry at `path` (written whole). False with the reason when the daemon cannot pack
// the asset or the file cannot be written.
bool SaveAssetAsArchive(VADClient& client, const KUID& kuid, const Orvo::File::Path& path, Orvo::String& reason);
