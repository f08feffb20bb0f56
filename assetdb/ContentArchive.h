#pragma once
// A content archive (".cdp") held in memory: a soup in the binary form,
//
//   "assets"          { "<KUID text>" { archive asset entry (ArchiveEntry.h) } ... }
//   "contents-table"  { "<KUID text>" "<display name>" ... }
//   "thumbnail"       optional binary: the package's picture
//
// Load and Save report through a result text that is empty on success.
#include "core/KUID.h"
#include "core/TDBTagRef.h"

#include "engine/FilePath.h"
#include "engine/String.h"
#include "platform/FileIdentity.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>

extern const char* const kCDPNotValidText;
extern const char* const kCDPDamagedText;
extern const char* const kCDPNewerVersionText;
extern const char* const kCDPUnreadableText;
extern const char* const kCDPNeedsExtensionText;

class ContentArchive
{
public:
    // An empty archive.
    ContentArchive();

    // Reads a CDP file (base: a folder or substitution name for a relative path, or empty). On failure
    // the archive is left empty and `result` names the reason. `read`, when given, gets the file read.
    bool Load(Orvo::String& result, std::string_view base, std::string_view path,
              Platform::FileIdentity* read = nullptr);
    // Writes the archive as Platform::OutputFile writes a file the user names; the path must have the extension
    // "cdp".
    bool Save(Orvo::String& result, const Orvo::File::Path& path) const;

    // Adds a copy of the entry under its KUID's text and rebuilds the contents table. Refused (with a
    // result text) for an entry without a KUID and for a KUID the archive already holds.
    bool AddAsset(Orvo::String& result, const TDBTagRef& entry);

    size_t GetAssetCount() const;
    // The index-th entry, or a null handle.
    TDBTagRef GetAssetAt(size_t index) const;

    // Sets or replaces the package picture.
    void SetThumbnail(const void* data, size_t size);

    const TDBTagRef& GetRoot() const { return root_; }

private:
    void RebuildContentsTable();
    void IndexAssets();

    TDBTagRef root_;
    // The names of the assets (ASCII lower case), so that adding one does not search them all; and whether
    // the contents table is the one RebuildContentsTable would make, so that a new asset only appends a row.
    std::unordered_set<std::string> names_;
    bool tableCurrent_ = true;
};

// The archive's top-level tag of that name; false (and a null handle) when absent.
bool FindArchiveTag(const TDBTagRef& archive, std::string_view name, TDBTagRef& out);
