#pragma once
// Content archives made, checked and installed piece by piece (core/SoupBinaryStream.h), so that memory is
// bounded by a buffer and the largest single file, not by the archive. The bytes are those ContentArchive
// writes and reads (ContentArchive.h).
#include "assetdb/ArchiveEntry.h"
#include "core/KUID.h"
#include "core/SoupBinaryStream.h"
#include "core/TDBTagRef.h"

#include "engine/FilePath.h"
#include "engine/PString.h"
#include "engine/String.h"
#include "platform/OutputFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

struct ArchiveEntryOnDisk;

// Writes a ".cdp" as its entries come, into the target as Platform::OutputFile writes a file the user names:
// a file of the user's own gets the archive beside it under a name of its own, put in place by Finish (so a
// failed save never leaves half a file where an archive was); anything else it may write (a FIFO with a
// reader, a file with other names) gets the archive only at Finish. Only the contents table waits in memory.
class ContentArchiveWriter
{
public:
    ContentArchiveWriter();
    ~ContentArchiveWriter();  // removes an archive that was not finished
    ContentArchiveWriter(const ContentArchiveWriter&) = delete;
    ContentArchiveWriter& operator=(const ContentArchiveWriter&) = delete;

    // The texts on failure are ContentArchive::Save's.
    bool Open(Orvo::String& result, const Orvo::File::Path& path);
    // As ContentArchive::AddAsset: refused (with a result text, nothing written) for an entry without a KUID
    // and for a KUID the archive already holds.
    bool AddAsset(Orvo::String& result, const TDBTagRef& entry);
    // The entry the daemon's archive entry request makes of an asset folder (MakeArchiveEntryFromFolder, its
    // "kuid" set to `kuid`), packed straight into the archive one file at a time. On failure `result` says why
    // and the archive cannot be finished.
    bool AddFolder(Orvo::String& result, const KUID& kuid, const Orvo::File::Path& folder, bool compress,
                   std::vector<std::string>* leftOut = nullptr);
    // An entry whose files are still on disk (ReadArchiveEntryOnDisk): its bytes are copied as they stand.
    bool AddEntryOnDisk(Orvo::String& result, const ArchiveEntryOnDisk& entry);
    bool Contains(const KUID& kuid) const { return keys_.count(kuid) != 0; }
    // The output the archive is written to, once opened: for a caller that refuses it when it is a file the
    // caller reads or writes otherwise (OutputFile::IsOutput, IsSameOutputAs) before Finish puts anything there.
    const Platform::OutputFile& Output() const { return file_; }
    size_t GetAssetCount() const { return table_.size(); }
    void SetThumbnail(const void* data, size_t size);
    // Writes the contents table (and the picture) and puts the archive in place.
    bool Finish(Orvo::String& result);

private:
    // `why` null: the system's text for errno, when it is set.
    bool Failed(Orvo::String& result, const char* why = nullptr);

    Orvo::File::Path path_;
    Platform::OutputFile file_;  // written at offsets (its Fd) until Finish
    std::unique_ptr<SoupStreamWriter> writer_;
    std::unordered_set<KUID> keys_;
    std::vector<std::pair<KUID, std::string>> table_;  // the contents table: KUID, display name
    std::string thumbnail_;
    bool hasThumbnail_ = false;
    bool thumbnailLast_ = false;  // set after the last asset: the contents table comes before it
};

// Where an entry of an archive file lies: its KUID and the body of its chunk.
struct ArchiveFileEntry
{
    KUID kuid;
    uint64_t bodyAt = 0;
    uint64_t bodySize = 0;
};

// An archive file checked whole as ContentArchive::Load checks it (without holding it): the entries with a
// KUID, in file order. On failure `result` holds Load's text.
class ContentArchiveFile
{
public:
    ContentArchiveFile() = default;
    ~ContentArchiveFile();
    ContentArchiveFile(const ContentArchiveFile&) = delete;
    ContentArchiveFile& operator=(const ContentArchiveFile&) = delete;

    bool Open(Orvo::String& result, const std::string& path);
    int Fd() const { return fd_; }
    // The open file, handed to the caller (who closes it); the entries stay.
    int ReleaseFd();
    const std::vector<ArchiveFileEntry>& Entries() const { return entries_; }
    // Entries that carry no KUID (no "kuid" tag, or one that does not read as a KUID): nothing can install
    // them, and they must not go unnoticed. Their names as the archive gives them (printable, cut short), the
    // first kMaxNamedEntries of them; the count holds them all.
    static constexpr size_t kMaxNamedEntries = 64;
    const std::vector<std::string>& EntriesWithoutKUID() const { return withoutKUID_; }
    size_t EntriesWithoutKUIDCount() const { return withoutKUIDCount_; }

private:
    int fd_ = -1;
    std::vector<ArchiveFileEntry> entries_;
    std::vector<std::string> withoutKUID_;
    size_t withoutKUIDCount_ = 0;
};

// An archive entry whose files stay on disk: its tags in memory without "files", and where the body of its
// "files" container lies in the file (absent when the entry has none).
struct ArchiveEntryOnDisk
{
    TDBTagRef entry;
    int fd = -1;
    uint64_t bodyAt = 0;  // the entry's whole body: its tags with the files
    uint64_t bodySize = 0;
    bool hasFiles = false;
    uint64_t filesAt = 0;
    uint64_t filesSize = 0;
    // Set when the entry's tags besides its files (its configuration) pass the bound of a configuration file
    // (engine/ConfigFileBound.h): the entry is then not read.
    bool configTooLarge = false;
};

// Reads the entry whose chunk body is [bodyAt, bodyAt + bodySize) of `fd` (already checked to hold together).
// The first tag named "files" is left on disk when it is a container, as GetArchiveEntryFiles would take it.
bool ReadArchiveEntryOnDisk(int fd, uint64_t bodyAt, uint64_t bodySize, ArchiveEntryOnDisk& out);
// Loads the left-on-disk files into the entry, making the whole tree.
bool LoadArchiveEntryFiles(ArchiveEntryOnDisk& entry);

// ExportFileTree for files left on disk: the same checks before anything is written and the same reasons;
// one file is held in memory at a time. `dsid` gets the checksum of the files ("crc:length" as
// ComputeArchiveFilesDSID gives it) when the export succeeded.
bool ExportFileTreeOnDisk(const ArchiveEntryOnDisk& entry, const Orvo::File::Path& folder, std::string_view compression,
                          Orvo::String& reason, Orvo::String& dsid);

// An asset's copy staged for a batch install: `folder`, an exact path whose parent exists (nothing resolved, no
// link followed), is made here (owner-only) and must not exist yet; the entry's files go into it, written relative to it,
// all but the configuration files at its top ("config.txt" and "config.chump" in any case), which the staged
// copy gets from the entry's own tags instead. The same checks, reasons and checksum as ExportFileTreeOnDisk.
// `textures` is set when a file written is a texture description (".texture.txt").
bool StageArchiveFilesOnDisk(const ArchiveEntryOnDisk& entry, const std::string& folder, std::string_view compression,
                             Orvo::String& reason, Orvo::String& dsid, bool* textures = nullptr);
// Writes a new file at exactly this path (it must not exist; a link there is not followed).
bool WriteNewFileExact(const std::string& path, std::string_view bytes);

// "crc:length" as ComputeArchiveFilesDSID prints it.
Orvo::String FormatArchiveDSID(uint32_t crc, uint64_t length);
