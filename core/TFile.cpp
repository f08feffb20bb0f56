#include "core/TFile.h"

#include "engine/File.h"

#include <sys/stat.h>

bool TFile::Open(const std::string& path, Mode mode)
{
    Close();
    ClearError();
    const char* m = mode == kRead ? "rb" : mode == kWrite ? "w+b" : "r+b";
    // The engine's resolver applies substitutions, and finds a file to read named in another case; a file to
    // write is the one the system finds for the path, or a new one of exactly that name.
    std::string resolved;
    if (mode == kRead ? Orvo::File::Resolve(path, resolved) : Orvo::File::ResolveForWriting(path, resolved))
        file_ = std::fopen(resolved.c_str(), m);
    if (file_)
    {
        // Refuse folders: fopen succeeds on them for reading on Linux.
        struct stat st;
        if (fstat(fileno(file_), &st) != 0 || S_ISDIR(st.st_mode))
        {
            std::fclose(file_);
            file_ = nullptr;
        }
    }
    if (!file_)
    {
        SetError(kStreamOpenFailed);
        return false;
    }
    return true;
}

bool TFile::Close()
{
    if (!file_) return true;
    bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok) Failed(kStreamWriteFailed);
    return ok;
}

bool TFile::Flush() { return file_ && std::fflush(file_) == 0; }

size_t TFile::Read(void* dst, size_t n)
{
    if (!file_ || n == 0) return 0;
    // C streams need a positioning call between a write and a read.
    if (lastWasWrite_) std::fseek(file_, 0, SEEK_CUR);
    lastWasWrite_ = false;
    lastWasRead_ = true;
    return std::fread(dst, 1, n, file_);
}

size_t TFile::Write(const void* src, size_t n)
{
    if (!file_ || n == 0) return 0;
    if (lastWasRead_) std::fseek(file_, 0, SEEK_CUR);
    lastWasRead_ = false;
    lastWasWrite_ = true;
    return std::fwrite(src, 1, n, file_);
}

bool TFile::Seek(uint64_t pos)
{
    if (!file_ || pos > static_cast<uint64_t>(INT64_MAX)) return false;
    lastWasRead_ = lastWasWrite_ = false;
    return fseeko(file_, static_cast<off_t>(pos), SEEK_SET) == 0;
}

uint64_t TFile::Tell() const
{
    if (!file_) return 0;
    off_t p = ftello(file_);
    return p < 0 ? 0 : static_cast<uint64_t>(p);
}

uint64_t TFile::Size() const
{
    if (!file_) return 0;
    if (lastWasWrite_) std::fflush(file_);
    struct stat st;
    if (fstat(fileno(file_), &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}
