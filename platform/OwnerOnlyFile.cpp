#include "platform/OwnerOnlyFile.h"

#include "platform/FileWriting.h"
#include "platform/FolderWalk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace Platform {
namespace {

bool Fail(std::string* error, const std::string& why)
{
    if (error) *error = why;
    return false;
}

// Only this user and root may replace what the folder holds under a name of this user's.
bool Guarded(const Folder& dir, const struct stat& entry, std::string* error)
{
    struct stat folder
    {};
    if (::fstat(dir.Fd(), &folder) == 0 && EntryIsGuarded(folder, entry)) return true;
    return Fail(error, "its folder can be changed by another user");
}

std::string Errno(std::string_view what, std::string_view name)
{
    return std::string(what) + " '" + std::string(name) + "': " + std::strerror(errno);
}

}  // namespace

bool MakeOwnerOnlyFolder(const std::string& path, std::string* error)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno == ENOENT)
    {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
        (void)::mkdir(path.c_str(), 0700);
    }
    struct stat st
    {};
    if (::lstat(path.c_str(), &st) != 0) return Fail(error, Errno("cannot make the folder", path));
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 07777) != 0700)
        return Fail(error, "'" + path + "' is not a folder that only this user may enter");
    return true;
}

bool WriteOwnerOnlyFile(const std::string& folder, std::string_view name, std::string_view bytes, std::string* error)
{
    if (!IsPlainEntryName(name)) return Fail(error, "invalid file name '" + std::string(name) + "'");
    Folder dir;
    if (!dir.Open(folder, error, kOpenGuarded)) return false;
    struct stat mine
    {};
    mine.st_uid = geteuid();
    if (!Guarded(dir, mine, error)) return false;
    const std::string final(name), temp = "." + final + "." + std::to_string(getpid()) + ".new";
    ::unlinkat(dir.Fd(), temp.c_str(), 0);  // a leftover of a process of ours that died
    ReplacingFile file;
    if (!file.CreateAt(dir.Fd(), final, temp, O_WRONLY, 0600)) return Fail(error, Errno("cannot create", temp));
    // Exactly 0600, whatever the umask made of it.
    if (::fchmod(file.Fd(), 0600) != 0 || !WriteFully(file.Fd(), bytes.data(), bytes.size()))
        return Fail(error, Errno("cannot write", temp));
    return file.Commit() || Fail(error, Errno("cannot rename into place", final));
}

bool ReadOwnerOnlyFile(const std::string& folder, std::string_view name, size_t maxBytes, std::string& bytes,
                       std::string* error)
{
    bytes.clear();
    if (!IsPlainEntryName(name)) return Fail(error, "invalid file name '" + std::string(name) + "'");
    Folder dir;
    if (!dir.Open(folder, error, kOpenGuarded)) return false;
    OpenedFile file;
    int err = 0;
    switch (file.Open(dir, name, &err))
    {
    case OpenedFile::Result::kNotRegular: return Fail(error, "'" + std::string(name) + "' is not a regular file");
    case OpenedFile::Result::kFailed: errno = err; return Fail(error, Errno("cannot open", name));
    case OpenedFile::Result::kOpened: break;
    }
    if (!Guarded(dir, file.Stat(), error)) return false;
    if (file.Stat().st_uid != geteuid())
        return Fail(error, "'" + std::string(name) + "' belongs to another user (uid " +
                               std::to_string(file.Stat().st_uid) + ")");
    if (file.Mode() != 0600)
    {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(file.Mode()));
        return Fail(error, "'" + std::string(name) + "' has mode " + mode + ", not 0600");
    }
    if (!file.Read(bytes, maxBytes, &err))
    {
        errno = err;
        return Fail(error, err == EFBIG ? "'" + std::string(name) + "' is too large" : Errno("cannot read", name));
    }
    return true;
}

bool RemoveOwnerOnlyFile(const std::string& folder, std::string_view name)
{
    if (!IsPlainEntryName(name)) return false;
    Folder dir;
    if (!dir.Open(folder)) return false;
    const std::string n(name);
    return ::unlinkat(dir.Fd(), n.c_str(), 0) == 0 || errno == ENOENT;
}

}  // namespace Platform
