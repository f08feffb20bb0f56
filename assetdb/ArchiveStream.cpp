#include "assetdb/ArchiveStream.h"

#include "assetdb/ContentArchive.h"
#include "core/Crc32.h"
#include "core/TextHelpers.h"
#include "engine/ConfigFileBound.h"
#include "engine/File.h"
#include "engine/LZSS.h"
#include "engine/TextCase.h"
#include "platform/FolderWalk.h"
#include "platform/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kMaxArchiveFiles = 100000;
constexpr uint64_t kMaxArchiveFileSize = uint64_t(1) << 30;

// An entry's name as a message may show it: bytes outside printable ASCII become '?', and a long name is
// cut short.
std::string PrintableEntryName(std::string_view name)
{
    constexpr size_t kMaxShown = 80;
    std::string out;
    for (size_t i = 0; i < name.size() && i < kMaxShown; ++i)
    {
        const unsigned char ch = static_cast<unsigned char>(name[i]);
        out.push_back(ch >= 0x20 && ch < 0x7f ? char(ch) : '?');
    }
    if (name.size() > kMaxShown) out += "...";
    return out;
}

TDBTagRef StringTag(std::string_view text)
{
    ACSRawDataCore d;
    d.SetString(text);
    return TDBTagRef::NewData(d);
}

// Writes the files of a folder as the "files" container's children.
class StreamPackSink final : public ArchivePackSink
{
public:
    StreamPackSink(SoupStreamWriter& w, const Platform::OutputFile& file) : w_(w), file_(file) {}
    bool BeginFolder(std::string_view name) override { return w_.OpenContainer(name); }
    bool EndFolder() override { return w_.CloseContainer(); }
    bool AddFile(std::string_view name, const void* data, size_t size) override
    {
        return w_.WriteBinary(name, data, size);
    }
    bool IsArchiveFile(const Platform::FileIdentity& file) const override { return file_.IsOutput(file); }

private:
    SoupStreamWriter& w_;
    const Platform::OutputFile& file_;
};

Orvo::String WithPath(const char* text, const std::string& path)
{
    return Orvo::String::Format("%s%s", text, path.c_str());
}

// The checks ExportFileTree makes before anything is written, on the chunks of [begin, end).
bool CheckFilesOnDisk(SoupStreamReader& in, uint64_t begin, uint64_t end, size_t& files, Orvo::String& reason)
{
    std::set<std::string> seen;
    SoupChunkInfo c;
    for (uint64_t at = begin; at != end; at = c.end)
    {
        if (!in.ReadChunk(at, end, c))
        {
            reason = "Archive entry has no file tree";
            return false;
        }
        const std::string& name = c.name;
        if (!IsSafeArchiveFileName(name))
        {
            reason = Orvo::String::Format("Unsafe file name in archive: '%s'", name.c_str());
            return false;
        }
        if (!seen.insert(name).second)
        {
            reason = Orvo::String::Format("The archive holds the file name '%s' twice in one folder", name.c_str());
            return false;
        }
        if (c.type == kACSContainer)
        {
            if (!CheckFilesOnDisk(in, c.payloadAt, c.end, files, reason)) return false;
        }
        else if (c.type != kACSBinary)
        {
            reason = Orvo::String::Format("Archive file '%s' holds no file data", name.c_str());
            return false;
        }
        if (++files > kMaxArchiveFiles)
        {
            reason = "Too many files in archive";
            return false;
        }
    }
    return true;
}

struct ExportState
{
    SoupStreamReader& in;
    bool lzss;
    Orvo::String& reason;
    uint32_t crc = 0;
    std::unique_ptr<char[]> payload;  // a compressed file's bytes (grown as needed, never cleared first)
    size_t payloadCapacity = 0;
    std::vector<uint8_t> unpacked;
    bool textures = false;  // a texture description was written
};

// A texture description, or one a conversion cut short left under its temporary name (the conversion gives it
// its own name back): either makes the staged copy one to convert.
bool NeedsTextureConversion(std::string_view name)
{
    return IsTextureTxtName(name) || !SetAsideTextureOwnName(name).empty();
}

// A stored file is copied through this much memory at a time, read, summed and written while it is in the
// processor's cache.
constexpr size_t kCopyBlock = size_t(256) << 10;

// The bytes of the chunk's header as they stand in the file, for the checksum.
void ChecksumHeader(ExportState& s, const SoupChunkInfo& c)
{
    char head[6];
    const uint32_t size = static_cast<uint32_t>(c.end - c.at - 4);
    const uint16_t nameLen = static_cast<uint16_t>(c.name.size());
    std::memcpy(head, &size, 4);
    std::memcpy(head + 4, &nameLen, 2);
    s.crc = Crc32(head, 6, s.crc);
    s.crc = Crc32(c.name.data(), c.name.size(), s.crc);
    const char type = static_cast<char>(c.type);
    s.crc = Crc32(&type, 1, s.crc);
}

enum class Copied
{
    kOK,
    kReadFailed,
    kWriteFailed,
};

// Adds `size` bytes of the archive at `at` to the checksum and writes them to `fd` (when it is open).
Copied CopyStoredFile(ExportState& s, uint64_t at, uint64_t size, int fd)
{
    thread_local std::unique_ptr<char[]> block(new char[kCopyBlock]);
    while (size > 0)
    {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size, kCopyBlock));
        if (!s.in.ReadBytes(at, block.get(), n)) return Copied::kReadFailed;
        s.crc = Crc32(block.get(), n, s.crc);
        if (fd >= 0 && !Platform::WriteFully(fd, block.get(), n)) return Copied::kWriteFailed;
        at += n;
        size -= n;
    }
    return Copied::kOK;
}

bool IsConfigFileName(std::string_view name)
{
    return Orvo::EqualsNoCase(name, "config.txt") || Orvo::EqualsNoCase(name, "config.chump");
}

// Writes the files of [begin, end) into the open folder `dir` (`folder` is its path, for messages), each name
// exactly as the archive gives it and relative to the folder: no link is followed and no path looked up
// again. With `noConfigs`, files named as configurations are checked but not written.
bool WriteFilesOnDisk(ExportState& s, uint64_t begin, uint64_t end, int dir, const std::string& folder, bool noConfigs)
{
    SoupChunkInfo c;
    for (uint64_t at = begin; at != end; at = c.end)
    {
        // Checked before anything was written; checked again as the file may have changed since.
        if (!s.in.ReadChunk(at, end, c) || !IsSafeArchiveFileName(c.name) ||
            (c.type != kACSContainer && c.type != kACSBinary))
        {
            s.reason = WithPath("Archive file data is damaged: ", folder);
            return false;
        }
        ChecksumHeader(s, c);
        const char* name = c.name.c_str();
        if (c.type == kACSContainer)
        {
            const int sub = ::mkdirat(dir, name, 0755) != 0 && errno != EEXIST
                                ? -1
                                : ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0)
            {
                s.reason = Orvo::String::Format("Unable to create folder: %s/%s", folder.c_str(), name);
                return false;
            }
            const bool ok = WriteFilesOnDisk(s, c.payloadAt, c.end, sub, folder + "/" + c.name, false);
            ::close(sub);
            if (!ok) return false;
            continue;
        }
        const bool skipped = noConfigs && IsConfigFileName(c.name);
        const uint64_t stored = c.PayloadSize();
        if (!s.lzss)
        {
            // Stored as it is: copied a block at a time (only summed when it is left out). A file not written
            // whole is not left behind.
            int fd = -1;
            if (!skipped && (fd = ::openat(dir, name, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644)) < 0)
            {
                s.reason = WithPath("Unable to write target file: ", folder + "/" + c.name);
                return false;
            }
            Copied copied = CopyStoredFile(s, c.payloadAt, stored, fd);
            if (fd >= 0 && ::close(fd) != 0 && copied == Copied::kOK) copied = Copied::kWriteFailed;
            if (copied != Copied::kOK)
            {
                if (fd >= 0) ::unlinkat(dir, name, 0);
                s.reason = WithPath(copied == Copied::kReadFailed ? "Unable to read archive file data: "
                                                                  : "Unable to write target file: ",
                                    folder + "/" + c.name);
                return false;
            }
            if (!skipped && NeedsTextureConversion(c.name)) s.textures = true;
            continue;
        }
        const size_t size = static_cast<size_t>(stored);
        if (s.payloadCapacity < size)
        {
            s.payload.reset(new char[size]);
            s.payloadCapacity = size;
        }
        if (!s.in.ReadBytes(c.payloadAt, s.payload.get(), size))
        {
            s.reason = WithPath("Unable to read archive file data: ", folder + "/" + c.name);
            return false;
        }
        s.crc = Crc32(s.payload.get(), size, s.crc);
        if (!Orvo::LZSSCompress::Decompress(s.payload.get(), size, s.unpacked, kMaxArchiveFileSize))
        {
            s.reason = WithPath("Archive file data is damaged: ", folder + "/" + c.name);
            return false;
        }
        if (skipped) continue;
        if (NeedsTextureConversion(c.name)) s.textures = true;
        if (!Platform::WriteExactFile(
                dir, name, std::string_view(reinterpret_cast<const char*>(s.unpacked.data()), s.unpacked.size())))
        {
            s.reason = WithPath("Unable to write target file: ", folder + "/" + c.name);
            return false;
        }
    }
    return true;
}

// The files of an entry (already checked) into the folder `real`, an exact path.
bool ExportFilesInto(const ArchiveEntryOnDisk& entry, SoupStreamReader& in, bool lzss, const std::string& real,
                     bool noConfigs, Orvo::String& reason, Orvo::String& dsid, bool* textures = nullptr)
{
    const int dir = ::open(real.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
    {
        reason = Orvo::String::Format("Unable to create folder: %s", real.c_str());
        return false;
    }
    ExportState s{in, lzss, reason, 0, {}, 0, {}, false};
    const bool ok = WriteFilesOnDisk(s, in.Begin(), in.End(), dir, real, noConfigs);
    ::close(dir);
    if (!ok) return false;
    dsid = FormatArchiveDSID(s.crc, entry.filesSize);
    if (textures) *textures = s.textures;
    return true;
}

// "none" or "lzss"; false with the reason for anything else.
bool ReadCompression(std::string_view compression, bool& lzss, Orvo::String& reason)
{
    const bool none = compression.empty() || Orvo::EqualsNoCase(compression, "none");
    lzss = Orvo::EqualsNoCase(compression, "lzss");
    if (none || lzss) return true;
    reason = Orvo::String::Format("Unknown archive compression '%.*s'", int(compression.size()), compression.data());
    return false;
}

}  // namespace

// ---- writing ----

ContentArchiveWriter::ContentArchiveWriter() = default;

ContentArchiveWriter::~ContentArchiveWriter() = default;  // an unfinished archive's temporary goes

bool ContentArchiveWriter::Failed(Orvo::String& result, const char* why)
{
    if (why == nullptr && errno != 0) why = std::strerror(errno);
    result = why != nullptr ? Orvo::String::Format("Unable to write archive file: %s (%s)", path_.c_str(), why)
                            : Orvo::String::Format("Unable to write archive file: %s", path_.c_str());
    writer_.reset();
    file_.Abandon();
    return false;
}

bool ContentArchiveWriter::Open(Orvo::String& result, const Orvo::File::Path& path)
{
    result = Orvo::String();
    path_ = path;
    if (!path.IsExt("cdp"))
    {
        result = kCDPNeedsExtensionText;
        return false;
    }
    errno = 0;
    std::string target;
    // A temporary of its own for every save: two saves of one file at once must not write into each other's.
    if (!Orvo::File::ResolveForWriting(path.View(), target)) return Failed(result);
    // As any output the user names: a file of their own is replaced by Finish, anything else it may write is
    // written only then (platform/OutputFile.h). Sizes are filled in after their containers, at offsets.
    if (!file_.Open(target, 0644, Platform::OutputFile::Access::kPositioned))
        return Failed(result, file_.Reason().c_str());
    writer_ = std::make_unique<SoupStreamWriter>(file_.Fd());
    if (!writer_->BeginFile() || !writer_->OpenContainer("assets")) return Failed(result);
    return true;
}

bool ContentArchiveWriter::AddAsset(Orvo::String& result, const TDBTagRef& entry)
{
    result = Orvo::String();
    if (!writer_) return Failed(result);
    const KUID kuid = entry.GetChildKUID("kuid");
    if (!entry.IsContainer() || kuid.IsNull())
    {
        result = "Archive entry has no asset KUID";
        return false;
    }
    const std::string key = kuid.ToString();
    if (keys_.count(kuid))
    {
        result = Orvo::String::Format("Asset %s is already in the archive", key.c_str());
        return false;
    }
    errno = 0;
    bool ok = writer_->OpenContainer(key);
    for (size_t i = 0; ok && i < entry.GetChildCount(); ++i)
        ok = writer_->WriteTag(entry.GetChildName(i).View(), entry.GetChildAt(i));
    if (!ok || !writer_->CloseContainer()) return Failed(result);
    keys_.insert(kuid);
    table_.emplace_back(kuid, std::string(GetAssetDisplayName(entry).View()));
    thumbnailLast_ = false;
    return true;
}

bool ContentArchiveWriter::AddFolder(Orvo::String& result, const KUID& kuid, const Orvo::File::Path& folder,
                                     bool compress, std::vector<std::string>* leftOut)
{
    result = Orvo::String();
    if (leftOut) leftOut->clear();
    if (!writer_) return Failed(result);
    // Not interned: a package of many assets would fill the string table with names used once.
    const std::string key = kuid.ToString();
    if (kuid.IsNull() || keys_.count(kuid))
    {
        result = kuid.IsNull() ? Orvo::String("Archive entry has no asset KUID")
                               : Orvo::String::Format("Asset %s is already in the archive", key.c_str());
        return false;
    }
    // The folder is opened once for its config and its files.
    Platform::Folder dir;
    TDBTagRef config;
    if (!OpenPackableFolder(folder, dir))
    {
        result = Orvo::String::Format("Unable to read the asset config in: %s", folder.c_str());
        return false;
    }
    Platform::FileIdentity configFile;
    if (!LoadPackableAssetConfig(folder, dir, config, result, &configFile)) return false;
    if (file_.IsOutput(configFile))
    {
        result = Orvo::String::Format("Unable to pack the asset config in: %s (the archive would be written over it)",
                                      folder.c_str());
        return false;
    }
    // The daemon's entry has the asset's own KUID: set (which moves the tag to the end) when the config differs.
    const bool kuidLast = config.GetChildKUID("kuid") != kuid;
    if (kuidLast) config.RemoveChild("kuid");

    errno = 0;
    SoupStreamWriter& w = *writer_;
    bool ok = w.OpenContainer(key);
    for (size_t i = 0; ok && i < config.GetChildCount(); ++i)
        ok = w.WriteTag(config.GetChildName(i).View(), config.GetChildAt(i));
    uint32_t crc = 0;
    uint64_t size = 0;
    if (ok && w.OpenContainer("files", true))
    {
        StreamPackSink sink(w, file_);
        if (!PackArchiveFolder(folder, dir, compress, sink, result, leftOut))
        {
            // The archive cannot be finished now: part of the entry is written.
            if (result.IsEmpty()) Failed(result);
            writer_.reset();
            return false;
        }
        ok = w.CloseContainer(&crc, &size);
    }
    else
        ok = false;
    ok = ok && w.WriteTag("compression", StringTag(compress ? "lzss" : "none"));
    ok = ok && w.WriteTag("dsid", StringTag(FormatArchiveDSID(crc, size).View()));
    if (ok && kuidLast)
    {
        ACSRawDataCore d;
        d.SetKUID(kuid);
        ok = w.WriteTag("kuid", TDBTagRef::NewData(d));
    }
    if (!ok || !w.CloseContainer()) return Failed(result);
    keys_.insert(kuid);
    table_.emplace_back(kuid, std::string(GetAssetDisplayName(config).View()));
    thumbnailLast_ = false;
    return true;
}

bool ContentArchiveWriter::AddEntryOnDisk(Orvo::String& result, const ArchiveEntryOnDisk& entry)
{
    result = Orvo::String();
    if (!writer_) return Failed(result);
    const KUID kuid = entry.entry.GetChildKUID("kuid");
    if (!entry.entry.IsContainer() || kuid.IsNull())
    {
        result = "Archive entry has no asset KUID";
        return false;
    }
    const std::string key = kuid.ToString();
    if (keys_.count(kuid))
    {
        result = Orvo::String::Format("Asset %s is already in the archive", key.c_str());
        return false;
    }
    errno = 0;
    if (!writer_->OpenContainer(key) || !writer_->CopyBytes(entry.fd, entry.bodyAt, entry.bodySize) ||
        !writer_->CloseContainer())
        return Failed(result);
    keys_.insert(kuid);
    table_.emplace_back(kuid, std::string(GetAssetDisplayName(entry.entry).View()));
    thumbnailLast_ = false;
    return true;
}

void ContentArchiveWriter::SetThumbnail(const void* data, size_t size)
{
    thumbnail_.assign(static_cast<const char*>(data), size);
    hasThumbnail_ = true;
    thumbnailLast_ = true;
}

bool ContentArchiveWriter::Finish(Orvo::String& result)
{
    result = Orvo::String();
    if (!writer_) return Failed(result);
    errno = 0;
    SoupStreamWriter& w = *writer_;
    bool ok = w.CloseContainer();
    // ContentArchive keeps the contents table after the picture when an asset came after the picture.
    auto table = [&] {
        ok = ok && w.OpenContainer("contents-table");
        for (const auto& [kuid, name] : table_) ok = ok && w.WriteTag(KUID::ToText(kuid).View(), StringTag(name));
        ok = ok && w.CloseContainer();
    };
    auto picture = [&] {
        if (hasThumbnail_) ok = ok && w.WriteBinary("thumbnail", thumbnail_.data(), thumbnail_.size());
    };
    if (thumbnailLast_ || table_.empty())
    {
        table();
        picture();
    }
    else
    {
        picture();
        table();
    }
    ok = ok && w.EndFile() && ::ftruncate(file_.Fd(), static_cast<off_t>(w.Position())) == 0;
    if (!ok) return Failed(result);
    writer_.reset();
    return file_.Commit() || Failed(result, file_.Reason().c_str());
}

// ---- reading ----

ContentArchiveFile::~ContentArchiveFile()
{
    if (fd_ >= 0) ::close(fd_);
}

int ContentArchiveFile::ReleaseFd()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool ContentArchiveFile::Open(Orvo::String& result, const std::string& path)
{
    result = Orvo::String();
    entries_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    std::string real;
    struct stat st;
    // Not waiting for a writer when the name is a pipe: only a regular file is taken.
    if (!Orvo::File::Resolve(path, real) || (fd_ = ::open(real.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) < 0 ||
        ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
    {
        result = kCDPUnreadableText;
        return false;
    }
    SoupStreamReader in(fd_, 0, static_cast<uint64_t>(st.st_size));
    uint64_t bodyAt = 0;
    switch (CheckSoupBinaryHeader(in, bodyAt))
    {
    case SoupBinaryResult::kOK: break;
    case SoupBinaryResult::kNotValid: result = kCDPNotValidText; return false;
    case SoupBinaryResult::kDamaged: result = kCDPDamagedText; return false;
    case SoupBinaryResult::kNewerVersion: result = kCDPNewerVersionText; return false;
    }
    if (!in.CheckChunks(bodyAt, in.End()))
    {
        result = kCDPDamagedText;
        return false;
    }
    // The shape every reader of an archive relies on: "assets" (the first tag of that name) a container of
    // containers; "contents-table" absent or a container.
    SoupChunkInfo c, assets, table;
    bool haveAssets = false, haveTable = false;
    // The chunks were checked above, but the file may change under the reader: every read is checked again.
    for (uint64_t at = bodyAt; at != in.End(); at = c.end)
    {
        if (!in.ReadChunk(at, in.End(), c))
        {
            result = kCDPDamagedText;
            return false;
        }
        if (!haveAssets && Orvo::EqualsNoCase(c.name, "assets")) haveAssets = true, assets = c;
        if (!haveTable && Orvo::EqualsNoCase(c.name, "contents-table")) haveTable = true, table = c;
    }
    if (!haveAssets || assets.type != kACSContainer || (haveTable && table.type != kACSContainer))
    {
        result = kCDPNotValidText;
        return false;
    }
    withoutKUID_.clear();
    withoutKUIDCount_ = 0;
    for (uint64_t at = assets.payloadAt; at != assets.end; at = c.end)
    {
        if (!in.ReadChunk(at, assets.end, c))
        {
            entries_.clear();
            result = kCDPDamagedText;
            return false;
        }
        if (c.type != kACSContainer)
        {
            entries_.clear();
            result = kCDPNotValidText;
            return false;
        }
        // The entry's KUID: its first tag named "kuid", read as GetChildKUID reads it.
        SoupChunkInfo tag;
        KUID kuid = KUID::Null();
        for (uint64_t t = c.payloadAt; t != c.end; t = tag.end)
        {
            if (!in.ReadChunk(t, c.end, tag))
            {
                entries_.clear();
                result = kCDPDamagedText;
                return false;
            }
            if (!Orvo::EqualsNoCase(tag.name, "kuid")) continue;
            TDBTagRef holder;
            if (in.ReadChunkAsTree(tag, holder)) kuid = holder.GetChildKUID("kuid");
            break;
        }
        if (!kuid.IsNull())
            entries_.push_back({kuid, c.payloadAt, c.PayloadSize()});
        else if (withoutKUIDCount_++ < kMaxNamedEntries)
            withoutKUID_.push_back(PrintableEntryName(c.name));
    }
    return true;
}

bool ReadArchiveEntryOnDisk(int fd, uint64_t bodyAt, uint64_t bodySize, ArchiveEntryOnDisk& out)
{
    out = ArchiveEntryOnDisk();
    out.fd = fd;
    out.bodyAt = bodyAt;
    out.bodySize = bodySize;
    SoupStreamReader in(fd, bodyAt, bodyAt + bodySize);
    TDBTagRef entry = TDBTagRef::NewContainer();
    bool filesSeen = false;
    uint64_t configBytes = 0;
    SoupChunkInfo c;
    for (uint64_t at = bodyAt; at != in.End(); at = c.end)
    {
        if (!in.ReadChunk(at, in.End(), c)) return false;
        if (Orvo::EqualsNoCase(c.name, "files"))
        {
            // The first "files" is the entry's file tree when it is a container; a later one is never read.
            if (filesSeen) continue;
            filesSeen = true;
            if (c.type == kACSContainer)
            {
                out.hasFiles = true;
                out.filesAt = c.payloadAt;
                out.filesSize = c.PayloadSize();
                continue;
            }
        }
        // The configuration is read into memory whole: it is bounded as a configuration file is.
        configBytes += c.end - at;
        if (configBytes > Orvo::kMaxConfigFileBytes)
        {
            out.configTooLarge = true;
            return false;
        }
        TDBTagRef holder;
        if (!in.ReadChunkAsTree(c, holder) || holder.GetChildCount() != 1) return false;
        entry.AddChildTag(holder.GetChildName(0).View(), holder.GetChildAt(0));
    }
    Orvo::NoteConfigLoad(configBytes);
    out.entry = entry;
    return true;
}

bool LoadArchiveEntryFiles(ArchiveEntryOnDisk& entry)
{
    if (!entry.hasFiles) return true;
    SoupStreamReader in(entry.fd, entry.filesAt, entry.filesAt + entry.filesSize);
    std::string bytes;
    TDBTagRef files;
    if (!in.ReadBytes(entry.filesAt, static_cast<size_t>(entry.filesSize), bytes) ||
        ReadSoupBinaryBody(bytes.data(), bytes.size(), files) != SoupBinaryResult::kOK)
        return false;
    entry.entry.SetChildTag("files", files);
    entry.hasFiles = false;
    return true;
}

Orvo::String FormatArchiveDSID(uint32_t crc, uint64_t length)
{
    return Orvo::String::Format("%d:%d", static_cast<int32_t>(crc), static_cast<int32_t>(length));
}

bool ExportFileTreeOnDisk(const ArchiveEntryOnDisk& entry, const Orvo::File::Path& folder, std::string_view compression,
                          Orvo::String& reason, Orvo::String& dsid)
{
    reason = Orvo::String();
    bool lzss = false;
    if (!ReadCompression(compression, lzss, reason)) return false;
    if (folder.IsEmpty())
    {
        reason = "No target folder";
        return false;
    }
    if (!entry.hasFiles)
    {
        dsid = FormatArchiveDSID(0, 0);
        return Orvo::File::Md(folder.View()) ? true : (reason = "Unable to create folder", false);
    }
    SoupStreamReader in(entry.fd, entry.filesAt, entry.filesAt + entry.filesSize);
    size_t count = 0;
    if (!CheckFilesOnDisk(in, in.Begin(), in.End(), count, reason)) return false;
    std::string real;
    if (!Orvo::File::Md(folder.View()) || !Orvo::File::ResolveForWriting(folder.View(), real))
    {
        reason = Orvo::String::Format("Unable to create folder: %s", folder.c_str());
        return false;
    }
    return ExportFilesInto(entry, in, lzss, real, false, reason, dsid);
}

bool StageArchiveFilesOnDisk(const ArchiveEntryOnDisk& entry, const std::string& folder, std::string_view compression,
                             Orvo::String& reason, Orvo::String& dsid, bool* textures)
{
    if (textures) *textures = false;
    reason = Orvo::String();
    bool lzss = false;
    if (!ReadCompression(compression, lzss, reason)) return false;
    if (folder.empty())
    {
        reason = "No target folder";
        return false;
    }
    SoupStreamReader in(entry.fd, entry.filesAt, entry.filesAt + entry.filesSize);
    size_t count = 0;
    if (entry.hasFiles && !CheckFilesOnDisk(in, in.Begin(), in.End(), count, reason)) return false;
    if (::mkdir(folder.c_str(), 0700) != 0)
    {
        reason = Orvo::String::Format("Unable to create folder: %s (%s)", folder.c_str(), std::strerror(errno));
        return false;
    }
    if (!entry.hasFiles)
    {
        dsid = FormatArchiveDSID(0, 0);
        return true;
    }
    return ExportFilesInto(entry, in, lzss, folder, true, reason, dsid, textures);
}

bool WriteNewFileExact(const std::string& path, std::string_view bytes)
{
    return Platform::WriteExactFile(path, bytes, true);
}
