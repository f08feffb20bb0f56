#pragma once
// The installation's folder layout and its content sources.
//
//   <root>/UserData/{local,editing,original,backups,cache,settings,packages}   user-data locations
//   <root>/builtin/<pack>/...                                                  source "builtin"
//   <root>/Base, <root>/Data                                                   sources "base", "data"
//   <root>/scripts, <root>/libraries                                           mounted as substitutions
//
// Source names are lower case. The root is process-wide state, set once at start-up.
#include "core/PathHelpers.h"
#include "engine/FilePath.h"
#include "engine/PString.h"

// The program file's own path; false when it cannot be found.
bool GetExecutablePath(Orvo::File::Path& out);

// Sets the installation root (made absolute and normalised) and the UserData root below it. False for an
// empty path.
bool SetInstallationPath(Orvo::File::Path root);
// The roots; empty while none is set.
Orvo::File::Path GetInstallationPath();
Orvo::File::Path GetUserDataPath();
// The UserData root as the one data folder DeletePathAt may delete inside (none while no root is set).
DeletionBounds UserDataDeletionBounds();

// True for the names of the user-data locations ("local", "editing", ...), without regard to case.
bool IsUserDataLocation(std::string_view name);

// The folder of a content location or source: user-data locations under the UserData root, "base" and
// "data" as <root>/Base and <root>/Data, any other name under the installation root. Empty while the
// root is not set, and for names that would leave the root (empty, "..", containing a separator).
Orvo::File::Path GetContentFolder(std::string_view sourceName);

// Creates the UserData folders, mounts the resource databases of the content sources whose folders
// exist ("base", "data", "builtin") and the "scripts" and "libraries" substitutions. False when the root
// is not set or a UserData folder cannot be made.
bool InitialiseContentFolders();

// Splits a file path into its content source (lower case) and the path relative to that source's
// folder, which replaces `path`; a relative path is taken from the working folder. False, leaving both
// untouched, when the path lies in no content folder.
bool SplitContentPath(Orvo::File::Path& path, Orvo::PString& sourceName);

// Shutdown: drops what InitialiseContentFolders mounted, then destroys every unused resource database.
void UnmountContentFolders();
void FlushResourceDatabaseCache();
