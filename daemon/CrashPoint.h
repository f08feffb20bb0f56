#pragma once
// Fault injection for the crash tests: a daemon started with -crashat=<name> kills itself with SIGKILL
// (as a power cut or kill -9 would end it) when it reaches the point of that name, so a test can end it
// at an exact step of an install or commit instead of guessing with timers. Unset in normal runs.
//
// Points: "copying" (a folder copy has written its first file), "prepared" (a staged copy to be moved into place
// whole looked through where it lies, nothing moved yet), "backed-up" (the backup copied, not yet
// renamed into place), "staged" (new contents staged and the backup made), "swapping" (old folder moved aside, new one not yet in place), "swapped" (new folder in
// place, store not yet committed), "stored" (store committed, old folder not yet removed), "compiled" (the
// textures of an install's copies compiled in the cache, nothing installed yet), "edit-aside" (an edit folder
// set aside by a commit, revert or delete, the store not yet changed), "exporting" (the folder an export makes
// its package in made and recorded as the daemon's own work, nothing in it yet), "putting-back" (an installed copy
// held aside for a run is to be put back, the run's own copy gone), "delete-aside" (a deleted asset's folder set
// aside, the store not yet changed), "deleted" (the store has forgotten a deleted asset, its folder set aside and not
// yet removed), "placed" (a package's new device copy of an asset in place, the earlier one set aside beside it),
// "request-<code>" (a request of that code has arrived, nothing of it done: "request-29").
#include <cstdint>
#include <string>

void SetCrashPoint(const std::string& name);
void CrashPoint(const char* name);
// The point "request-<code>".
void CrashPointAtRequest(uint32_t code);
