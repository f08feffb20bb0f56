#pragma once
// File-system helpers that take a base folder and a path below it. Paths go through the engine's file
// layer, so "name:" substitutions and case-insensitive lookups apply.
#include <string>
#include <string_view>
#include <vector>

// True for a path that stands on its own: a leading "/" (or "\"), a drive form such as "C:\x" (at least
// 4 characters: letter, ":" and a separator), or two leading backslashes.
bool IsAbsolutePath(std::string_view path);

// base + path, or the path alone when it is absolute or the base is empty.
std::string JoinBasePath(std::string_view base, std::string_view path);

// True when the file or folder at base + path (or at an absolute path) exists. A relative path without
// a base cannot be checked and gives true.
bool CheckFileExists(std::string_view base, std::string_view path);

// Deletes base + path (or an absolute path) as a folder tree, or else as a file; true when it was there
// and is gone. Only paths strictly inside the installation's data folders are deleted, unless deleting
// anywhere is allowed; nothing is deleted while no data folder is registered, and never the file-system
// root or a registered root itself. A relative path without a base is refused.
bool DeletePathAt(std::string_view base, std::string_view path);

// Makes the folder base + folder and its parents; true when it exists afterwards.
bool CreateFolderAt(std::string_view base, std::string_view folder);

// Renames base + from to base + to. Without a base both names must be absolute.
bool RenameFileAt(std::string_view base, std::string_view from, std::string_view to);

// The installation's data folders (the asset-database client registers them at start-up). Replaces any
// earlier set; folders are compared by their real location (symbolic links resolved).
void SetDataFolderRoots(const std::vector<std::string>& roots);
std::vector<std::string> GetDataFolderRoots();
// True when the path's real location lies strictly inside one of the registered data folders.
bool IsInsideDataFolders(std::string_view path);
// Lets DeletePathAt remove absolute paths outside the data folders (the compile and encrypt commands
// allow it, since they write wherever their arguments point). Not allowed at start.
void AllowDeletingAnywhere(bool on);
