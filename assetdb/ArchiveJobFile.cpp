#include "assetdb/ArchiveJobFile.h"

#include "assetdb/ArchiveStream.h"
#include "core/SoupBinary.h"
#include "core/SoupBinaryStream.h"
#include "core/TFile.h"
#include "engine/File.h"
#include "platform/FileWriting.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

bool WriteArchiveJobHeader(TStream& out, uint32_t archiveId)
{
    float f;
    std::memcpy(&f, &kArchiveJobFloatBits, 4);
    bool ok = out.WriteUInt32(kArchiveJobMagic) && out.WriteUInt32(kArchiveJobVersion) && out.WriteFloat(f);
    ok = ok && out.BeginLengthBlock() == kArchiveJobEndOffsetAt;
    return ok && out.WriteUInt32(archiveId);
}

bool FinishArchiveJobHeader(TStream& out)
{
    uint64_t end = out.Tell();
    if (end > UINT32_MAX) return false;
    return out.WriteUInt32At(kArchiveJobEndOffsetAt, static_cast<uint32_t>(end));
}

bool WriteArchiveJobBody(TStream& out, const ArchiveJobContents& contents)
{
    if (contents.kuids.size() != contents.entries.size() || contents.kuids.size() > UINT32_MAX) return false;
    bool ok = out.WriteUInt32(static_cast<uint32_t>(contents.kuids.size()));
    for (const KUID& k : contents.kuids) ok = ok && out.WriteKUID(k);
    for (const TDBTagRef& entry : contents.entries)
    {
        if (!ok) break;
        if (entry.IsNull())
        {
            ok = out.WriteUInt32(0);
            continue;
        }
        std::string bytes;
        if (!WriteSoupBinary(entry, bytes) || bytes.size() > UINT32_MAX) return false;
        ok = out.WriteUInt32(static_cast<uint32_t>(bytes.size())) && out.WriteExact(bytes.data(), bytes.size());
    }
    return ok && !out.HasError();
}

bool ReadArchiveJobFile(const Orvo::File::Path& path, uint32_t archiveId, ArchiveJobContents& out, Orvo::String& reason)
{
    out = ArchiveJobContents();
    TFile in(path.str(), TFile::kRead);
    if (!in.IsOpen())
    {
        reason = Orvo::String::Format("Unable to open archive file: %s", path.c_str());
        return false;
    }
    const uint64_t size = in.Size();
    uint32_t magic = in.ReadUInt32(), version = in.ReadUInt32();
    if (!in.HasError() && std::memcmp(&magic, "ACS$", 4) == 0)
    {
        // The package an install job names: its entries read whole, as a job file's would be.
        in.Close();
        ArchiveJobReader package;
        if (!package.Open(path, archiveId, reason)) return false;
        ArchiveJobContents read;
        read.kuids = package.Kuids();
        for (size_t i = 0; i < read.kuids.size(); ++i)
        {
            ArchiveEntryOnDisk entry;
            if (!package.ReadEntry(i, entry) || !LoadArchiveEntryFiles(entry))
            {
                reason = Orvo::String::Format("Archive job file holds a damaged entry: %s", path.c_str());
                return false;
            }
            read.entries.push_back(entry.entry);
        }
        out = std::move(read);
        return true;
    }
    in.ReadUInt32();  // the constant 3.7, not checked
    uint32_t end = in.ReadUInt32(), id = in.ReadUInt32();
    if (in.HasError() || magic != kArchiveJobMagic)
    {
        reason = Orvo::String::Format("Not an archive job file: %s", path.c_str());
        return false;
    }
    if (version != kArchiveJobVersion)
    {
        reason = Orvo::String::Format("Unsupported archive job file version %u: %s", version, path.c_str());
        return false;
    }
    if (end != size)
    {
        reason = Orvo::String::Format("Archive job file is incomplete: %s", path.c_str());
        return false;
    }
    if (id != archiveId)
    {
        reason =
            Orvo::String::Format("Archive job file belongs to archive %u, not %u: %s", id, archiveId, path.c_str());
        return false;
    }
    uint32_t n = in.ReadUInt32();
    // Each KUID takes 8 bytes and its entry at least the 4-byte size.
    if (in.HasError() || n > in.Remaining() / 12)
    {
        reason = Orvo::String::Format("Archive job file is damaged: %s", path.c_str());
        return false;
    }
    ArchiveJobContents read;
    read.kuids.reserve(n);
    for (uint32_t i = 0; i < n; ++i) read.kuids.push_back(in.ReadKUID());
    for (uint32_t i = 0; i < n && !in.HasError(); ++i)
    {
        uint32_t entrySize = in.ReadUInt32();
        TDBTagRef entry;
        if (entrySize > 0 &&
            (entrySize > in.Remaining() || ReadSoupBinary(in, entrySize, entry) != SoupBinaryResult::kOK))
        {
            reason = Orvo::String::Format("Archive job file holds a damaged entry: %s", path.c_str());
            return false;
        }
        read.entries.push_back(entry);
    }
    if (in.HasError() || in.Tell() != size)
    {
        reason = Orvo::String::Format("Archive job file is damaged: %s", path.c_str());
        return false;
    }
    out = std::move(read);
    return true;
}

namespace {

void PutU32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }

// Copies `size` bytes at `from` of one file to the end of another, in the kernel where it can.
bool CopyRange(int fromFd, uint64_t from, int toFd, uint64_t size)
{
    off_t in = static_cast<off_t>(from);
    while (size > 0)
    {
        const ssize_t n =
            ::copy_file_range(fromFd, &in, toFd, nullptr, static_cast<size_t>(std::min<uint64_t>(size, 1u << 30)), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        size -= static_cast<uint64_t>(n);
    }
    if (size == 0) return true;
    // Where the kernel cannot copy between these files, through a buffer.
    std::vector<char> block(1 << 20);
    while (size > 0)
    {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(size, block.size()));
        const ssize_t n = ::pread(fromFd, block.data(), want, in);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || !Platform::WriteFully(toFd, block.data(), static_cast<size_t>(n))) return false;
        in += n;
        size -= static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace

bool WriteArchiveJobFromArchive(const std::string& path, uint32_t archiveId, const ContentArchiveFile& archive)
{
    const std::vector<ArchiveFileEntry>& entries = archive.Entries();
    // A name of the daemon's own: whatever stands there (a leftover) goes, and the file is made afresh, for
    // the owner only.
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::string head;
    float f;
    std::memcpy(&f, &kArchiveJobFloatBits, 4);
    uint32_t fbits;
    std::memcpy(&fbits, &f, 4);
    PutU32(head, kArchiveJobMagic);
    PutU32(head, kArchiveJobVersion);
    PutU32(head, fbits);
    PutU32(head, TStream::kLengthBlockPlaceholder);
    PutU32(head, archiveId);
    bool ok = entries.size() <= UINT32_MAX;
    PutU32(head, static_cast<uint32_t>(entries.size()));
    for (const ArchiveFileEntry& e : entries)
    {
        PutU32(head, e.kuid.StreamWord0());
        PutU32(head, e.kuid.StreamWord1());
    }
    uint64_t total = head.size();
    ok = ok && Platform::WriteFully(fd, head.data(), head.size());
    for (const ArchiveFileEntry& e : entries)
    {
        if (!ok) break;
        // Each entry as a whole binary soup: its size, the 16-byte header, the body as the archive holds it.
        const uint64_t size = kSoupBinaryHeaderSize + e.bodySize;
        if (size > UINT32_MAX)
        {
            ok = false;
            break;
        }
        std::string entryHead;
        PutU32(entryHead, static_cast<uint32_t>(size));
        entryHead.append("ACS$", 4);
        PutU32(entryHead, kSoupBinaryVersion);
        PutU32(entryHead, 0);
        PutU32(entryHead, static_cast<uint32_t>(e.bodySize));
        ok = Platform::WriteFully(fd, entryHead.data(), entryHead.size()) &&
             CopyRange(archive.Fd(), e.bodyAt, fd, e.bodySize);
        total += entryHead.size() + e.bodySize;
    }
    ok = ok && total <= UINT32_MAX;
    const uint32_t end = static_cast<uint32_t>(total);
    ok = ok && ::pwrite(fd, &end, 4, static_cast<off_t>(kArchiveJobEndOffsetAt)) == 4;
    ok = ::close(fd) == 0 && ok;
    if (!ok) ::unlink(path.c_str());
    return ok;
}

ArchiveJobReader::~ArchiveJobReader()
{
    if (fd_ >= 0) ::close(fd_);
}

bool ArchiveJobReader::Open(const Orvo::File::Path& path, uint32_t archiveId, Orvo::String& reason)
{
    kuids_.clear();
    bodies_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    std::string real;
    struct stat st;
    // A job may name the user's package: a pipe or other special file there is not waited on, nor read.
    if (!Orvo::File::Resolve(path.View(), real) ||
        (fd_ = ::open(real.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) < 0 || ::fstat(fd_, &st) != 0 ||
        !S_ISREG(st.st_mode))
    {
        reason = Orvo::String::Format("Unable to open archive file: %s", path.c_str());
        return false;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    SoupStreamReader in(fd_, 0, size);
    uint32_t head[5];
    if (size >= 4 && in.ReadBytes(0, head, 4) && std::memcmp(head, "ACS$", 4) == 0) return OpenPackage(real, reason);
    if (!in.ReadBytes(0, head, sizeof head) || head[0] != kArchiveJobMagic)
    {
        reason = Orvo::String::Format("Not an archive job file: %s", path.c_str());
        return false;
    }
    if (head[1] != kArchiveJobVersion)
    {
        reason = Orvo::String::Format("Unsupported archive job file version %u: %s", head[1], path.c_str());
        return false;
    }
    if (head[3] != size)
    {
        reason = Orvo::String::Format("Archive job file is incomplete: %s", path.c_str());
        return false;
    }
    if (head[4] != archiveId)
    {
        reason = Orvo::String::Format("Archive job file belongs to archive %u, not %u: %s", head[4], archiveId,
                                      path.c_str());
        return false;
    }
    const Orvo::String damaged = Orvo::String::Format("Archive job file is damaged: %s", path.c_str());
    uint64_t at = kArchiveJobHeaderSize;
    uint32_t n = 0;
    // Each KUID takes 8 bytes and its entry at least the 4-byte size.
    if (!in.ReadBytes(at, &n, 4) || n > (size - at - 4) / 12)
    {
        reason = damaged;
        return false;
    }
    at += 4;
    std::vector<uint32_t> words(size_t(n) * 2);
    if (n > 0 && !in.ReadBytes(at, words.data(), words.size() * 4))
    {
        reason = damaged;
        return false;
    }
    at += uint64_t(n) * 8;
    kuids_.reserve(n);
    for (uint32_t i = 0; i < n; ++i) kuids_.push_back(KUID::FromStreamWords(words[2 * i], words[2 * i + 1]));
    bodies_.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
    {
        uint32_t entrySize = 0;
        if (!in.ReadBytes(at, &entrySize, 4))
        {
            reason = damaged;
            return false;
        }
        at += 4;
        if (entrySize == 0)
        {
            bodies_.emplace_back(0, 0);
            continue;
        }
        uint64_t bodyAt = 0;
        bool whole = entrySize <= size - at;
        if (whole)
        {
            SoupStreamReader entry(fd_, at, at + entrySize);
            whole =
                CheckSoupBinaryHeader(entry, bodyAt) == SoupBinaryResult::kOK && entry.CheckChunks(bodyAt, entry.End());
        }
        if (!whole)
        {
            reason = Orvo::String::Format("Archive job file holds a damaged entry: %s", path.c_str());
            kuids_.clear();
            bodies_.clear();
            return false;
        }
        bodies_.emplace_back(bodyAt, at + entrySize - bodyAt);
        at += entrySize;
    }
    if (at != size)
    {
        reason = damaged;
        kuids_.clear();
        bodies_.clear();
        return false;
    }
    return true;
}

bool ArchiveJobReader::OpenPackage(const std::string& real, Orvo::String& reason)
{
    ::close(fd_);
    fd_ = -1;
    ContentArchiveFile archive;
    Orvo::String result;
    if (!archive.Open(result, real))
    {
        reason = Orvo::String::Format("%s: %s", result.c_str(), real.c_str());
        return false;
    }
    fd_ = archive.ReleaseFd();
    kuids_.reserve(archive.Entries().size());
    bodies_.reserve(archive.Entries().size());
    for (const ArchiveFileEntry& e : archive.Entries())
    {
        kuids_.push_back(e.kuid);
        bodies_.emplace_back(e.bodyAt, e.bodySize);
    }
    return true;
}

bool ArchiveJobReader::ReadEntry(size_t index, ArchiveEntryOnDisk& out) const
{
    out = ArchiveEntryOnDisk();
    if (index >= bodies_.size() || bodies_[index].first == 0) return false;
    return ReadArchiveEntryOnDisk(fd_, bodies_[index].first, bodies_[index].second, out);
}
