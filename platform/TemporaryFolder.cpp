#include "platform/TemporaryFolder.h"

#include "platform/FolderWalk.h"
#include "platform/Interruption.h"
#include "platform/RenameNoReplace.h"

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
    note_ = NoteTemporary(held, AT_FDCWD, path_, true);
    return true;
}

bool TemporaryFolder::MakeUnique(const std::string& pattern)
{
    Remove();
    std::string name = pattern;
    const TemporariesLock held;
    if (::mkdtemp(name.data()) == nullptr) return false;
    path_ = std::move(name);
    note_ = NoteTemporary(held, AT_FDCWD, path_, true);
    return true;
}

bool TemporaryFolder::PutInPlace(const std::string& to)
{
    if (path_.empty())
    {
        errno = ENOENT;
        return false;
    }
    const TemporariesLock held;
    if (!RenameNoReplace(path_, to)) return false;
    ForgetTemporary(held, std::exchange(note_, 0));
    path_.clear();
    return true;
}

bool TemporaryFolder::Remove()
{
    if (path_.empty()) return true;
    const int why = errno;
    const TemporariesLock held;
    const bool gone = RemoveTree(path_);
    if (gone) ForgetTemporary(held, std::exchange(note_, 0));
    path_.clear();
    errno = why;
    return gone;
}

}  // namespace Platform
