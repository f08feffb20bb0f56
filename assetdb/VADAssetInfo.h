#pragma once
// The asset record the daemon returns for request 21.
//
// Wire form (the reply body): the record's field list (VAD_FIELDS below), in its order. The daemon fills the texts of the parts the detail mask selects and sends the others empty.
#include "assetdb/VADFields.h"
#include "core/KUID.h"
#include "engine/PString.h"

#include <cstdint>
#include <string>

// Bits of VADAssetInfo::flags.
enum : uint8_t
{
    VAD_INFO_PAYWARE = 1,
    VAD_INFO_OBSOLETE = 2,
    VAD_INFO_LOCALLY_MODIFIED = 4,
    VAD_INFO_INSTALLED = 8,
    VAD_INFO_BUILTIN = 16,
    VAD_INFO_PACKAGED = 32,  // installed from a packed content archive beside a content folder
    VAD_INFO_DLS_ITEM = 64,  // the installed copy came from the download station
    VAD_INFO_ON_DLS = 128,   // the download station lists the asset
};

// Bits of VADAssetInfo::flags2.
enum : uint8_t
{
    VAD_INFO2_ARCHIVED = 1,
    VAD_INFO2_OPEN_FOR_EDIT = 2,
    VAD_INFO2_FAULTY = 4,
    VAD_INFO2_MISSING_DEPENDENCIES = 8,
};

// Parts of the record selected by the detail mask of request 21 (-1: every part).
enum : int32_t
{
    VAD_DETAIL_NAME = 1,
    VAD_DETAIL_KIND = 2,
    VAD_DETAIL_CATEGORY = 4,
    VAD_DETAIL_FAULTY_CHECK = 8,
    VAD_DETAIL_ALL = -1,
};

class VADAssetInfo
{
public:
    KUID kuid = KUID::Null();
    std::string username;       // the asset's name, printed last by the status line
    Orvo::PString kind;         // "traincar", "scenery", ...
    Orvo::PString category;     // the category class text, printed by the status line
    std::string region;         // the category-region text
    std::string era;            // the category-era text
    uint32_t fileSize = 0;      // the bytes of the asset's files
    std::string categoryCodes;  // ";"-separated category code list, e.g. "TR;TV;LOC;ELEC"
    int32_t authorId = -1;      // author user id
    float build = 0.0f;         // the build the asset was made for
    uint8_t flags = 0;          // VAD_INFO_...
    uint8_t flags2 = 0;         // VAD_INFO2_...
    uint64_t installTime = 0;   // seconds since 1970-01-01
    uint64_t modifiedTime = 0;
    uint8_t valid = 0;  // the record came from the database (the asset is known to it)

    VAD_FIELDS(kuid, username, kind, category, region, era, fileSize, categoryCodes, authorId, build, flags, flags2,
               installTime, modifiedTime, valid)

    bool IsValid() const { return valid != 0; }
    bool IsInstalled() const { return (flags & VAD_INFO_INSTALLED) != 0; }
    bool IsBuiltin() const { return (flags & VAD_INFO_BUILTIN) != 0; }
    bool IsLocallyModified() const { return (flags & VAD_INFO_LOCALLY_MODIFIED) != 0; }
    bool IsOnDownloadStation() const { return (flags & VAD_INFO_ON_DLS) != 0; }
    bool IsArchived() const { return (flags2 & VAD_INFO2_ARCHIVED) != 0; }
    bool IsOpenForEdit() const { return (flags2 & VAD_INFO2_OPEN_FOR_EDIT) != 0; }
    bool IsFaulty() const { return (flags2 & VAD_INFO2_FAULTY) != 0; }

    // Back to the empty record.
    void Clear() { *this = VADAssetInfo(); }
};

void VADEncodeAssetInfo(VADWriter& w, const VADAssetInfo& info);
bool VADDecodeAssetInfo(VADReader& r, VADAssetInfo& info);

// The reply body of the info request (21).
struct VADAssetInfoReply
{
    VADAssetInfo info;
    VAD_FIELDS(info)
};
