#pragma once
// The file through which the daemon and its command host hand archive entries to each other (archive save
// jobs; an archive install job names the package itself, which ArchiveJobReader reads in its place),
// little-endian:
//
//   0   "crak" (u32 0x6B617263)       4   u32 format version, 1       8   f32 3.7
//   12  u32 end offset: the file's total length (0xFEEDCEEB while being written)
//   16  u32 archive id, the job's value
//   20  u32 N | N KUIDs (stream form) | N x { u32 size | the entry in the binary soup form }
//       (size 0: no entry for that KUID)
#include "core/KUID.h"
#include "core/TDBTagRef.h"
#include "core/TStream.h"

#include "engine/FilePath.h"
#include "engine/String.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

constexpr uint32_t kArchiveJobMagic = 0x6B617263u;  // "crak"
constexpr uint32_t kArchiveJobVersion = 1;
constexpr uint32_t kArchiveJobFloatBits = 0x406CCCCDu;  // 3.7f
constexpr uint64_t kArchiveJobHeaderSize = 20;
constexpr uint64_t kArchiveJobEndOffsetAt = 12;

struct ArchiveJobContents
{
    std::vector<KUID> kuids;
    std::vector<TDBTagRef> entries;  // one per KUID; a null handle for a missing entry
};

// The 20-byte header with the end-offset placeholder, at the stream's start.
bool WriteArchiveJobHeader(TStream& out, uint32_t archiveId);
// Patches the end offset with the stream's current position.
bool FinishArchiveJobHeader(TStream& out);
// Appends N, the KUIDs and the entries (null handles written as size 0). False when a write or an
// entry's serialisation fails, or the lists differ in length.
bool WriteArchiveJobBody(TStream& out, const ArchiveJobContents& contents);
// Reads a whole job file, checking the magic, the version, the end offset against the file's length and
// the archive id. False with a reason text for any mismatch or malformed part. A package named in a job's place
// is read as ArchiveJobReader reads it (below), every entry whole.
bool ReadArchiveJobFile(const Orvo::File::Path& path, uint32_t archiveId, ArchiveJobContents& out,
                        Orvo::String& reason);

class ContentArchiveFile;
struct ArchiveEntryOnDisk;

// Writes a whole job file at `path` for the entries of a checked archive file (ArchiveStream.h), each entry's
// bytes copied as they stand: the archive is never held in memory. False when a write fails (the partial file
// is removed) or an entry is too large for the format.
bool WriteArchiveJobFromArchive(const std::string& path, uint32_t archiveId, const ContentArchiveFile& archive);

// A job file read entry by entry. Open checks the whole file as ReadArchiveJobFile does (the same reasons),
// reading only the sizes and headers; an entry is read when asked for, its files left on disk. An install job
// may name the package itself instead (a ".cdp", told by its "ACS$" header): it is then checked as
// ContentArchiveFile checks it and its entries read in place, the archive id left aside, so that a package is
// read once on its way to the installed copies and never copied whole first.
class ArchiveJobReader
{
public:
    ArchiveJobReader() = default;
    ~ArchiveJobReader();
    ArchiveJobReader(const ArchiveJobReader&) = delete;
    ArchiveJobReader& operator=(const ArchiveJobReader&) = delete;

    bool Open(const Orvo::File::Path& path, uint32_t archiveId, Orvo::String& reason);
    const std::vector<KUID>& Kuids() const { return kuids_; }
    // False for a missing entry (size 0) or when it cannot be read.
    bool ReadEntry(size_t index, ArchiveEntryOnDisk& out) const;

private:
    bool OpenPackage(const std::string& real, Orvo::String& reason);

    int fd_ = -1;
    std::vector<KUID> kuids_;
    std::vector<std::pair<uint64_t, uint64_t>> bodies_;  // each entry's soup body (offset, size); size 0: missing
};
