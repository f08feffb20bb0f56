#pragma once
// "dlsparsefolder": every asset folder below a folder is installed, saved as a content archive (with its
// JPEG thumbnail) into the output tree by state and asset type, recorded for the download station's SQL
// files and deleted from the local database again. The delete takes out the copy the run installed: an asset
// the user had installed is held aside meanwhile and put back as it was (HeldAsset.h).
//
// Output tree below UserData/dls-parse/ of the installation (created whole when missing):
//   DLS/<type>/               assets the download station lists already (no SQL record)
//   Faulty/<type>/            assets whose validation failed
//   VELMAR2010-Builtin/<type>/ every other asset
// each holding "<user>_<content>[_<version>].cdp" and its ".jpg", beside the SQL files of ExportSQL.h.
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADStatus.h"
#include "core/KUID.h"
#include "core/TDBTagRef.h"
#include "engine/FilePath.h"

#include <cstdint>
#include <vector>

class ResultsLog;
class VADClient;
struct ExportRecordList;

// UserData/dls-parse/ below the installation root; empty while no root is set.
Orvo::File::Path AssetParseRoot();

// Walks the folder and writes what the walk leaves as the last batch. False when anything failed (each
// failure is posted to the log; the other folders are still exported).
bool ExportDownloadStationFolder(VADClient& client, const Orvo::File::Path& folder, ResultsLog& log);

// An asset folder below the folder an export is given, and its configuration file.
struct AssetFolderFound
{
    Orvo::File::Path folder;
    Orvo::File::Path config;
};
// The asset folders below `folder`, in one walk: a folder holding "config.chump" (before "config.txt") is an
// asset folder and is not entered; other folders are entered, to kMaxInstallTreeDepth (a deeper one is said in a
// warning); names beginning with "." are skipped. The export reads and exports exactly these.
std::vector<AssetFolderFound> FindAssetFolders(const Orvo::File::Path& folder, ResultsLog& log);
// One asset folder, named by its configuration file. False when it cannot be installed or saved, or the copy the
// user had installed cannot be put back (the error names where it is kept).
bool ExportAssetFolder(VADClient& client, const Orvo::File::Path& configPath, ExportRecordList& list,
                       const Orvo::File::Path& root, ResultsLog& log);

// The record of one asset for the SQL files: "kuid", "asset" { assettypeid, title, description,
// downloadpath, filesize, productversion, kuid }, "deps", "cats" and "cat_els"; the failure of a request it
// needs otherwise.
VADStatus BuildAssetExportRecord(VADClient& client, const KUID& kuid, const VADAssetInfo& info, int32_t typeId,
                                 TDBTagRef& record);

// "DLS", "Faulty" or "VELMAR2010-Builtin" by the record's flags.
const char* ExportStateFolder(const VADAssetInfo& info);
// The download station's KUID text: "u:c:v" for a user id above 0 and a version other than 0, else "u:c".
std::string ExportKUIDText(const KUID& kuid);
