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

// Where DeletePathAt may delete: strictly inside the data folders it is made with (compared by their real
// location, symbolic links resolved), or anywhere. Made without folders it allows nothing.
class DeletionBounds
{
public:
    DeletionBounds() = default;
    explicit DeletionBounds(const std::vector<std::string>& roots);
    // Absolute paths anywhere (never the file-system root: DeletePathAt refuses that itself).
    static DeletionBounds Anywhere();

    // True when the path's real location lies strictly inside one of the data folders.
    bool Allows(std::string_view path) const;
    const std::vector<std::string>& Roots() const { return roots_; }

private:
    std::vector<std::string> roots_;  // real locations
    bool anywhere_ = false;
};

// Deletes base + path (or an absolute path) as a folder tree, or else as a file; true when it was there
// and is gone. Only paths the bounds allow are deleted, and never the file-system root or a data folder
// itself. A relative path without a base is refused.
bool DeletePathAt(std::string_view base, std::string_view path, const DeletionBounds& bounds);

// Makes the folder base + folder and its parents; true when it exists afterwards.
bool CreateFolderAt(std::string_view base, std::string_view folder);

// Renames base + from to base + to, never over anything that is already there: a name that is taken fails
// (with EEXIST) and both files stay as they were. The new name is taken as given in the folder it names (a
// file whose name differs from it only in case is another file, never the one renamed over); the file renamed
// and that folder are found as every path is. Without a base both names must be absolute. On failure `error`,
// when given, gets the errno.
bool RenameFileAt(std::string_view base, std::string_view from, std::string_view to, int* error = nullptr);
