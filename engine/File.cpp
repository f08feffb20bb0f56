#include "engine/File.h"

#include "engine/String.h"
#include "platform/EntryNames.h"
#include "platform/FileWriting.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace Orvo {

namespace {

int ResultFromErrno(int e)
{
    switch (e)
    {
    case ENOENT:
    case ENOTDIR: return File::NotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return File::AccessDenied;
    case EEXIST: return File::AlreadyExists;
    case ENAMETOOLONG: return File::InvalidPath;
    default: return File::IoError;
    }
}

bool Fail(int code, const std::string& what, std::string_view path)
{
    File::SetLastError(code, what + " '" + std::string(path) + "'");
    return false;
}

bool FailErrno(const char* what, std::string_view path)
{
    int e = errno;
    File::SetLastError(ResultFromErrno(e), std::string(what) + " '" + std::string(path) + "': " + std::strerror(e));
    return false;
}

}  // namespace

File::~File() { Close(); }

int File::Open(std::string_view path, uint32_t mode, uint32_t /*flags*/)
{
    Close();
    std::string resolved;
    const bool writes = (mode & (ModeWrite | ModeAppend | ModeReadWrite)) != 0;
    if (!(writes ? ResolveForWriting(path, resolved) : Resolve(path, resolved))) return LastError().code;
    const char* how = nullptr;
    if (mode & ModeWrite)
        how = "wb";
    else if (mode & ModeAppend)
        how = "ab";
    else if (mode & ModeReadWrite)
        how = (mode & ModeCreate) && ::access(resolved.c_str(), F_OK) != 0 ? "w+b" : "r+b";
    else if (mode & (ModeRead | ModeReadSeq))
        how = "rb";
    if (!how)
    {
        Fail(BadMode, "File::Open> unknown open mode " + std::to_string(mode) + " for", path);
        return BadMode;
    }
    struct stat st;
    if (::stat(resolved.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    {
        Fail(AccessDenied, "File::Open> is a folder:", path);
        return AccessDenied;
    }
    f_ = std::fopen(resolved.c_str(), how);
    if (!f_)
    {
        FailErrno("File::Open> cannot open", path);
        return LastError().code;
    }
    name_.assign(path);
    resolved_ = std::move(resolved);
    mode_ = mode;
    return Ok;
}

int File::OpenDescriptor(int fd, std::string_view name)
{
    Close();
    const int flags = ::fcntl(fd, F_GETFL);
    const int own = flags < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own >= 0) f_ = ::fdopen(own, (flags & O_ACCMODE) == O_RDWR ? "r+b" : "wb");
    if (!f_)
    {
        FailErrno("File::OpenDescriptor> cannot write", name);
        if (own >= 0) ::close(own);
        return LastError().code;
    }
    name_.assign(name);
    resolved_.assign(name);
    mode_ = (flags & O_ACCMODE) == O_RDWR ? ModeReadWrite : ModeWrite;
    return Ok;
}

void File::Close()
{
    if (f_) std::fclose(f_);
    f_ = nullptr;
    mode_ = 0;
}

size_t File::Read(void* buffer, size_t bytes)
{
    if (!f_ || !buffer) return 0;
    return std::fread(buffer, 1, bytes, f_);
}

size_t File::Write(const void* buffer, size_t bytes)
{
    if (!f_ || (!buffer && bytes)) return 0;
    size_t n = std::fwrite(buffer, 1, bytes, f_);
    if (n != bytes) FailErrno("File::Write> short write to", name_);
    return n;
}

size_t File::ReadLine(char* buffer, size_t max)
{
    if (!buffer || max == 0) return 0;
    buffer[0] = '\0';
    if (!f_) return 0;
    size_t n = 0;
    while (n + 1 < max)
    {
        int c = std::getc(f_);
        if (c == EOF) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = '\0';
    return n;
}

bool File::ReadLine(std::string& line)
{
    line.clear();
    if (!f_) return false;
    int c = std::getc(f_);
    if (c == EOF) return false;
    while (c != EOF && c != '\n')
    {
        line.push_back(static_cast<char>(c));
        c = std::getc(f_);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool File::ReadLine(String& line)
{
    std::string s;
    bool ok = ReadLine(s);
    line = String(std::move(s));
    return ok;
}

bool File::WriteLine(std::string_view text)
{
    return Write(text.data(), text.size()) == text.size() && Write("\n", 1) == 1;
}

bool File::Eof()
{
    if (!f_) return true;
    int c = std::getc(f_);
    if (c == EOF) return true;
    std::ungetc(c, f_);
    return false;
}

bool File::Seek(int64_t offset, int whence) { return f_ && ::fseeko(f_, static_cast<off_t>(offset), whence) == 0; }

int64_t File::Tell() const { return f_ ? static_cast<int64_t>(::ftello(f_)) : -1; }

int64_t File::Size() const
{
    if (!f_) return -1;
    std::fflush(f_);
    struct stat st;
    if (::fstat(::fileno(f_), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool File::Flush()
{
    if (!f_) return false;
    // What the buffer held is written now: a full disk says so here.
    if (std::fflush(f_) != 0) return FailErrno("File::Flush> cannot write", name_);
    return true;
}

bool File::ReadAll(std::string& out, uint64_t limit)
{
    out.clear();
    int64_t size = Size();
    if (size < 0 || !Seek(0)) return Fail(IoError, "File::ReadAll> cannot read", name_);
    if (static_cast<uint64_t>(size) > limit) return Fail(IoError, "File::ReadAll> file too large:", name_);
    out.resize(static_cast<size_t>(size));
    size_t got = Read(out.data(), out.size());
    out.resize(got);  // a file that shrank meanwhile gives what was there
    return true;
}

// ---- static operations ----

bool File::Exists(std::string_view path)
{
    std::string r;
    struct stat st;
    if (!Resolve(path, r)) return false;
    if (::stat(r.c_str(), &st) != 0) return FailErrno("File::Exists>", path);
    return true;
}

bool File::IsDirectory(std::string_view path)
{
    std::string r;
    struct stat st;
    return Resolve(path, r) && ::stat(r.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool File::IsFile(std::string_view path)
{
    std::string r;
    struct stat st;
    return Resolve(path, r) && ::stat(r.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int64_t File::GetSize(std::string_view path)
{
    std::string r;
    struct stat st;
    if (!Resolve(path, r) || ::stat(r.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int64_t File::GetModifiedTime(std::string_view path)
{
    std::string r;
    struct stat st;
    if (!Resolve(path, r) || ::stat(r.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_mtime);
}

bool File::Md(std::string_view path)
{
    std::string r;
    if (!ResolveForWriting(path, r)) return false;
    if (r.empty()) return Fail(InvalidPath, "File::Md> empty path", path);
    for (size_t i = 1; i <= r.size(); ++i)
    {
        if (i < r.size() && r[i] != '/') continue;
        std::string part = r.substr(0, i);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return FailErrno("File::Md> cannot create", path);
    }
    struct stat st;
    if (::stat(r.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return Fail(AlreadyExists, "File::Md> a file stands in the way of", path);
    return true;
}

bool File::Rename(std::string_view from, std::string_view to)
{
    std::string a, b;
    if (!Resolve(from, a) || !ResolveForWriting(to, b)) return false;
    if (std::rename(a.c_str(), b.c_str()) == 0) return true;
    if (errno != EXDEV) return FailErrno("File::Rename> cannot rename", from);
    std::error_code ec;
    std::filesystem::copy(
        a, b, std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing, ec);
    if (ec || std::filesystem::remove_all(a, ec) == static_cast<std::uintmax_t>(-1) || ec)
        return Fail(IoError, "File::Rename> cannot move across file systems", from);
    return true;
}

bool File::Delete(std::string_view path)
{
    std::string r;
    if (!Resolve(path, r)) return false;
    if (::unlink(r.c_str()) != 0) return FailErrno("File::Delete> cannot delete", path);
    return true;
}

bool File::DeleteTree(std::string_view path)
{
    std::string r;
    if (!Resolve(path, r)) return false;
    std::string check = r;
    while (check.size() > 1 && check.back() == '/') check.pop_back();
    if (check.empty() || check == "/" || Platform::IsDotOrDotDot(check))
        return Fail(InvalidPath, "File::DeleteTree> refusing to delete", path);
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(r, ec)))
        return Fail(NotFound, "File::DeleteTree> not found:", path);
    std::filesystem::remove_all(r, ec);  // symbolic links are removed, never followed
    if (ec) return Fail(IoError, "File::DeleteTree> " + ec.message() + ":", path);
    return true;
}

bool File::Copy(std::string_view from, std::string_view to, bool overwrite)
{
    std::string a, b;
    if (!Resolve(from, a) || !ResolveForWriting(to, b)) return false;
    std::error_code ec;
    auto opt = overwrite ? std::filesystem::copy_options::overwrite_existing : std::filesystem::copy_options::none;
    if (!std::filesystem::copy_file(a, b, opt, ec) || ec)
        return Fail(ec == std::errc::file_exists ? AlreadyExists : IoError, "File::Copy> cannot copy", from);
    return true;
}

bool File::ReadFile(std::string_view path, std::string& out, uint64_t limit)
{
    File f;
    if (f.Open(path, ModeRead) != Ok) return false;
    return f.ReadAll(out, limit);
}

bool File::WriteFile(std::string_view path, std::string_view data)
{
    File f;
    if (f.Open(path, ModeWrite) != Ok) return false;
    bool ok = f.Write(data) && f.Flush();
    f.Close();
    return ok;
}

bool File::WriteFileReplacing(std::string_view path, std::string_view data, unsigned mode)
{
    std::string target;
    if (!ResolveForWriting(path, target)) return false;
    Platform::ReplacingFile file;
    if (!file.Create(target, O_WRONLY, mode_t(mode)))
        return FailErrno("File::WriteFileReplacing> cannot create", file.TemporaryPath());
    if (!Platform::WriteFully(file.Fd(), data.data(), data.size()) || !file.Commit())
    {
        const bool failed = FailErrno("File::WriteFileReplacing> cannot write", path);
        file.Abandon();
        return failed;
    }
    return true;
}

}  // namespace Orvo
