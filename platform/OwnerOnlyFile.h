#pragma once
// Small files that only their owner may read or write (for example where a process publishes how it can be
// reached). The folder that holds one is opened through a path that no other user can change (every folder
// on the way guarded, see FolderWalk.h), so nobody else can replace the file; the file is written under a
// temporary name created exclusively with mode 0600 and renamed into place, and it is read only when it is
// a regular file of this user with mode 0600.
#include <cstddef>
#include <string>
#include <string_view>

namespace Platform {

// Makes the folder `path` with mode 0700 (and the folders above it that are missing) where it is not there. False,
// with the reason, when it cannot be made, or what is there is not a folder of this user's that only this user may
// enter (mode 0700).
bool MakeOwnerOnlyFolder(const std::string& path, std::string* error = nullptr);
// Writes `bytes` as the file `name` of the folder `folder` (which must exist). False with the reason.
bool WriteOwnerOnlyFile(const std::string& folder, std::string_view name, std::string_view bytes,
                        std::string* error = nullptr);
// Reads the file whole; false (with the reason) when it is missing, not a regular file, not this user's,
// not of mode 0600, larger than `maxBytes`, or its folder is not guarded.
bool ReadOwnerOnlyFile(const std::string& folder, std::string_view name, size_t maxBytes, std::string& bytes,
                       std::string* error = nullptr);
// Removes the file; true when it is not there afterwards (false also when its folder cannot be opened).
bool RemoveOwnerOnlyFile(const std::string& folder, std::string_view name);

}  // namespace Platform
