#pragma once
// A folder the process makes for its work and removes when done (a scratch folder, the folder a package or a copy
// is made in): made exclusively (never a folder that was there, whatever its name), one of the process's
// temporaries from that moment (Interruption.h: a signal that ends the process removes it, and where the process
// keeps a register of its own work, the sweep after a kill does), until it is removed or renamed into its place.
// It is one of the process's own folders (OwnFolders.h), held by an object that removes it when it goes.
#include <sys/types.h>

#include <string>

namespace Platform {

class TemporaryFolder
{
public:
    TemporaryFolder() = default;
    // Removes the folder with all it holds, unless it was put in place.
    ~TemporaryFolder() { Remove(); }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // Makes the folder `path` with `mode` (less the umask); false with errno set (EEXIST where anything has that
    // name).
    bool Make(const std::string& path, mode_t mode = 0755);
    // Makes a folder of a name of its own: `pattern` ending in "XXXXXX" (mkdtemp), owner-only.
    bool MakeUnique(const std::string& pattern);

    bool IsMade() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }

    // Renames the folder to `to`, never over anything (errno EEXIST where `to` is taken); from then on it is no
    // temporary. False with errno set: it stays a temporary.
    bool PutInPlace(const std::string& to);
    // Removes it with all it holds; true when nothing of it is left.
    bool Remove();

private:
    std::string path_;
};

}  // namespace Platform
