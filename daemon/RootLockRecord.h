#pragma once
// Who holds the root lock ("assets.tdx.lock"): the daemon that takes it writes its pid and the real path of
// the root it serves into the lock file, so that a daemon that finds the lock held can tell which path the
// installation is served through.
//
// One installation folder can be reached through more than one path (a bind mount of it elsewhere). Its
// discovery block is named by the real path the daemon serves (VADProtocol.h), so the clients of another
// path never find that daemon's block, and a daemon started for them finds the lock held. With the record it
// says which path is served instead of ending as if a daemon served its own path, which would leave its
// clients waiting for a block that never comes.
//
// The record is written through the locked descriptor, only once the lock is taken, and only into a regular
// file of the daemon's user with mode 0600 and one name (a second name would be another file of the user's,
// written over); it is read only from such a file (no link followed, no FIFO waited on), and only a whole
// record of bounded length counts:
//
//     "vaddaemon-root <pid> <length of the path>\n<real path of the root>\n"
#include "daemon/DaemonRoot.h"

#include <cstdint>
#include <string>
#include <string_view>

struct RootLockHolder
{
    uint32_t pid = 0;
    std::string root;  // the real path of the root the holder serves
};

// The longest record: its header and a path of kMaxPathBytes.
constexpr size_t kMaxRootLockRecordBytes = 64 + kMaxPathBytes + 1;

// The record's text; empty for a holder that cannot be recorded (pid 0, a path that is not absolute, holds a
// zero byte or is longer than kMaxPathBytes).
std::string EncodeRootLockRecord(const RootLockHolder& holder);
// False unless `text` is one whole record, nothing before or after it.
bool ParseRootLockRecord(std::string_view text, RootLockHolder& holder);

// Writes the record into the lock file open (and locked) as `lockFd`, replacing what it held. False with the
// reason, writing nothing, when the file is not a regular file of this user with mode 0600 and one name.
bool WriteRootLockRecord(int lockFd, const RootLockHolder& holder, std::string* error = nullptr);
// Reads the record of the lock file `lockPath`. False with the reason when the file cannot be opened, is not
// a regular file of this user with mode 0600 and one name, is longer than a record can be or holds no whole
// record (an older daemon's empty lock file, or a record being written).
bool ReadRootLockRecord(const std::string& lockPath, RootLockHolder& holder, std::string* error = nullptr);

// For a daemon of the root `realRoot` that found the lock file `lockPath` held: why it must not start when the
// holder is a live process of this user serving the same folder (same device and inode) through another
// path; empty otherwise (the holder serves this very path, recorded nothing, is gone, or its path leads to
// another folder from here), which is the quiet "another daemon serves it".
std::string RootServedThroughAnotherPath(const std::string& realRoot, const std::string& lockPath);
