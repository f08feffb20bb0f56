#include "platform/TemporaryFolder.h"

#include "platform/Interruption.h"
#include "platform/OwnFolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace Platform {

bool TemporaryFolder::Make(const std::string& path, mode_t mode)
{
    Remove();
    const TemporariesLock held;
    if (path.empty() || ::mkdir(path.c_str(), mode) != 0) return false;
    path_ = path;
    NoteTemporary(held, AT_FDCWD, path_, true);
    return true;
}

bool TemporaryFolder::MakeUnique(const std::string& pattern)
{
    Remove();
    std::string name = pattern;
    const TemporariesLock held;
    if (::mkdtemp(name.data()) == nullptr) return false;
    path_ = std::move(name);
    NoteTemporary(held, AT_FDCWD, path_, true);
    return true;
}

bool TemporaryFolder::PutInPlace(const std::string& to)
{
    if (path_.empty())
    {
        errno = ENOENT;
        return false;
    }
    if (!PutOwnFolderInPlace(path_, to)) return false;
    path_.clear();
    return true;
}

bool TemporaryFolder::Remove()
{
    if (path_.empty()) return true;
    const bool gone = RemoveOwnFolder(path_);
    path_.clear();
    return gone;
}

}  // namespace Platform
