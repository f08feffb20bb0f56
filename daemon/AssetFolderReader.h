#pragma once
// Reading an asset folder into a record: the configuration ("config.chump" before "config.txt"), the
// size of its files, and a stamp that tells later scans whether the configuration changed.
#include "core/ConfigFile.h"
#include "core/TDBTagRef.h"
#include "daemon/AssetRecord.h"
#include "daemon/DaemonResults.h"

#include <string>
#include <vector>

// The reason given for a folder without any configuration file.
inline constexpr char kNoAssetConfigReason[] = "no config.chump or config.txt";

// The configuration files of a folder, from one listing: the one used ("config.chump" when present, else
// "config.txt"; an exact name before one in another case; empty when neither), whether it is a regular file
// rather than a link to one, and the "config.txt" not used beside a "config.chump" (UnusedAssetConfig).
struct AssetConfigFiles
{
    std::string path;
    bool regular = false;
    std::string unusedText;
};
// With `size`, the size of the folder's files (as FolderSize gives it) from the same listing.
AssetConfigFiles ListAssetConfigs(const std::string& folder, uint64_t* size = nullptr);
std::string FindAssetConfig(const std::string& folder);
// Loads the configuration; false when there is none or it does not parse. The reason names the file (and
// for a text that does not parse, the line), or is kNoAssetConfigReason.
bool LoadAssetConfig(const std::string& folder, TDBTagRef& out, std::string* reason = nullptr);
// The same for a configuration file already found (an empty path: there is none).
bool LoadAssetConfigAt(const std::string& path, TDBTagRef& out, std::string* reason = nullptr);
// Why a configuration file could not be loaded (a text that does not parse: the parser's message with the
// file and line, from `text` when given, else from the file read again).
std::string ConfigLoadFailureReason(const std::string& path, ConfigFileResult result,
                                    const std::string* text = nullptr);
// "<mtime>:<size>" of the configuration file; empty when there is none.
std::string AssetConfigStamp(const std::string& folder);
std::string AssetConfigStampAt(const std::string& configPath);
// Fills the configuration-derived fields of rec (not source, folder or the daemon's own state). False and
// a reason when the folder holds no readable configuration or no valid KUID.
bool ReadAssetFolder(const std::string& folder, AssetRecord& rec, std::string* reason = nullptr);
// Only the configuration-derived fields, from a configuration file already found (no size, no stamp).
bool ReadAssetConfigAt(const std::string& configPath, AssetRecord& rec, std::string* reason = nullptr);
// The same, also giving the configuration's stamp (AssetConfigStampAt; empty when there is none), from one
// open of the file where it is a regular file.
bool ReadAssetConfigStamped(const std::string& configPath, AssetRecord& rec, std::string& stamp,
                            std::string* reason = nullptr);
// The configuration-derived fields from the folder of an install or a commit, which its user (or another)
// may change meanwhile: the folder is opened by descriptor (it must not itself be a link; links on the way to
// it only where no other user can have put them), the configuration chosen as ListAssetConfigs chooses it and
// read only when it is a regular file when opened. `configs` gets what was found. False with the reason.
bool ReadSourceAssetConfig(const std::string& folder, AssetConfigFiles& configs, AssetRecord& rec,
                           std::string* reason = nullptr);
// The copy `copy` made of a folder whose configuration gave `rec` (and `configs`) is what gets installed, and
// its user (or another) may have changed the folder while it was copied: its configuration is read again from
// the copy and replaces what `rec` and `configs` hold. False with the reason when the copy holds no readable
// configuration or one that names another KUID than `rec`; `rec` and `configs` are then unchanged.
bool ConfirmCopiedAssetConfig(const std::string& copy, AssetConfigFiles& configs, AssetRecord& rec,
                              std::string* reason = nullptr);
// Posts why a folder could not be read: "$vad_unable_read_config_at" when it has no configuration, else
// the reason, so the user sees which file (and line) is at fault.
void PostUnreadableAssetFolder(DaemonResults* results, uint32_t kind, const KUID& source, const std::string& folder,
                               const std::string& reason);
// The "config.txt" of a folder that also holds a "config.chump" (names in any case), which is then the one
// used; empty when the folder does not hold both.
std::string UnusedAssetConfig(const std::string& folder);
// Posts a warning for each file of an asset's folder that was left out of a copy or a package (symbolic
// links and special files), and one when the folder holds both configuration files, naming the one used.
void PostLeftOutFiles(DaemonResults* results, const KUID& source, const std::vector<std::string>& paths);
// Posts the errors of a commit refused because its copy would leave out files of the user's edit (links, special
// files, names no file of an asset may have), which would go with the edit folder: each is named.
void PostLeftOutOfCommit(DaemonResults* results, const KUID& asset, const std::vector<std::string>& paths);
void PostUnusedConfig(DaemonResults* results, const KUID& source, const std::string& folder);
// Copies the configuration-derived fields of a tree into rec.
void FillRecordFromConfig(const TDBTagRef& config, AssetRecord& rec);
// Total bytes of the regular files below a folder (symbolic links are not followed).
uint64_t FolderSize(const std::string& folder);
