#pragma once
// Folder work for installs, commits, deletes and backups. Replacing a folder is crash safe: the new
// contents are written into a temporary folder beside the target and renamed into place, and a leftover
// of an interrupted replacement is put right by CleanupFolderLeftovers at the next start.
#include "daemon/TakenFolder.h"
#include "platform/OwnWorkSweep.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// Copies a folder tree (regular files with their modes, and folders; symbolic links and other special files
// are left out, and their paths go to `leftOut`, sorted, for the caller to report). The source may be a user's
// folder that another user changes meanwhile: it is walked by descriptor (platform/FolderWalk.h), so a name
// that is a link or special file when it is opened is left out whatever it was when listed, and `from` itself
// must not be a link (links on the way to it are followed only where no other user can have put them).
// `bytes` gets the total size of the files copied. With `link` a file is given a second name (a hard link) instead of being copied
// where the file system allows: only for a source nothing else writes to, which is removed afterwards.
// `copied` gets what the copy read of `from` (TakenFolder.h), for a removal of it that takes only that.
bool CopyFolderTree(const std::string& from, const std::string& to, std::string* error = nullptr,
                    std::vector<std::string>* leftOut = nullptr, uint64_t* bytes = nullptr, bool link = false,
                    TakenRecord* copied = nullptr);
// Removes a folder tree; true when nothing is left.
bool RemoveFolderTree(const std::string& path);
bool FolderExists(const std::string& path);

// Names beside a target folder: "<parent>/.vadtmp-<name>" for new contents being written and
// "<parent>/.vadold-<name>" for the old contents during the swap. Where anything else has such a name, the daemon
// works under a name of its own beside it instead ("<that name>-<pid>-<n>").
std::string TempFolderFor(const std::string& target);
std::string OldFolderFor(const std::string& target);
// Sets an asset folder aside as an old copy (OldFolderFor, or a name of the daemon's own beside it where that is
// taken), noted as set aside from `folder`: a start-up after a kill gives it its name back or removes it as the store
// says (CleanupFolderLeftovers). `aside` gets where it waits; false with errno set (EEXIST: no name was free).
bool SetOldCopyAside(const std::string& folder, std::string& aside);
// Removes an asset folder the store no longer names (an installed copy's, replaced by one in another folder): set
// aside first as an old copy, so that a removal cut short is finished at the next start and never found as a second
// copy of the asset.
void RemoveUnrecordedFolder(const std::string& folder);

// Copies `from` into a folder of the daemon's own beside `target` (TempFolderFor, or a name of its own where anything
// else has that name; a leftover of the daemon's own there goes first), whose path goes to `staged`. The caller then
// commits with SwapInFolder.
bool StageFolderCopy(const std::string& from, const std::string& target, std::string& staged,
                     std::string* error = nullptr, std::vector<std::string>* leftOut = nullptr,
                     uint64_t* bytes = nullptr, bool link = false, TakenRecord* copied = nullptr);
// A copy staged for one install that nothing else writes to and that is thrown away afterwards (a folder of one
// of this daemon's own staging folders in the cache) is not copied: it is made ready where it lies and moved
// into place whole by SwapInFolder. What is neither a regular file nor a folder in it is removed, its path (as
// below `from`) going to `leftOut`, sorted; `bytes` gets the size of its files; the folder gets the mode a new
// folder gets. False when it is not a folder (a link is not taken), lies on another file system than
// `targetDevice` (it could not be moved there), or cannot be read.
bool PrepareStagedFolder(const std::string& from, dev_t targetDevice, std::string* error = nullptr,
                         std::vector<std::string>* leftOut = nullptr, uint64_t* bytes = nullptr);

// Moves the staged folder `staged` (StageFolderCopy's, or a prepared copy) into place: the staged one is renamed
// beside the target (as the old copy's name) and the two names exchanged in one step, so that the target is never
// missing (where the file system cannot exchange names: the old target is renamed aside, the staged one renamed to
// the target). Each step is noted as the daemon's own work: the new copy beside the target, then the old copy as
// set aside from the target. `aside` gets where the old copy waits (empty when nothing was replaced): FinishSwap
// removes it afterwards, UndoSwap puts it back.
bool SwapInFolder(const std::string& target, const std::string& staged, std::string* error = nullptr,
                  std::string* aside = nullptr);
void FinishSwap(const std::string& aside);
// False when the old copy could not be put back (it then waits as `aside`, noted as set aside).
bool UndoSwap(const std::string& target, const std::string& aside);

// `text` with every `aside` in it (the path of a folder taken aside) said as `place`, where its user has it.
std::string NamedInPlace(std::string text, const std::string& aside, const std::string& place);

// "<parent>/.vadclosed-<name>": an edit folder set aside while its edit is being closed (committed, reverted
// or deleted); it goes once the store no longer holds the edit, and comes back if the close was cut short.
std::string ClosedEditFolderFor(const std::string& editFolder);
// Sets an edit folder aside (true when there was none to move), noted as the daemon's own; PutEditFolderBack undoes
// it. Anything already under that name (an earlier close's, or a folder of that name the daemon did not set aside)
// is never removed or replaced: false then, with errno EEXIST, and the caller keeps it first or fails.
bool SetEditFolderAside(const std::string& editFolder);
bool PutEditFolderBack(const std::string& editFolder);
// Whether ".vadclosed-<name>" beside the edit folder is one the daemon set aside (or took on at its start).
bool OwnClosedEditFolder(const std::string& editFolder);

// The start-up clean-ups below act only on what a register of an ended process proves (`ended`, read before and
// swept after them): each entry they decide about is marked decided, and what they leave where it is becomes this
// process's own work. Anything else of such a name is left as it is.
//
// What the registers of ended processes prove in `parent` of `kind` whose name starts with `prefix` (one set aside:
// with its own name in `parent`), each marked decided: the sweep after the clean-up passes it by.
std::vector<Platform::ProvenWork> DecideProven(Platform::EndedOwnWork& ended, const std::string& parent,
                                               Platform::OwnWorkKind kind, std::string_view prefix);
// What a start-up clean-up leaves where it is of what an ended process proved its own (`work`, in `parent`) becomes
// this process's own work (recorded in its register), so that it stays known as the daemon's to a later request and
// start. What is no longer there is passed by.
void TakeOn(const std::string& parent, const Platform::ProvenWork& work);

// In the folder of edit folders (at start-up, as above): for each ".vadclosed-X", puts it back as X when `stillOpen(X)` says the store
// still holds its edit (the close was cut short before its commit point). Otherwise its edit was closed and the
// close was cut short before the folder went: what the installed copy localRoot/X holds as it is (the same file,
// or the same size and bytes) is removed, and the rest is kept as KeepUncommittedWork with `move` keeps it, as
// "X (earlier edit folder)" below backupsRoot; what cannot be kept stays where it is. Nothing nobody has a copy
// of is removed. Returns what was done as lines for the log.
std::vector<std::string> CleanupClosedEdits(const std::string& parent, const std::string& localRoot,
                                            const std::string& backupsRoot,
                                            const std::function<bool(const std::string& editFolder)>& stillOpen,
                                            Platform::EndedOwnWork& ended);

// In a folder of asset folders: for each old copy a swap or a delete set aside (".vadold-X"), either removes it
// (`swapRecorded(X)` says the store's record is what stands: the copy now at X, or no copy at X at all, a delete it
// recorded whose removal was cut short; without such a check, when X exists) or puts it back as X, whole (the swap or
// delete was cut short before its record was committed; a copy at X the store never recorded goes first). A new copy
// staged beside X is the sweep's to remove. Returns what was done as lines for the log.
std::vector<std::string> CleanupFolderLeftovers(const std::string& parent,
                                                const std::function<bool(const std::string& target)>& swapRecorded,
                                                Platform::EndedOwnWork& ended);

// Work kept because it was never committed (the user's only copy) is kept below backupsRoot/uncommitted/, in
// dated folders of its own that nothing ever thins: "<spaced KUID>" and one of these endings.
inline constexpr char kUncommittedBackups[] = "uncommitted";
inline constexpr char kEarlierEditFolder[] = " (earlier edit folder)";
inline constexpr char kUncommittedEdit[] = " (uncommitted edit)";
inline constexpr char kEditFolderWithoutEdit[] = " (edit folder without an edit)";
inline constexpr char kWrittenAfterTaken[] = " (written after it was taken)";
inline constexpr char kFoundWhereHeldCopyGoes[] = " (found where a held copy goes back)";

// Copies an installed asset folder into backupsRoot/<YYYYMMDD-HHMMSS>/<name> (or <YYYYMMDD-HHMMSS>-N when that
// second already holds a backup of that name: no backup is ever overwritten), then thins the dated folders of
// installed copies to at most maxFolders (oldest first; never the one just written), each moved aside under a
// hidden name before it is removed. A dated folder that holds only work that was never committed (as an earlier
// version kept it there) is none and stays; such work in a folder that goes is first moved into
// backupsRoot/uncommitted/<that dated name>/, and the folder stays when it cannot be. False when the copy
// failed; the copy's path goes to madeAt, lines for the log about the thinning to `done`.
bool BackupFolder(const std::string& folder, const std::string& backupsRoot, const std::string& name, int maxFolders,
                  std::string* error = nullptr, std::string* madeAt = nullptr,
                  std::vector<std::string>* done = nullptr);
// Keeps work that was never committed in backupsRoot/uncommitted/<YYYYMMDD-HHMMSS>[-N]/<name>, never overwriting
// anything; nothing is thinned there. Copied the same way as a backup (hidden name, renamed when whole), what the
// copy read going to `copied`; or, with `move`, the folder itself moved there by one rename (no room needed).
// From another file system it is copied, and then only what the copy read is removed, as far as it is still as
// read (RemoveTakenEntries): what was written into it meanwhile, or is open in another program, is copied again
// into a dated folder of its own, a few rounds at most, and what is left after them stays in `folder` (false,
// saying so in `error`). A copy carries every entry as it is: a file of any name, a symbolic link as a link, a
// pipe, socket or device as one; what cannot be carried fails the keep, with nothing kept and the folder left as
// it was. False with the reason in `error`; `madeAt` is set whenever the copy was made, also when what was copied
// could not all be removed afterwards, and `keptIn` gets every place something was kept in, that one first.
bool KeepUncommittedWork(const std::string& folder, const std::string& backupsRoot, const std::string& name, bool move,
                         std::string* error = nullptr, std::string* madeAt = nullptr, TakenRecord* copied = nullptr,
                         std::vector<std::string>* keptIn = nullptr);
// Keeps a folder found where an edit folder goes, which no open edit made, as KeepUncommittedWork with `move`
// does, but takes it from its place first, by one rename to "<parent>/.vadkeep-<name>": a write into it after
// that fails where its writer sees it, unless the writer is inside it already (its current folder, a file it
// holds open), and then it is kept or stays. When it cannot be kept it is put back as it was, and when it could
// not all be kept (across file systems, while it kept being written to) what stays of it is put back (false,
// with the reason in `error`, and `keptIn` not empty). `keptIn` gets every place something was kept in.
bool KeepFolderWithoutEdit(const std::string& folder, const std::string& backupsRoot, const std::string& name,
                           std::string* error = nullptr, std::vector<std::string>* keptIn = nullptr);
std::string KeepingFolderFor(const std::string& folder);

// What became of a folder taken from its user once what was installed or kept of it went.
struct TakenFolderLeft
{
    std::vector<std::string> keptIn;  // where what stayed of it was kept (more than one across file systems)
    std::string staysIn;              // where what could not be kept stays (the folder itself); empty when none
    std::string error;                // why it could not all be kept
    size_t removed = 0;               // entries removed, as recorded
};
// The one removal of a folder taken from its user (a commit's, a revert's or a delete's edit folder set aside, one
// such a close cut short left for the start to clear):
// removes what `record` holds and is still as recorded (RemoveTakenEntries; `copy`: where what was read of it is,
// empty for a revert), and keeps whatever stays, as `name` below backupsRoot/uncommitted, as KeepUncommittedWork
// with `move` keeps it; it stays where it is when it cannot be kept.
TakenFolderLeft ClearTakenFolder(const std::string& folder, const TakenRecord& record, const std::string& copy,
                                 const std::string& backupsRoot, const std::string& name);
// In the folder of edit folders (at start-up, as above): each ".vadkeep-X" that a keep cut short left is put back
// as X, or, where X is taken, kept in backupsRoot as KeepUncommittedWork keeps an edit folder without an edit (it
// stays where it is when neither can be done). Returns what was done as lines for the log.
std::vector<std::string> CleanupKeepLeftovers(const std::string& parent, const std::string& backupsRoot,
                                              Platform::EndedOwnWork& ended);
// Dated backup folders, oldest first.
std::vector<std::string> ListBackupFolders(const std::string& backupsRoot);
// At start-up, as above: removes what an interrupted backup or thinning left (a copy under its hidden name in a
// dated folder of either kind, a dated folder being thinned), after moving out of the latter the uncommitted work
// an earlier version kept there. Returns lines for the log.
std::vector<std::string> CleanupBackupLeftovers(const std::string& backupsRoot, Platform::EndedOwnWork& ended);
