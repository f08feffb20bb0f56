#pragma once
// Small operations the command words call: argument paths, installing a folder tree, the keyword backup
// files and the author name of an asset.
#include "core/KUID.h"
#include "engine/FilePath.h"
#include "engine/PString.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

class ResultsLog;
class TDBTagRef;
class ToolContext;
class VADClient;

// A path argument: the text as a path when it is absolute, else joined to the folder the tool was
// started from (the working directory during a run is the executable's folder).
Orvo::File::Path ResolveArgumentPath(const ToolContext& tool, const char* text);
Orvo::File::Path ResolveArgumentPathFrom(std::string_view startDirectory, std::string_view text);

// Lets a walk be stopped from outside.
struct InstallCancel
{
    std::atomic<uint8_t> stop{0};
};

// Folder trees deeper than this are not walked further (a link back to a parent folder would otherwise
// recurse for ever).
constexpr int kMaxInstallTreeDepth = 64;

// The path of a file or folder to read, to hand to another process: an existing path in the case the disk
// spells it. The engine finds "my assets" when the disk holds "My Assets", but the daemon looks the path up
// exactly. Never for a file to write: that is the one the system finds for the path as given.
Orvo::File::Path OnDiskPath(const Orvo::File::Path& path);

// Hands every asset folder below `folder` to the daemon, a batch of folders to a request (request 41): a
// folder holding "config.txt" or "config.chump" is handed over as one asset and not walked further; other
// folders are walked. Returns
// the number of folders handed over, whatever the daemon answered for each; `refused`, when given,
// receives how many of them the daemon did not install.
uint32_t InstallFromFolderTree(VADClient& client, Orvo::File::Path folder, ResultsLog& log, uint32_t options,
                               uint8_t flag, const InstallCancel* cancel = nullptr, uint32_t* refused = nullptr);
// The walk alone: `handOver` is called for each asset folder found and tells whether it was installed.
using InstallHandOverFn = bool (*)(const Orvo::File::Path& folder, ResultsLog& log, uint32_t options, uint8_t flag);
uint32_t WalkAssetFolderTree(const Orvo::File::Path& folder, ResultsLog& log, uint32_t options, uint8_t flag,
                             const InstallCancel* cancel, InstallHandOverFn handOver, uint32_t* refused = nullptr);

// The files a user names for a command (a consist list, a keywords file, an output file) may be anything.
// One is read as LoadConfigFileEx reads it: opened without waiting, a FIFO, device or folder refused at once, at
// most the configuration bound (a package's own). A file that cannot be had posts one error and gives a null
// tree: past the bound the bound is said, one that is not a regular file is named as the `what` ("keywords
// file", "consist list"), and one missing, unreadable or not a configuration gets `unreadable`.
bool ReadUserConfigFile(std::string_view resourceName, const Orvo::File::Path& path, std::string_view format,
                        const char* what, const std::string& unreadable, TDBTagRef& out, ResultsLog& log);
// A file a user names as output is written as Platform::OutputFile writes it (a plain file of the user's own
// replaced whole; a file with other names or another owner, a FIFO with a reader or a character device
// written in place; a folder, socket or block device refused at once), or the command fails. False: `reason`
// says why (see WriteOutputFile).
bool WriteUserFile(const Orvo::File::Path& path, std::string_view data, std::string& reason);

// Writes one string child per asset (named by its KUID text, holding its keywords) to the file. A query
// the daemon does not answer posts an error and writes nothing, so an earlier backup is not replaced by an
// empty one. Returns the save's result.
bool BackupKeywords(VADClient& client, std::string_view resourceName, const Orvo::File::Path& path,
                    std::string_view format, ResultsLog* log = nullptr);
// Reads a file written by BackupKeywords and sends each child's keywords to the daemon, which confirms them
// stored (tool/KeywordImport.cpp). Children whose name is not a KUID are skipped, and so are assets the daemon does
// not know, each with a warning. False when the file cannot be loaded, an entry cannot be sent as it is, or the
// daemon failed to store keywords or stopped before it confirmed them (those assets are named).
bool ImportKeywords(VADClient& client, std::string_view resourceName, const Orvo::File::Path& path,
                    std::string_view format, ResultsLog* log = nullptr);

// The user name of the asset's author, or an empty string.
Orvo::PString GetAssetAuthorName(VADClient& client, const KUID& kuid);

// Installs the download station's latest version of the asset: asks the daemon for the latest KUID,
// resolves and downloads its package (web requests through the daemon) and installs it (request 40).
// Does nothing without a daemon connection, and when the latest version is installed already. True when
// a package was installed; failures are posted to the log when one is given.
bool InstallFromDownloadStation(VADClient& client, const KUID& kuid, ResultsLog* log);
// How long one download-station web request may take.
constexpr unsigned kDownloadStationTimeoutMs = 120000;
