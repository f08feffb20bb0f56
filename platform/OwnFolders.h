#pragma once
// Folders of the process's own, known by their paths: made or set aside by this process and noted as its own work
// from that moment (Interruption.h; recorded in its register where it keeps one), until they are in place, given
// back or removed. Only what this process noted (the same folder, by device and inode) is ever removed, renamed or
// moved by these; a folder that merely has such a name is left as it is. TemporaryFolder.h is the same for one folder
// an object owns.
#include <sys/types.h>

#include <string>

namespace Platform {

// Makes a folder exclusively at `wanted`, or where anything has that name, under a name of its own beside it; its
// path goes to `made`. False with errno set.
bool MakeOwnFolder(const std::string& wanted, std::string& made, mode_t mode = 0755);
// Renames `folder` to `aside` (never over anything), noted as set aside from `folder` just before.
bool SetOwnFolderAside(const std::string& folder, const std::string& aside);
// Renames the process's own folder `from` to `to`, never over anything: from then on it is no longer its own work.
bool PutOwnFolderInPlace(const std::string& from, const std::string& to);
// Whether `path` names a folder this process noted as its own.
bool IsOwnFolder(const std::string& path);
// Removes `path` with all it holds when it is the process's own; true when nothing of the process's is left there.
bool RemoveOwnFolder(const std::string& path);
// Forgets the notes of what is no longer at `path` (removed, or moved by anything else than the calls above).
void ForgetOwnWorkGone(const std::string& path);
// Where the process sets a folder aside beside its place: `wanted` where nothing has that name (what the process left
// there itself goes first), else a name of its own beside it that nothing has; empty when none is free.
std::string FreeOwnNameFor(const std::string& wanted);

}  // namespace Platform
