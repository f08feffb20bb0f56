#pragma once
// What a signal that ends the process lets finish, and what it tidies, before anything else happens.
//
// An output written in place (over a file with a second name, or another owner's) is never left half written:
// its copy runs as an UnbrokenWrite, and ending waits for it. The process's own temporary files and folders (a
// replacing file's temporary, a scratch folder) are noted here from the moment they have a name to the moment
// they are committed or removed, each step made together with its note while a TemporariesLock stands, which ending
// waits for, so that ending finds every one of them and removes it; where the program keeps a register of its own
// work, each note is recorded on disk too, for a kill that no handler sees. Once ending has begun nothing more is
// made, committed or written in place: a thread that tries waits until the process is gone.
#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace Platform {

// A write that ending waits for (the copy into an output written in place). Started once ending has begun, it
// waits until the process is gone. It must not wait for anything a signal's handler holds.
class UnbrokenWrite
{
public:
    UnbrokenWrite();
    ~UnbrokenWrite();
    UnbrokenWrite(const UnbrokenWrite&) = delete;
    UnbrokenWrite& operator=(const UnbrokenWrite&) = delete;
};

// Held while a temporary is made, committed or removed, with its note: ending waits until none stands, and then
// finds every step whole, made and noted or neither. The steps of different threads run side by side (each note is
// taken under a lock of its own). Taken once ending has begun, it waits until the process is gone (except inside an
// UnbrokenWrite, which ending waits for).
class TemporariesLock
{
public:
    TemporariesLock();
    ~TemporariesLock();
    TemporariesLock(const TemporariesLock&) = delete;
    TemporariesLock& operator=(const TemporariesLock&) = delete;
};

// Notes the temporary `name` of the folder open as `folderFd` (AT_FDCWD: `name` is a path), which the caller
// keeps open while the note stands: a file, or with `tree` a folder, named by its path, that goes with all it
// holds. It is what the caller has just made exclusively (never a file that was there before), looked up by its
// name, or with `madeFd` the file open as that descriptor (a file made without a name, noted just before it gets
// `name`). Returns the note's number (never 0) for ForgetTemporary.
uint64_t NoteTemporary(const TemporariesLock& held, int folderFd, std::string name, bool tree = false, int madeFd = -1);
// Notes, just before the caller renames it, that what the path `own` names goes aside as the path `aside`: ending
// (and, after a kill, the sweep of OwnWorkSweep.h) gives it its own name back where nothing has that name by then.
// The note stands until the caller has given it back, or has dealt with it otherwise. With `already`, what `aside`
// names now is what was set aside (one an ended process set aside, which this one takes on as its own).
uint64_t NoteSetAside(const TemporariesLock& held, const std::string& aside, const std::string& own,
                      bool already = false);
// The temporary was committed (it has its final name) or removed: ending leaves it.
void ForgetTemporary(const TemporariesLock& held, uint64_t note);

// Of what was noted by its path (AT_FDCWD): whether what the path `path` names now is what this process noted there
// as its own (a temporary, or what it set aside as `path`), the same file (device and inode) as when it was noted.
// What merely has such a name is not. Where anything was noted there, `seen` (when given) gets the status of what the
// path names now. A path where nothing was noted is not looked at.
bool IsOwnWork(const TemporariesLock& held, const std::string& path, struct stat* seen = nullptr);
// Forgets each note at the path `path` (noted by its path) that no longer names what was noted (removed, renamed
// away, or another file there now); what still stands there stays noted.
void ForgetOwnWorkGoneFrom(const TemporariesLock& held, const std::string& path);
// The same where the caller has just removed what the path named, or renamed it away: each note at `path` goes,
// without looking.
void ForgetOwnWorkMovedFrom(const TemporariesLock& held, const std::string& path);

// A step of many files or folders (an install of many assets): while one stands, the register's lines saying that
// what was removed or renamed away needs nothing more wait, and go with the next line written or when the batch ends,
// in one write, so that each folder made and put in place costs one write rather than two. Late, such a line changes
// nothing a sweep does: it acts only on what is at the recorded path as the same file (device and inode), which what
// was removed or renamed away is not. Every other line is written at once.
class OwnWorkBatch
{
public:
    OwnWorkBatch();
    ~OwnWorkBatch();
    OwnWorkBatch(const OwnWorkBatch&) = delete;
    OwnWorkBatch& operator=(const OwnWorkBatch&) = delete;
};

// From now on every note is also recorded on disk, in a register of this process's own work in `folder` (made
// owner-only where it is not there; a folder of another owner or mode is not used), so that what a process that
// was killed made is removed after it, and only that (OwnWorkRecords.h). The register file is made exclusively
// with the first note, one line appended by one write for each step (with the lines an OwnWorkBatch held back), and
// goes when the process ends with nothing noted. Called once the program knows its installation
// (UserData/cache/own-work).
void KeepRegisterOfOwnWork(const std::string& folder);
// At a normal end: the register goes when nothing is noted (what is still noted stays recorded, for the sweep).
// Never waits: where another thread holds the lock, the register stays, for the sweep.
void EndRegisterOfOwnWork();

// For a handler of a signal that ends the process, before it writes anything: waits for every UnbrokenWrite,
// removes every temporary noted, gives back every name noted as set aside, and from then on holds back every new
// one; the register goes when all went. Returns lines for standard error
// about a temporary that could not be removed (empty when all went).
std::string PrepareToEnd();

}  // namespace Platform
