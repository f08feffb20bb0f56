#pragma once
// Archive asset entries: one asset inside a content archive (".cdp").
//
// An entry is the asset's config tree plus three archive keys:
//   "files"        one binary tag per file (its data), one container per sub-folder
//   "compression"  "lzss" when every file's data is an LZSS block (engine/LZSS.h), "none" when raw
//   "dsid"         "%d:%d": the CRC-32 and the byte length of the "files" container's binary body
//
// Archives come from anywhere, so everything written to disk from an entry is checked first: file and
// folder names must be plain names (no "..", "/", "\", ":", control characters), compressed data must
// decode to exactly its declared size, and nothing is written unless the whole tree passes.
#include "core/TDBTagRef.h"

#include "engine/FilePath.h"
#include "engine/String.h"
#include "platform/FileIdentity.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {
class Folder;
}

// The entry's "files" container (null handle when missing).
TDBTagRef GetArchiveEntryFiles(const TDBTagRef& entry);
// The entry's "compression" text ("none" when missing).
Orvo::String GetArchiveEntryCompression(const TDBTagRef& entry);

// The checksum of a "files" container as "%d:%d" (CRC-32, byte length of its binary body, both printed
// as signed numbers). An empty or missing container gives "0:0".
Orvo::String ComputeArchiveFilesDSID(const TDBTagRef& files);
// True when the entry's "dsid" equals the checksum of its "files".
bool CheckArchiveEntryDSID(const TDBTagRef& entry);
// Stores the checksum of the entry's "files" as "dsid".
void SetArchiveEntryDSID(TDBTagRef& entry);

// A copy of the entry without "files", "dsid", "compression" and "folder-icon": the asset's config.
TDBTagRef MakeInstallableAssetConfig(const TDBTagRef& entry);
// The first non-empty of "username", "name", "asset-filename"; empty when none.
Orvo::String GetAssetDisplayName(const TDBTagRef& entry);

// True for a name that may become one file or folder name inside a target folder.
bool IsSafeArchiveFileName(std::string_view name);

// Writes the "files" tree into `folder` (created when missing), every name below it exactly as given (names
// that differ only in case are two files; no link is followed). False with a reason text when the tree is
// unsafe or malformed, or holds one name twice in a folder (nothing is written then), or when a file cannot
// be written.
bool ExportFileTree(const TDBTagRef& files, const Orvo::File::Path& folder, std::string_view compression,
                    Orvo::String& reason);

// Writes one file entry to `target`: binary data (decompressed when `compression` is "lzss"), or, only
// when `allowStoredPath` is set, a string naming a file on disk that is copied (entries the program
// built itself; a path inside an archive from elsewhere could name any file on the machine). The result
// is empty on success, else it says what failed.
bool ExportArchiveFile(const TDBTagRef& file, Orvo::String& result, const Orvo::File::Path& target,
                       std::string_view compression = "none", bool allowStoredPath = false);

// Copies one file in blocks of at most 1 MiB. On failure `result` holds "Unable to open source file:
// <path>", "Unable to open target file: <path>", "Unable to read source file: <path>" or "Unable to write
// target file: <path>" (a partly written target is removed).
bool CopyFileAt(const Orvo::File::Path& source, const Orvo::File::Path& target, Orvo::String& result);
bool CopyFileAt(const Orvo::File::Path& source, const Orvo::File::Path& target);

// Receives the files of a folder as MakeArchiveEntryFromFolder packs them: in name order, each sub-folder
// opened before its files and closed after them, file data already compressed when asked. False stops the
// packing.
class ArchivePackSink
{
public:
    virtual ~ArchivePackSink() = default;
    virtual bool BeginFolder(std::string_view name) = 0;
    virtual bool EndFolder() = 0;
    virtual bool AddFile(std::string_view name, const void* data, size_t size) = 0;
    // The file the packed files go into, where that is a file: one of them that is that file (a second name of
    // it, or a link to it) is not packed, and the packing stops, since the archive would be written over it.
    virtual bool IsArchiveFile(const Platform::FileIdentity&) const { return false; }
};

// Opens an asset folder to pack by descriptor (it may be a user's folder that another user changes meanwhile).
bool OpenPackableFolder(const Orvo::File::Path& folder, Platform::Folder& dir);
// The config an entry made from the folder starts with: "config.chump", else "config.txt", without the
// archive keys (MakeInstallableAssetConfig). False with a reason when there is no readable config. The second
// form reads the folder opened by OpenPackableFolder (`folder` names it in messages); `readFrom` gets the file
// the config was read from.
bool LoadPackableAssetConfig(const Orvo::File::Path& folder, TDBTagRef& config, Orvo::String& reason);
bool LoadPackableAssetConfig(const Orvo::File::Path& folder, const Platform::Folder& dir, TDBTagRef& config,
                             Orvo::String& reason, Platform::FileIdentity* readFrom = nullptr);
// Packs every file below the folder except its config into the sink (the rules of MakeArchiveEntryFromFolder;
// one file is held in memory at a time). False with a reason as MakeArchiveEntryFromFolder gives it.
bool PackArchiveFolder(const Orvo::File::Path& folder, bool compress, ArchivePackSink& sink, Orvo::String& reason,
                       std::vector<std::string>* leftOut);
bool PackArchiveFolder(const Orvo::File::Path& folder, const Platform::Folder& dir, bool compress,
                       ArchivePackSink& sink, Orvo::String& reason, std::vector<std::string>* leftOut = nullptr);

// Packs an asset folder into an entry: its config ("config.chump", else "config.txt") with every other
// file below the folder under "files" (LZSS-compressed when `compress`), "compression" and "dsid".
// Symbolic links and special files are left out (a package holds only what is inside the folder); their
// paths go to `leftOut` for the caller to report. False with a reason when the folder has no readable
// config, a name cannot be stored safely, or a file cannot be read.
bool MakeArchiveEntryFromFolder(TDBTagRef& entry, const Orvo::File::Path& folder, bool compress, Orvo::String& reason,
                                std::vector<std::string>* leftOut = nullptr);
