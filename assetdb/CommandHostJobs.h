#pragma once
// The job handlers of the daemon's command host: validate an asset, save assets to an archive job file,
// install assets from one. Validation and the archive install live in layers above this library: the
// command host hands each job the services that do them (CommandHostServices); without one a handler posts
// an error and fails.
#include "core/ChunkedList.h"
#include "core/KUID.h"
#include "core/TDBTagRef.h"
#include "core/TStream.h"

#include "engine/FilePath.h"
#include "engine/PString.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class ResultsLog;
class VADClient;

// Validates the asset at `assetPath` of content source `source`; true when it passed. It may carry what it
// validates with (the program's validation library).
using CommandHostValidateFn =
    std::function<bool(const Orvo::PString& source, const Orvo::File::Path& assetPath, ResultsLog& log)>;
struct ArchiveEntryOnDisk;

// Installs one archive entry with the given option flags through the client; the installed KUID or the
// null KUID.
using ArchiveInstallFn = KUID (*)(VADClient& client, const TDBTagRef& entry, ResultsLog& log, uint32_t flags);
// The same for an entry whose files are still in the job file (ArchiveStream.h).
using ArchiveInstallOnDiskFn = KUID (*)(VADClient& client, const ArchiveEntryOnDisk& entry, ResultsLog& log,
                                        uint32_t flags);

// Writes an entry whose files are still in the job file into `folder` as an asset folder ready to be
// installed, its config written as a commit would want it; false when it failed (said in the log). `textures`
// is set when the copy holds a texture description (".texture.txt"), which the install compiles.
using ArchiveStageOnDiskFn = bool (*)(const ArchiveEntryOnDisk& entry, const std::string& folder, ResultsLog& log,
                                      bool& textures);

// Compiles the texture descriptions below `folder`, which holds the staged asset folders `assets` (folder and
// KUID), for the install targets; failures are warnings in the log.
using ArchiveTextureCompileFn = void (*)(const std::string& folder,
                                         const std::vector<std::pair<std::string, KUID>>& assets, ResultsLog& log);

// What the jobs need of the layers above this library. An install job uses the on-disk install when there is
// one (memory then stays bounded by one file), else it reads each entry whole for the other. With a compile
// service, staged assets are installed with their textures compiled by the host itself (the daemon cannot
// hand a job to the host that is running this one); without one, the daemon installs them as they are.
struct CommandHostServices
{
    CommandHostValidateFn validate = nullptr;
    ArchiveInstallFn install = nullptr;
    ArchiveInstallOnDiskFn installOnDisk = nullptr;
    ArchiveStageOnDiskFn stageOnDisk = nullptr;
    ArchiveTextureCompileFn compileTextures = nullptr;
};

// The option flags the archive install job passes: write "config.chump" and commit.
constexpr uint32_t kArchiveInstallJobFlags = 2;

struct CommandHostValidateJob
{
    Orvo::PString source;
    Orvo::File::Path assetPath;
};

// 1 when the asset passed validation, else 0.
uint8_t CommandHostValidate(const CommandHostServices& services, CommandHostValidateJob job, ResultsLog& log);

// Reads the archive job file or the package it names (ArchiveJobFile.h), checking it, and installs the
// entries of the KUIDs in `kuids` (every entry when `kuids` is empty). Afterwards `kuids` holds the KUIDs
// that were installed; when the file is refused it is left unchanged. False when the file is refused or
// any listed asset could not be installed.
// With a staging folder and the stage service, the entries of the assets in `unknown` (which the database knew
// nothing of) are staged below it and installed in batches, one request and one store transaction each.
// The requests go through `client`, the link of the daemon the job came from.
bool CommandHostArchiveInstall(VADClient& client, const CommandHostServices& services, uint32_t archiveId,
                               ChunkedList<KUID>& kuids, const Orvo::File::Path& archivePath, ResultsLog& log,
                               const std::string& staging = {}, const std::vector<KUID>& unknown = {});

// Writes the KUIDs and each asset's archive entry (from the daemon) to `file`, after the 20-byte header
// the caller has written. An asset whose entry cannot be had is written as a missing entry and makes
// the result false. With `copies`, each entry is packed from the asset's copy "<copies>/<spaced KUID>"
// instead (a device package's copies), as the daemon packs an installed asset.
bool CommandHostArchiveSaveToDisk(VADClient& client, const ChunkedList<KUID>& kuids, TStream& file, ResultsLog& log,
                                  const std::string& copies = {});
