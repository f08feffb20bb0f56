#pragma once
// A folder taken from its user (an edit folder a commit, revert or delete set aside, a folder a keep copies into
// the backups) is removed only as far as it is known to be installed or kept. The copy that read it records
// each entry's status as it opened the entry, before reading it; the removal then takes an entry only while it
// is still that entry (the same device and inode, type, size, modification and change time) and no other
// process holds it open. What was written, changed or added after the copy read it stays, and so does a
// folder that is not empty once its recorded entries went.
//
// A file system stamps times in steps of its own, which may be coarser than the clock (one second on ext3 and on an
// ext4 with small inodes, two on FAT): a rewrite of the same size within the step in which a file was last changed
// leaves its status as it was. A file changed within the step of the moment it was recorded is therefore unsure:
// a copy waits out a short step before it reads the file; a longer one it does not wait for, and the removal then
// takes the file only while it holds the bytes of the copy, compared under the lease. A record without a copy (a
// revert's) waits out the step once for the whole folder and records it again; what is still unsure then stays.
//
// A regular file is removed under a write lease (fcntl F_SETLEASE): one that cannot be had because another
// process has the file open is left. Where leases are not to be had (a file of another owner without
// CAP_LEASE, a file system without them) the status alone decides. A lease break signals its holder with
// SIGIO, whose default would end the process: the first removal sets it to be ignored when it is the default.
// Not promised: a write in the instant between the last check of a file and its removal; and a store through a shared
// memory mapping into a page already written since the file was last written back, which changes no file time (a
// write through write(2) always does).
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unordered_map>

// An entry as a copy found it.
struct TakenEntry
{
    dev_t device = 0;
    ino_t inode = 0;
    mode_t type = 0;  // st_mode & S_IFMT
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    // The copy gave the file a second name rather than copying it: the installed copy is that very file, so
    // being the same file is enough.
    bool linked = false;
    // Changed within its file system's step of the moment it was looked at: a later write in that step would
    // leave its times as they were, so its status cannot tell. It is removed only while it holds the bytes of the
    // copy it was read into, and never where there is none.
    bool unsure = false;
};

// The entries of a taken folder that a copy read (or that were recorded some other way), by their path below
// it: "" for the folder itself, "sub/name" below it.
class TakenRecord
{
public:
    // More entries than this are not recorded (they are then kept, never removed).
    static constexpr size_t kMaxEntries = size_t(1) << 22;

    // Records `path` with the status `st` had when it was opened. For a regular file about to be read it first
    // waits (a few milliseconds at most) until the clock has left the step of its file system in which the file
    // was last changed, so that any write after the read begins changes its times; the entry is marked unsure
    // when it could not.
    void Add(const std::string& path, const struct stat& st, bool linked = false);
    // Records `path` with the status `st` had when it was looked at, the clock having read `clockBefore`
    // (nanoseconds) just before the look, for a record that reads nothing: unsure unless that was after the
    // step of its last change.
    void AddSeen(const std::string& path, const struct stat& st, long long clockBefore);
    void Forget(const std::string& path) { entries_.erase(path); }
    const TakenEntry* Find(const std::string& path) const;
    size_t Size() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    void Clear()
    {
        entries_.clear();
        settledAt_ = 0;
    }
    // The clock time (nanoseconds) from which the unsure entries would have been sure, when that is near
    // enough to wait for (two seconds and a little); 0 when none is.
    long long UnsureSettledAt() const { return settledAt_; }

private:
    void Put(const std::string& path, const struct stat& st, bool linked, long long seen, bool wait);

    std::unordered_map<std::string, TakenEntry> entries_;
    long long settledAt_ = 0;
};

// Records every entry below `folder` (and the folder) as it is now, by a walk by descriptor that follows no link:
// what a revert discards is what the folder held when it was recorded, just before it was taken. Files changed
// within their file system's step are waited out (a little over two seconds at most, once) and the folder
// recorded again; what is unsure then is kept. What cannot be read is left out of the record, and so is kept.
TakenRecord RecordTakenFolder(const std::string& folder);

// Records the entries of the taken folder `folder` that the copy `copy` holds as they are: the same file (a
// second name), or a regular file of the same size and bytes; a folder that the copy has as a folder too. What a
// start finds of a close cut short after its commit point can go as far as the installed copy has it.
TakenRecord RecordSameAsCopy(const std::string& folder, const std::string& copy);

// What a checked removal did.
struct TakenRemoval
{
    bool gone = false;   // nothing is left at the folder's path
    size_t removed = 0;  // entries removed
    size_t kept = 0;     // entries left because they were not recorded, changed since, or open elsewhere
    int error = 0;       // the first removal that failed for another reason (errno), 0 when none did
};

// Removes from `folder` what `record` holds and is still as recorded; see above. `copy` is the folder that holds
// what the copy read, by the same paths (the installed copy, a kept one), against which an unsure file is
// compared; empty when there is none. The walks go by descriptor and follow no link.
TakenRemoval RemoveTakenEntries(const std::string& folder, const TakenRecord& record, const std::string& copy = {});
