#pragma once
// The requests the program makes of the asset database daemon. Each sends one request through the
// transaction core (VADClient.h) and gives the documented answer when the request fails, so callers can
// go on without a daemon: empty texts, null trees, null KUIDs, false, or true where "true" is the safe
// answer (missing dependencies, faulty).
#include "assetdb/PStringArray.h"
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADEditHandle.h"
#include "assetdb/VADFilter.h"
#include "core/ChunkedList.h"
#include "core/KUID.h"
#include "core/TDBTagRef.h"
#include "engine/FilePath.h"
#include "engine/PString.h"
#include "engine/String.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class ResultsLog;

// ---- asset records and queries -------------------------------------------------------------------------

// Request 21. Fills the parts of the record the detail mask selects (VAD_DETAIL_...; -1 every part).
// False on failure, when the record is left empty (not valid).
bool VADGetAssetInfo(const KUID& kuid, VADAssetInfo& info, int32_t detailMask = VAD_DETAIL_ALL);
// The name (detail 1), region or era (detail 4) of the record; empty on failure.
Orvo::String VADGetAssetName(const KUID& kuid);
Orvo::String VADGetAssetCategoryRegion(const KUID& kuid);
Orvo::String VADGetAssetCategoryEra(const KUID& kuid);
// Request 28; empty on failure.
Orvo::String VADGetAssetDescription(const KUID& kuid);
// Request 20; a null tree when the asset is not local or the request fails.
bool VADGetAssetConfig(TDBTagRef& out, const KUID& kuid, uint8_t flag);
// Request 42: appends the dependency KUIDs in reply order.
bool VADGetAssetDependencies(const KUID& kuid, ChunkedList<KUID>& out);
// Request 43: adds the KUIDs the asset makes obsolete.
bool VADGetAssetObsoletes(const KUID& kuid, std::set<KUID>& out);
// Request 29: the installed asset's thumbnail file.
bool VADGetAssetThumbnail(const KUID& kuid, uint32_t size, Orvo::PString& name, Orvo::File::Path& localPath,
                          Orvo::String& text);
// Request 44 / 45; true also when the request fails.
bool VADAssetHasMissingDependencies(const KUID& kuid, bool localOnly);
bool VADIsAssetFaulty(const KUID& kuid);
// Request 48: the asset packed as an archive entry; a null tree on failure.
bool VADGetAssetArchiveEntry(TDBTagRef& out, const KUID& kuid, ResultsLog* log, int32_t detail);
// Request 47: for each asset whether it is installed (known and local) and the folder of its active copy, in
// the order asked; false (and `out` empty) when the request fails.
bool VADGetAssetFolders(const std::vector<KUID>& kuids, std::vector<std::pair<bool, std::string>>& out,
                        ResultsLog* log = nullptr);
// Request 53; empty on failure. Request 54 (asynchronous).
Orvo::String VADGetAssetKeywords(const KUID& kuid);
bool VADSetAssetKeywords(const KUID& kuid, std::string_view keywords);
// Request 50 (asynchronous).
bool VADSetAssetFavorite(const KUID& kuid, uint8_t flag);
// Request 2: appends every KUID the filter selects; an empty group selects every asset. A failed
// request appends nothing.
bool VADQueryAssets(const VADFilterElementGroup& filter, ChunkedList<KUID>& out);

// ---- editing, installing, deleting ------------------------------------------------------------------

// Request 30: flag 1 opens the asset for editing, 0 only locates it. `out` is valid only on success.
bool VADOpenAssetForEdit(VADEditHandle& out, const KUID& kuid, uint8_t flag, ResultsLog* log = nullptr);
// Request 35: a new asset (the null KUID asks for a new KUID) open for editing.
bool VADCreateAsset(VADEditHandle& out, const KUID& kuid, std::string_view displayName, uint8_t flag,
                    ResultsLog* log = nullptr);
// Request 32: the content-source name and folder of an open asset; false when the folder is empty.
bool VADGetEditFolder(const VADEditHandle& handle, Orvo::PString& name, Orvo::File::Path& folder);
// Request 34. The out byte (when given) receives the daemon's answer byte.
bool VADCommitAsset(const VADEditHandle& handle, uint32_t option = 0, ResultsLog* log = nullptr,
                    uint8_t* outByte = nullptr, uint8_t flag = 0);
// Request 33.
bool VADRevertAsset(const VADEditHandle& handle, uint32_t option = 0, uint8_t flag = 0, ResultsLog* log = nullptr);
// Opens the asset (flag 0) and reverts it.
bool VADRevertAssetByKUID(const KUID& kuid, ResultsLog* log, uint8_t flag);
// Request 36. Drops the asset's cached spec when the asset was deleted.
bool VADDeleteAsset(const KUID& kuid, uint8_t flag, ResultsLog* log = nullptr);
// Request 39: installs one asset folder; the installed KUID, or the null KUID.
KUID VADInstallFromFolder(const Orvo::File::Path& folder, ResultsLog* log, uint32_t options = 0, uint8_t flag = 0);
bool VADInstallFromFolder(KUID& out, const Orvo::File::Path& folder, ResultsLog* log, uint32_t options = 0,
                          uint8_t flag = 0);
// Request 41: installs several asset folders in one request (one store transaction); `out` gets each one's
// KUID in order, the null KUID for a folder that was not installed. False when the request failed.
bool VADInstallFromFolders(const std::vector<std::string>& folders, std::vector<KUID>& out, ResultsLog* log,
                           uint32_t options = 0);
// Request 40: path, then the 32-bit value, then the flag. The out byte is cleared first.
bool VADInstallArchive(const Orvo::File::Path& path, ResultsLog* log, uint32_t value, uint8_t* outByte, uint8_t flag);
// Request 38 with the folder split into content source and relative path: true when the asset passed.
// *answered (when given) tells a verdict of "failed" from a request that got none.
bool VADValidateAsset(const Orvo::PString& name, const Orvo::File::Path& folder, ResultsLog* log,
                      bool* answered = nullptr);
// Request 64: the daemon's own check of an asset folder.
bool VADCheckAssetFolder(std::string_view source, const Orvo::File::Path& folder, ResultsLog* log);
// Request 49: a device package of the assets for the texture targets.
bool VADExportPackage(const PStringArray& textureTargets, const Orvo::File::Path& packagePath,
                      const std::vector<Orvo::String>& dependencyPackages, const ChunkedList<KUID>& kuids,
                      ResultsLog* log);

// ---- database and settings ------------------------------------------------------------------------------

// Request 3; any value other than 0 means not ready (also a failed request).
uint32_t VADGetDatabaseStatus();
// Request 235 / 236.
bool VADBeginWaitReady();
bool VADIsReady();
// Request 60: a new KUID in the local user's range; the null KUID on failure.
KUID VADGenerateKUID();
bool VADGenerateKUID(KUID& out, ResultsLog* log = nullptr);
// Request 61.
bool VADSetNextContentID(int32_t contentId);
// Request 62: the installed build numbers as text; empty on failure.
Orvo::String VADListBuilds();
// Request 70 (synchronous, results to the log) / 71 (asynchronous).
bool VADRepairDatabase(uint32_t mode, ResultsLog* log = nullptr, uint8_t progress = 1);
bool VADRequestRepairDatabase(uint32_t mode);
// Requests 100 / 101.
bool VADGetSettingsGroup(std::string_view group, TDBTagRef& out, uint32_t flags = 0);
bool VADSetSettingsGroup(std::string_view group, const TDBTagRef& tree);
// Request 102: empty on failure.
bool VADGetSettingString(Orvo::PString& out, std::string_view group, std::string_view key);
// Request 103 (asynchronous).
bool VADSetSettingInt(std::string_view group, std::string_view key, int32_t value);
// Request 110: the download station's latest version of an asset; the null KUID on failure.
KUID VADGetDownloadStationLatestKUID(const KUID& kuid);
// Request 113 (asynchronous).
bool VADSendAnalyticsHit(std::string_view page, std::string_view label);

// Fixed names for the maker's own (negative) user ids, else request 66.
bool GetAuthorName(int32_t userId, Orvo::PString& out);
// False for -2, true for other negative ids; for 0 and above request 65 (false when it fails).
bool IsValidKUIDUserId(int32_t userId);
