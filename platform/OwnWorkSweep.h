#pragma once
// After a process that kept a register of its own work (Interruption.h, OwnWorkRecords.h) has ended, however it
// ended: what it made and did not remove goes, and what it renamed aside gets its name back. Only what a record
// proves is still there: at the recorded path, the same file (device and inode) of the same kind (a file, a
// folder); a file that merely has such a name, or was put there since, stays. The register goes afterwards.
#include <string>
#include <vector>

namespace Platform {

// Sweeps the registers in `folder` (a folder of this user that only it may enter; any other is left alone) of
// processes that have ended: a register of this user's, owner-only, read whole within the bounds of
// OwnWorkRecords.h; one that is not is left as it is, and said so. A register another sweep is working through is
// waited for.
// Returns what was done as lines for a log.
std::vector<std::string> SweepOwnWorkOfEndedProcesses(const std::string& folder);

}  // namespace Platform
