#pragma once
// What a command cut short (a kill, a power cut) leaves under UserData/ that the folders' own start-up clean-ups
// (FolderOps.h: asset, edit, backup and cache folders) do not cover, removed when the daemon starts, before it
// serves anyone. Only what is surely the program's own goes; nothing that may hold a user's work:
//
// - packages/NAME.export-partial/: the folder an export makes its package in, when it holds the mark the export
//   puts in it first (kExportPartialMark), or nothing at all. A folder of that name without the mark (a package
//   of that name, one of an earlier version, a user's) stays.
// - packages/NAME/: "<copy>-<pid>-<n>" copies an export was moving in (".vadnew-…") go, and an earlier copy it had
//   taken aside (".vadold-…") gets its name back where nothing has it; where the new copy has it, the earlier one
//   stays as it is (it may hold its user's files). The temporaries of the package's archive and manifest
//   ("NAME.cdp.part-<pid>-<n>", "package.txt.part-<pid>-<n>") go.
// - cache/, settings/, dls-parse/ (and the folders below it): the program's own folders; a replacing file's
//   temporary ("X.part-<pid>-<n>") goes, and in cache/ a texture compressor's private folder
//   ("orvo_texturecompress_<pid>_XXXXXX").
//
// Each by its exact name, and only once the process that made it (the pid in its name) is gone: a tool that runs
// while the daemon starts keeps its own.
#include "core/KUID.h"
#include "daemon/DaemonResults.h"
#include "daemon/DaemonRoot.h"

#include <string>
#include <vector>

// The file an export puts first into the folder it makes its package in; it goes just before that folder is
// renamed into place.
inline constexpr char kExportPartialMark[] = ".vadexport-partial";
inline constexpr char kExportPartialSuffix[] = ".export-partial";

// Removes the leftovers listed above; returns what was done as lines for the log.
std::vector<std::string> CleanupCutShortWork(const DaemonRoot& root);

// In the copy of a user's folder that an install or commit is about to put in place (never the folder itself):
// removes the files named as a replacing file's temporary whose process is gone (a tool killed while it wrote a
// compiled texture or another output there), so that they are never installed. Returns their paths relative to
// the copy.
std::vector<std::string> LeaveOutLeftTemporaries(const std::string& copy);
// A warning about asset `kuid` that `path` (where its user has it) was not installed as such a leftover.
void PostTemporaryLeftOut(DaemonResults* results, const KUID& kuid, const std::string& path);
