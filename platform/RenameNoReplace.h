#pragma once
// Renaming that never replaces: a file or folder gets a new name only where nothing has that name yet.
#include <string>

namespace Platform {

// Renames `from` to `to` unless something (a file, folder or link) is at `to`: nothing is ever replaced.
// False with errno set otherwise: EEXIST when `to` is taken, and then both names are as they were. Done in
// one step (renameat2 with RENAME_NOREPLACE); where the file system cannot refuse to replace that way
// (EINVAL or ENOSYS for the flag), RenameNoReplaceInSteps does it.
bool RenameNoReplace(const std::string& from, const std::string& to);

// The same in steps, for file systems without RENAME_NOREPLACE. A file (or link) gets its second name first
// (a hard link, which fails with EEXIST when the name is taken) and then loses its first. A folder, or a file
// on a file system without hard links, first reserves the name with an empty folder or file of its own made
// exclusively (EEXIST when taken), and is then renamed over that reservation; the reservation is removed
// again when the rename fails.
bool RenameNoReplaceInSteps(const std::string& from, const std::string& to);

}  // namespace Platform
