#pragma once
// Finding the daemon of an installation. The daemon publishes its discovery block (VADProtocol.h) under the
// name VADDiscoveryName gives. That name can be predicted, so another user can take it first: the daemon
// then publishes the block under a private name made of random bytes, which nobody else can guess or take
// (it is created exclusively), and records that name in an owner-only file below the root,
// "UserData/settings/vaddaemon.block" (mode 0600, in folders no other user can change; OwnerOnlyFile.h),
// holding "<pid> <block name>\n". A client looks at the usual name first, then at the record.
//
// A block is used only when it is a regular file (a link at the name is not followed, a FIFO not waited on)
// that belongs to this user with mode 0600, holds the daemon's magic and layout, names the installation looked
// for and names a live process of this user (for a recorded block, the process the record names): a stale
// block, one another user made, one whose pid another user's process has taken since its daemon was killed, or
// one of another installation (a hard link to it at this installation's name: its daemon would answer for the
// wrong installation) never is.
// (Whether the listener on its port is the daemon, the hello tells: VADHandshake.h.)
#include "assetdb/VADProtocol.h"

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr char kVADDiscoveryRecordFolder[] = "UserData/settings";
inline constexpr char kVADDiscoveryRecordName[] = "vaddaemon.block";

// "/vaddaemon-<uid>-p<32 hex digits of random bytes>"; empty when the system gives no random bytes.
std::string VADPrivateDiscoveryName(uint32_t uid);
// True for a name of that form for `uid`.
bool VADIsPrivateDiscoveryName(uint32_t uid, std::string_view name);

// The record of a block published under a private name, for the installation at `root`.
bool VADWriteDiscoveryRecord(const std::string& root, uint32_t pid, const std::string& name,
                             std::string* error = nullptr);
// False when there is none, or it is not the owner's alone, or does not hold a private name of this user.
bool VADReadDiscoveryRecord(const std::string& root, uint32_t& pid, std::string& name);
void VADRemoveDiscoveryRecord(const std::string& root);

// Reads the block `name` of this user; false when it cannot be opened (another user's, a mode other than
// 0600) or does not decode.
bool VADReadDiscoveryBlock(const std::string& name, VADDiscoveryBlock& block);
// The discovery block of the live daemon serving the installation at `realRoot` (its real path), by the
// usual name or by the record; `name` gets the block's name. False when there is none: a block there of
// another installation is none.
bool VADFindDiscoveryBlock(const std::string& realRoot, VADDiscoveryBlock& block, std::string* name = nullptr);
// The same for the installation at `root` as given: its real path is looked up (a root that cannot be resolved is
// taken as it is).
bool VADFindDiscoveryBlockForRoot(const std::string& root, VADDiscoveryBlock& block, std::string* name = nullptr);
