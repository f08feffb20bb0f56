#pragma once
// The command host's archive jobs: save assets to an archive job file ("crak", ArchiveJobFile.h) and install
// assets from one. Both work through the link of the daemon the job came from, and stop once that link is gone.
#include "core/ChunkedList.h"
#include "core/KUID.h"
#include "core/TStream.h"
#include "engine/FilePath.h"

#include <cstdint>
#include <string>
#include <vector>

class ResultsLog;
class VADClient;

// Reads the archive job file or the package it names (ArchiveJobFile.h), checking it, and installs the
// entries of the KUIDs in `kuids` (every entry when `kuids` is empty), each entry's files read from the file as
// they are written (memory stays bounded by one file). Afterwards `kuids` holds the KUIDs that were installed;
// when the file is refused it is left unchanged. False when the file is refused or any listed asset could not
// be installed.
// With a staging folder, the entries of the assets in `unknown` (which the database knew nothing of) are
// staged below it, their textures compiled here (the daemon cannot hand a job to the host that is running
// this one), and installed in batches, one request and one store transaction each.
bool CommandHostArchiveInstall(VADClient& client, uint32_t archiveId, ChunkedList<KUID>& kuids,
                               const Orvo::File::Path& archivePath, ResultsLog& log, const std::string& staging = {},
                               const std::vector<KUID>& unknown = {});

// Writes the KUIDs and each asset's archive entry (from the daemon) to `file`, after the 20-byte header
// the caller has written. An asset whose entry cannot be had is written as a missing entry and makes
// the result false. With `copies`, each entry is packed from the asset's copy "<copies>/<spaced KUID>"
// instead (a device package's copies), as the daemon packs an installed asset.
bool CommandHostArchiveSaveToDisk(VADClient& client, const ChunkedList<KUID>& kuids, TStream& file, ResultsLog& log,
                                  const std::string& copies = {});
