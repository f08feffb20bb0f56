#pragma once
// An installed copy held aside while a run installs, exports and deletes its own copy of the same asset
// ("dlsparsefolder"): where it waits and the record kept of it, so that it is put back as it was.
//
// The held folder is UserData/held/<spaced KUID> (the installed copy's folder, renamed there whole), beside
// it UserData/held/<spaced KUID>.hold, the asset's record as it was (owner-only, mode 0600, written whole
// and then named; written anew, the same way, when another client gives the held copy keywords or its favourite mark). UserData/held/ is the daemon's own (mode 0700): no clean-up at start and no thinning of
// backups touches it. A built-in asset without a local copy keeps only its record there (nothing is moved).
//
// The record file, little-endian (assetdb/VADWireIO.h forms):
//   "VHLD" | u32 version (1) | KUID | string source | string folder | string builtinFolder | string username |
//   string kind | string categoryClass | string categoryRegion | string categoryEra | f32 build | u8 flags |
//   i32 authorId | string author | string description | string keywords | u8 favourite | u64 size |
//   u64 installTime | u64 modifiedTime | i32 validation | string configStamp | u32 n | n KUIDs (dependencies) |
//   u32 m | m KUIDs (obsoletes)
// A file that is shorter or longer than its fields, of another version, or whose values cannot be a record
// (a null KUID, a source other than "local" or "builtin", a folder outside that source's folder, a favourite or
// validation out of range) is not a record.
#include "daemon/AssetRecord.h"
#include "daemon/DaemonRoot.h"

#include <cstddef>
#include <string>
#include <string_view>

// The largest record file read back: a record holds what a configuration holds (at most 32 MiB) and little more.
constexpr size_t kMaxHoldRecordBytes = 40u << 20;

// UserData/held
std::string HoldFolder(const DaemonRoot& root);
// UserData/held/<spaced KUID>: where the installed copy of `k` waits.
std::string HeldCopyFolder(const DaemonRoot& root, const KUID& k);
// "<spaced KUID>.hold": the record's file name in HoldFolder.
std::string HoldRecordName(const KUID& k);
// UserData/held/<spaced KUID>.hold: where the record of `k` waits.
std::string HeldRecordFile(const DaemonRoot& root, const KUID& k);

// Makes HoldFolder (mode 0700) where it is missing. False, with the reason, when it cannot be made or what is
// there is not a folder of this user's that only this user may enter (mode 0700: platform/OwnerOnlyFile.h).
bool MakeHoldFolder(const DaemonRoot& root, std::string& why);

std::string EncodeHoldRecord(const AssetRecord& r);
// False, with the reason, for bytes that are not a record (above).
bool DecodeHoldRecord(std::string_view bytes, AssetRecord& out, std::string* why = nullptr);
