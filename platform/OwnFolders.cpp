#include "platform/OwnFolders.h"

#include "platform/FolderWalk.h"
#include "platform/Interruption.h"
#include "platform/RenameNoReplace.h"
#include "platform/UniqueNumber.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Platform {

bool MakeOwnFolder(const std::string& wanted, std::string& made, mode_t mode)
{
    for (int attempt = 0; attempt < 8; ++attempt)
    {
        const std::string path = attempt == 0 ? wanted : OwnNameBeside(wanted);
        const TemporariesLock held;
        if (::mkdir(path.c_str(), mode) == 0)
        {
            NoteTemporary(held, AT_FDCWD, path, true);
            made = path;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool SetOwnFolderAside(const std::string& folder, const std::string& aside)
{
    const TemporariesLock held;
    const uint64_t note = NoteSetAside(held, aside, folder);
    if (RenameNoReplace(folder, aside)) return true;
    const int why = errno;
    ForgetTemporary(held, note);
    errno = why;
    return false;
}

bool PutOwnFolderInPlace(const std::string& from, const std::string& to)
{
    const TemporariesLock held;
    if (!RenameNoReplace(from, to)) return false;
    ForgetOwnWorkMovedFrom(held, from);
    return true;
}

bool IsOwnFolder(const std::string& path)
{
    const TemporariesLock held;
    struct stat st;
    return IsOwnWork(held, path, &st) && S_ISDIR(st.st_mode);
}

bool RemoveOwnFolder(const std::string& path)
{
    const int why = errno;
    const TemporariesLock held;
    struct stat st;
    const bool own = IsOwnWork(held, path, &st) && S_ISDIR(st.st_mode);
    const bool gone = own && RemoveTree(path);
    if (gone)
        ForgetOwnWorkMovedFrom(held, path);
    else
        ForgetOwnWorkGoneFrom(held, path);
    errno = why;
    return gone || !own;
}

void ForgetOwnWorkGone(const std::string& path)
{
    const TemporariesLock held;
    ForgetOwnWorkGoneFrom(held, path);
}

std::string FreeOwnNameFor(const std::string& wanted)
{
    RemoveOwnFolder(wanted);
    for (int attempt = 0; attempt < 8; ++attempt)
    {
        const std::string path = attempt == 0 ? wanted : OwnNameBeside(wanted);
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return path;
    }
    return {};
}

}  // namespace Platform
