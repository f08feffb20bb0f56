#pragma once
// One asset as the daemon indexes it: what its configuration says, where its folder is, and the daemon's
// own state about it (favourite, keywords, validation result, times).
#include "core/KUID.h"

#include <cstdint>
#include <string>
#include <vector>

enum : int32_t
{
    kValidationUnknown = -1,  // never validated
    kValidationFailed = 0,
    kValidationPassed = 1,
};

struct AssetRecord
{
    KUID kuid = KUID::Null();
    std::string source;         // "local" or "builtin": where the active copy lives
    std::string folder;         // the active copy's folder, relative to the installation root
    std::string builtinFolder;  // a built-in copy hidden by a local one (empty: none)
    std::string username;
    std::string kind;
    std::string categoryClass;
    std::string categoryRegion;
    std::string categoryEra;
    float build = 0.0f;
    uint8_t flags = 0;  // the stored bits of the first flag byte (payware, packaged, DLS item)
    int32_t authorId = -1;
    std::string author;
    std::string description;
    std::string keywords;
    bool favourite = false;
    uint64_t size = 0;         // bytes of the asset's files
    uint64_t installTime = 0;  // seconds since 1970
    uint64_t modifiedTime = 0;
    int32_t validation = kValidationUnknown;
    std::string configStamp;         // the configuration file's mtime and size when it was read
    std::vector<KUID> dependencies;  // "kuid-table"
    std::vector<KUID> obsoletes;     // "obsolete-table"
};

// An asset open for editing: persistent until it is committed or reverted.
struct EditRecord
{
    uint32_t handle = 0;
    KUID kuid = KUID::Null();
    bool created = false;  // made by a create request: no installed copy behind it
    std::string name;      // display name given at creation
    // The command host connection that opened it for an install it carries out (0: a user's edit). Such an
    // edit is that host's alone: it is never handed to anyone else, is not kept in the store (a restart finds
    // it closed) and is closed when the host's connection ends.
    uintptr_t owner = 0;
};

// The mark of a run's own copy (installed with kVADInstallNotOverLocalCopy from a folder the run reads, which
// stays): the copy it names, by its install time and configuration stamp. It counts only while the asset's record
// still is that copy, and goes with the record when the copy is replaced or deleted.
struct RunCopyMark
{
    KUID kuid = KUID::Null();
    uint64_t installTime = 0;
    std::string configStamp;

    bool Names(const AssetRecord& r) const
    {
        return r.kuid == kuid && r.source == "local" && r.installTime == installTime && r.configStamp == configStamp;
    }
};
