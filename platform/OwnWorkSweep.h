#pragma once
// After a process that kept a register of its own work (Interruption.h, OwnWorkRecords.h) has ended, however it
// ended: what it made and did not remove goes, and what it renamed aside gets its name back. Only what a record
// proves is still there: at the recorded path, the same file (device and inode) of the same kind (a file, a
// folder); a file that merely has such a name, or was put there since, stays. The register goes afterwards.
#include "platform/OwnWorkRecords.h"

#include <cstddef>
#include <string>
#include <vector>

namespace Platform {

// Sweeps the registers in `folder` (a folder of this user that only it may enter; any other is left alone) of
// processes that have ended: a register of this user's, owner-only, read whole within the bounds of
// OwnWorkRecords.h; one that is not is left as it is, and said so. A register another sweep is working through is
// waited for, and one it has swept is passed by.
// Returns what was done as lines for a log.
std::vector<std::string> SweepOwnWorkOfEndedProcesses(const std::string& folder);

// An entry of a folder that a record of an ended process proves to be that process's own work.
struct ProvenWork
{
    std::string name;  // in the folder asked about
    OwnWorkKind kind = OwnWorkKind::kFile;
    std::string ownName;  // set aside: the name it is given back, in the same folder (empty where that lies elsewhere)
    size_t from = 0;      // the register and the record that prove it
    size_t record = 0;
};

// The same sweep in two steps, for a caller that decides first about some of what the records prove (where the
// decision needs more than a record, such as what a database holds): the registers of ended processes read, then
// the sweep of what was not decided, which removes the registers.
class EndedOwnWork
{
public:
    explicit EndedOwnWork(const std::string& folder);
    EndedOwnWork(const EndedOwnWork&) = delete;
    EndedOwnWork& operator=(const EndedOwnWork&) = delete;

    // What the records not yet decided prove in the folder `folder` (the same folder by device and inode, whatever
    // path names it), of the kind `kind`: each entry that is still what was recorded (the same device and inode; a
    // folder for a work folder, a regular file for a file), in the order recorded.
    std::vector<ProvenWork> ProvenIn(const std::string& folder, OwnWorkKind kind) const;
    // The caller has dealt with it (also where it left it as it is): the sweep passes it by.
    void Decided(const ProvenWork& work);
    // Does what the records not decided prove and removes the registers (once). Lines for a log.
    std::vector<std::string> Sweep();

private:
    struct Register
    {
        std::string name;
        uint64_t device = 0;
        uint64_t inode = 0;
        std::vector<OwnWorkRecord> records;
        std::vector<bool> decided;
    };
    std::string folder_;
    bool usable_ = false;
    bool swept_ = false;
    std::vector<Register> registers_;
    std::vector<std::string> rewrites_;  // registers being written anew when their process ended
    std::vector<std::string> done_;
};

}  // namespace Platform
