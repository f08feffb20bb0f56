#pragma once
// Outputs put on disk once, at the end of the command that wrote them, rather than one by one. A new file, or one
// written in place, is only in memory for half a minute after it is written (the file system writes its data out
// later, while its name and size may be on disk within seconds): a power cut then leaves an empty file, or one of
// zeros. Each output notes the file system it was written to, and the frame that runs the command flushes each of
// them once (syncfs) before it reports what the command did.
//
// The record is process-wide and thread-safe. It keeps one descriptor of a folder per file system (never of an
// output itself: the output writer refuses files the process holds open for itself), opened close-on-exec; past
// kMaxNotedFileSystems, or where no folder of the file system can be opened, the flush syncs every file system
// (sync) instead. Noting is off until a frame that flushes turns it on: a process that never flushes (the daemon,
// which syncs what it writes itself) collects nothing.
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace Platform {

inline constexpr size_t kMaxNotedFileSystems = 32;

// Turns noting on or off for the whole process.
void SetNotingWrittenOutputs(bool on);
bool NotingWrittenOutputs();

// An output was made or renamed in the folder `folder` (relative to the folder open as `at`, or AT_FDCWD).
void NoteWrittenFolder(int at, const char* folder);
// An output was written into the regular file open as `fd` (in place, or through a stream): its file system is
// noted through the folder that holds it.
void NoteWrittenFile(int fd);

// Puts on disk what was written to each file system noted since the last flush, and forgets them. False when one
// could not be flushed: `reason` (when given) says why, and the rest are flushed all the same.
bool FlushWrittenOutputs(std::string* reason = nullptr);
// How many file systems are noted now (for the record's own tests).
size_t NotedFileSystems();

// Puts on disk what was written to the file systems holding these folders, each synced once; a folder that is not
// there is nothing to keep. False when one could not be synced (`reason`, when given, says why); the others are
// synced all the same. For writers that name what they wrote themselves rather than note it (the daemon).
bool SyncFileSystems(const std::vector<std::string>& folders, std::string* reason = nullptr);

}  // namespace Platform
