#pragma once
// Putting a device package (DevicePackage.h) in place as UserData/packages/<name>/. The package is made in a
// folder of its own beside that place. Where nothing has the name yet, that folder is renamed into place whole,
// never over a folder that appeared meanwhile. A folder that has the name already is its user's: the package's
// archive and manifest are written into it as any output the user names (Platform::OutputFile: a file with a
// second name or of another owner is written in place, keeping its names, owner and mode), each device copy made
// now takes the place of the earlier copy of its asset (copied into the folder first where it lies on another file
// system, a link leading there), and everything else in the folder stays as it is. An earlier copy is set aside
// only once the new one is on disk (the caller syncs the folder the package was made in first; a copy copied across
// file systems is synced here), and removed only when the new one has every name it has (its files are replaced,
// as outputs are);
// one holding anything more (a file its user put there, or one the asset no longer has), or that is not a plain
// folder, is kept in the backups of uncommitted work, and the results say where.
#include "core/KUID.h"
#include "daemon/DaemonResults.h"
#include "platform/FileIdentity.h"
#include "platform/OwnWorkSweep.h"

#include <string>
#include <vector>

// The ending of the folder an export makes a package in beside its place, where nothing has that name.
inline constexpr char kExportPartialSuffix[] = ".export-partial";

// What stands at the package's place: a folder (true), nothing (false, `error` empty), or something else (false,
// `error` says what).
bool PackageFolderStands(const std::string& place, std::string& error);

// Moves the device copies "<spaced KUID>" of `assets` from the folder the package was made in into the folder
// standing at `place`, as the header says. False (the results say which copy and why) when a copy could not be
// put in place: the copies before it are in place, that one and the rest are not.
bool PlaceDeviceCopies(const std::string& making, const std::string& place, const std::string& packageName,
                       const std::vector<KUID>& assets, const std::string& backupsRoot, DaemonResults* results);

// At start-up, in each package folder below `packagesRoot`: an earlier device copy that an export set aside (proven by
// the register of a daemon that ended, `ended`) gets its name back where that is free. Where the new copy has it,
// the earlier one goes as the export would have taken it: removed when the new copy has every name it has, else
// moved into the backups of uncommitted work below `backupsRoot` (as "<package> <spaced KUID> (earlier package
// copy)"); where it cannot be kept it stays. Returns what was done, and where it went, as lines for the log.
std::vector<std::string> CleanupPackageLeftovers(const std::string& packagesRoot, const std::string& backupsRoot,
                                                 Platform::EndedOwnWork& ended);

// Whether a file in the tree below `folder` (links not followed) is `file`.
bool FolderTreeHoldsFile(const std::string& folder, const Platform::FileIdentity& file);
