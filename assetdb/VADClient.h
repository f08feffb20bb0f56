#pragma once
// The requests the program makes of the asset database daemon, as calls on one connection (VADConnection.h)
// that its owner holds: the tool's for a run, a test's own in the tests. A client is a small value; copies
// call on the same connection, which must outlive them. A client without a connection (the tests of what
// must be answered before any request) fails every request with kVADStatusLinkDropped, sends nothing and
// records no link failure.
//
// Each call sends one request (the request table, VADRequestTable.def, gives its payloads) and answers with
// a VADStatus or VADResult (VADStatus.h): OK, the daemon's failure, a link that went away or a daemon that
// did not answer in time. A request the daemon answered with nothing to give fails with
// kVADStatusNotFound: an asset it does not know, a configuration that is not local, an empty folder.
// Out-parameters are emptied first and filled only on success. Without a link (VADConnection::LinkFailure)
// a request fails with kVADStatusLinkDropped and sends nothing.
//
// Requests the daemon does not answer (54, 50, 71, 103, 113: sent with transaction id 0, as peers expect them) are
// each followed by a confirm on their link (VADSentBatch.h): the call returns OK only once the daemon carried the
// request out, its status when it failed there (NotFound: an asset it does not know), and kVADStatusLinkDropped
// when the daemon stopped first, in which case it may not have been carried out. Callers sending many confirm once
// with a VADSentBatch of their own.
#include "assetdb/PStringArray.h"
#include "assetdb/VADAssetInfo.h"
#include "assetdb/VADConnection.h"
#include "assetdb/VADEditHandle.h"
#include "assetdb/VADFilter.h"
#include "assetdb/VADStatus.h"
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

class NWSpecFactory;
class ResultsLog;

class VADClient
{
public:
    VADClient() = default;
    explicit VADClient(VADConnection& link) : link_(&link) {}

    // The connection; null for a client without one.
    VADConnection* Link() const { return link_; }
    // True from a successful hello until the link drops.
    bool Connected() const { return link_ && link_->Connected(); }
    // A request of this command could not be carried out for want of a link (VADConnection::LinkFailure).
    bool LinkFailed() const { return link_ && link_->LinkFailure() != VADLinkFailure::kNone; }

    // The spec cache whose entry a delete drops (none: nothing is dropped).
    void SetSpecCache(NWSpecFactory* specs) { specs_ = specs; }
    NWSpecFactory* SpecCache() const { return specs_; }

    // ---- asset records and queries ---------------------------------------------------------------------

    // Request 21: the parts of the record the detail mask selects (VAD_DETAIL_...; -1 every part).
    // NotFound for a record that is not valid (an asset the database does not know).
    VADStatus GetAssetInfo(const KUID& kuid, VADAssetInfo& info, int32_t detailMask = VAD_DETAIL_ALL);
    // The name (detail 1), region or era (detail 4) of the record.
    VADResult<Orvo::String> GetAssetName(const KUID& kuid);
    VADResult<Orvo::String> GetAssetCategoryRegion(const KUID& kuid);
    VADResult<Orvo::String> GetAssetCategoryEra(const KUID& kuid);
    // Request 28.
    VADResult<Orvo::String> GetAssetDescription(const KUID& kuid);
    // Request 20; NotFound (and a null tree) when the asset is not local.
    VADStatus GetAssetConfig(TDBTagRef& out, const KUID& kuid, uint8_t flag);
    // Request 42: appends the dependency KUIDs in reply order.
    VADStatus GetAssetDependencies(const KUID& kuid, ChunkedList<KUID>& out);
    // Request 43: adds the KUIDs the asset makes obsolete.
    VADStatus GetAssetObsoletes(const KUID& kuid, std::set<KUID>& out);
    // Request 29: the installed asset's thumbnail file; NotFound when it has none.
    VADStatus GetAssetThumbnail(const KUID& kuid, uint32_t size, Orvo::PString& name, Orvo::File::Path& localPath,
                                Orvo::String& text);
    // Requests 44 / 45: the daemon's answer; a caller that must decide without one takes "yes".
    VADResult<bool> AssetHasMissingDependencies(const KUID& kuid, bool localOnly);
    VADResult<bool> IsAssetFaulty(const KUID& kuid);
    // Request 48: the asset packed as an archive entry; NotFound (and a null tree) for none.
    VADStatus GetAssetArchiveEntry(TDBTagRef& out, const KUID& kuid, ResultsLog* log, int32_t detail);
    // Request 47: for each asset whether it is installed (known and local) and the folder of its active copy,
    // in the order asked.
    VADStatus GetAssetFolders(const std::vector<KUID>& kuids, std::vector<std::pair<bool, std::string>>& out,
                              ResultsLog* log = nullptr);
    // Request 53. Request 54.
    VADResult<Orvo::String> GetAssetKeywords(const KUID& kuid);
    VADStatus SetAssetKeywords(const KUID& kuid, std::string_view keywords);
    // Request 50.
    VADStatus SetAssetFavorite(const KUID& kuid, uint8_t flag);
    // Request 2: appends every KUID the filter selects; an empty group selects every asset.
    VADStatus QueryAssets(const VADFilterElementGroup& filter, ChunkedList<KUID>& out);

    // ---- editing, installing, deleting ---------------------------------------------------------------

    // Request 30: flag 1 opens the asset for editing, 0 only locates it.
    VADStatus OpenAssetForEdit(VADEditHandle& out, const KUID& kuid, uint8_t flag, ResultsLog* log = nullptr);
    // Request 35: a new asset (the null KUID asks for a new KUID) open for editing.
    VADStatus CreateAsset(VADEditHandle& out, const KUID& kuid, std::string_view displayName, uint8_t flag,
                          ResultsLog* log = nullptr);
    // Request 32: the content-source name and folder of an open asset; NotFound when the folder is empty.
    VADStatus GetEditFolder(const VADEditHandle& handle, Orvo::PString& name, Orvo::File::Path& folder);
    // Request 34. The out byte (when given) receives the daemon's answer byte.
    VADStatus CommitAsset(const VADEditHandle& handle, uint32_t option = 0, ResultsLog* log = nullptr,
                          uint8_t* outByte = nullptr, uint8_t flag = 0);
    // Request 33.
    VADStatus RevertAsset(const VADEditHandle& handle, uint32_t option = 0, uint8_t flag = 0,
                          ResultsLog* log = nullptr);
    // Opens the asset (flag 0) and reverts it.
    VADStatus RevertAssetByKUID(const KUID& kuid, ResultsLog* log, uint8_t flag);
    // Request 36. Drops the asset's cached spec (SetSpecCache) when the asset was deleted.
    VADStatus DeleteAsset(const KUID& kuid, uint8_t flag, ResultsLog* log = nullptr);
    // Request 39: installs one asset folder; NotFound (and the null KUID) when nothing was installed.
    VADStatus InstallFromFolder(KUID& out, const Orvo::File::Path& folder, ResultsLog* log, uint32_t options = 0,
                                uint8_t flag = 0);
    // Request 41: installs several asset folders in one request (one store transaction); `out` gets each
    // one's KUID in order, the null KUID for a folder that was not installed.
    VADStatus InstallFromFolders(const std::vector<std::string>& folders, std::vector<KUID>& out, ResultsLog* log,
                                 uint32_t options = 0);
    // Request 40: path, then the 32-bit value, then the flag. The out byte is cleared first.
    VADStatus InstallArchive(const Orvo::File::Path& path, ResultsLog* log, uint32_t value, uint8_t* outByte,
                             uint8_t flag);
    // Request 38: validates the asset `kuid` in `folder` of content source `source` (as its edit folder gave
    // them) on the daemon's command host: the verdict (true: passed).
    VADResult<bool> ValidateAsset(const KUID& kuid, std::string_view source, const Orvo::File::Path& folder,
                                  ResultsLog* log);
    // Request 64: the daemon's own check of an asset folder: its verdict.
    VADResult<bool> CheckAssetFolder(std::string_view source, const Orvo::File::Path& folder, ResultsLog* log);
    // Request 56: the installed copy of the asset held aside while this run installs its own copy of it (the
    // download station's folder export); `held` gets what was held (kVADHeldNothing, kVADHeldFolder or
    // kVADHeldRecord of VADPayloads.h), `at` where it waits. Request 57 puts it back as it was, the copy the run
    // installed deleted first; a link that ends has the daemon put back what it still holds.
    VADStatus HoldInstalledAsset(const KUID& kuid, uint32_t& held, std::string& at, ResultsLog* log = nullptr);
    VADStatus PutBackHeldAsset(const KUID& kuid, ResultsLog* log = nullptr);
    // Request 49: a device package of the assets for the texture targets.
    VADStatus ExportPackage(const PStringArray& textureTargets, const Orvo::File::Path& packagePath,
                            const std::vector<Orvo::String>& dependencyPackages, const ChunkedList<KUID>& kuids,
                            ResultsLog* log);

    // ---- database and settings ------------------------------------------------------------------------

    // Request 3: 0 when the database is ready.
    VADResult<uint32_t> GetDatabaseStatus();
    // Request 235 / 236.
    VADStatus BeginWaitReady();
    VADResult<bool> IsReady();
    // Request 60: a new KUID in the local user's range.
    VADStatus GenerateKUID(KUID& out, ResultsLog* log = nullptr);
    // Request 61.
    VADStatus SetNextContentID(int32_t contentId);
    // Request 62: the installed build numbers as text.
    VADResult<Orvo::String> ListBuilds();
    // Request 70 (synchronous, results to the log) / 71.
    VADStatus RepairDatabase(uint32_t mode, ResultsLog* log = nullptr, uint8_t progress = 1);
    VADStatus RequestRepairDatabase(uint32_t mode);
    // Requests 100 / 101. A group that holds nothing yet is an empty container.
    VADStatus GetSettingsGroup(std::string_view group, TDBTagRef& out, uint32_t flags = 0);
    VADStatus SetSettingsGroup(std::string_view group, const TDBTagRef& tree);
    // Request 102.
    VADStatus GetSettingString(Orvo::PString& out, std::string_view group, std::string_view key);
    // Request 103.
    VADStatus SetSettingInt(std::string_view group, std::string_view key, int32_t value);
    // Request 110: the download station's latest version of an asset (the null KUID when it has none).
    VADResult<KUID> GetDownloadStationLatestKUID(const KUID& kuid);
    // Request 113.
    VADStatus SendAnalyticsHit(std::string_view page, std::string_view label);

    // Fixed names for the maker's own (negative) user ids, else request 66; NotFound for an empty name.
    VADStatus GetAuthorName(int32_t userId, Orvo::PString& out);
    // False for -2, true for other negative ids; for 0 and above request 65.
    VADResult<bool> IsValidKUIDUserId(int32_t userId);

private:
    VADConnection* link_ = nullptr;
    NWSpecFactory* specs_ = nullptr;
};
