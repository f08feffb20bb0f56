#include "assetdb/ArchiveEntry.h"

#include "core/ConfigFile.h"
#include "core/Crc32.h"
#include "core/SoupBinary.h"
#include "core/TextHelpers.h"
#include "engine/ConfigFileBound.h"
#include "engine/File.h"
#include "engine/LZSS.h"
#include "engine/TextCase.h"
#include "platform/FileWriting.h"
#include "platform/FolderWalk.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kCopyBlock = size_t(1) << 20;
// A file inside an archive: the LZSS block's u32 size bounds it anyway; this keeps memory sane.
constexpr uint64_t kMaxArchiveFileSize = uint64_t(1) << 30;
constexpr size_t kMaxArchiveFiles = 100000;

enum class Compression
{
    kNone,
    kLZSS,
    kUnknown
};

Compression ParseCompression(std::string_view text)
{
    if (text.empty() || Orvo::EqualsNoCase(text, "none")) return Compression::kNone;
    if (Orvo::EqualsNoCase(text, "lzss")) return Compression::kLZSS;
    return Compression::kUnknown;
}

Orvo::String WithPath(const char* text, const Orvo::File::Path& path)
{
    Orvo::String out(text);
    ExpandTextMacro(out, "FILEPATH", path.View());
    return out;
}

// Checks the whole tree before anything is written: names, types, counts. Names that differ only in case
// are two files (as in a folder); the same name twice in one folder could only keep one of them.
bool CheckFileTree(const TDBTagRef& node, size_t& files, Orvo::String& reason)
{
    std::set<std::string_view> seen;
    for (size_t i = 0; i < node.GetChildCount(); ++i)
    {
        std::string_view name = node.GetChildName(i).View();
        if (!IsSafeArchiveFileName(name))
        {
            reason = Orvo::String::Format("Unsafe file name in archive: '%.*s'", int(name.size()), name.data());
            return false;
        }
        if (!seen.insert(name).second)
        {
            reason = Orvo::String::Format("The archive holds the file name '%.*s' twice in one folder",
                                          int(name.size()), name.data());
            return false;
        }
        TDBTagRef child = node.GetChildAt(i);
        if (child.IsContainer())
        {
            if (!CheckFileTree(child, files, reason)) return false;
        }
        else if (child.GetType() != kACSBinary)
        {
            reason = Orvo::String::Format("Archive file '%.*s' holds no file data", int(name.size()), name.data());
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

// The bytes of one file entry: binary data, decompressed when the compression says so. `unpacked` holds
// them when they had to be decompressed.
bool ArchiveFileBytes(const TDBTagRef& file, Compression compression, const Orvo::File::Path& target,
                      std::vector<uint8_t>& unpacked, std::string_view& bytes, Orvo::String& result)
{
    const ACSRawDataCore* data = file.GetData();
    if (file.GetType() != kACSBinary || !data)
    {
        result = WithPath("Archive file holds no file data: $(FILEPATH)", target);
        return false;
    }
    bytes = data->GetString();
    switch (compression)
    {
    case Compression::kLZSS:
        if (!Orvo::LZSSCompress::Decompress(bytes.data(), bytes.size(), unpacked, kMaxArchiveFileSize))
        {
            result = WithPath("Archive file data is damaged: $(FILEPATH)", target);
            return false;
        }
        bytes = std::string_view(reinterpret_cast<const char*>(unpacked.data()), unpacked.size());
        break;
    case Compression::kNone: break;
    case Compression::kUnknown: result = WithPath("Unknown archive compression for: $(FILEPATH)", target); return false;
    }
    if (bytes.empty()) bytes = std::string_view("", 0);  // an empty vector's data() may be null
    return true;
}

// Below the (resolved) target folder every name is taken exactly as the archive gives it, as a folder copy
// would: "Case.txt" and "case.txt" are two files.
bool WriteFileTree(const TDBTagRef& node, const std::string& folder, Compression compression, Orvo::String& reason)
{
    for (size_t i = 0; i < node.GetChildCount(); ++i)
    {
        const std::string target = folder + "/" + std::string(node.GetChildName(i).View());
        TDBTagRef child = node.GetChildAt(i);
        if (child.IsContainer())
        {
            struct stat st;
            if ((::mkdir(target.c_str(), 0755) != 0 && errno != EEXIST) || ::lstat(target.c_str(), &st) != 0 ||
                !S_ISDIR(st.st_mode))
            {
                reason = Orvo::String::Format("Unable to create folder: %s", target.c_str());
                return false;
            }
            if (!WriteFileTree(child, target, compression, reason)) return false;
            continue;
        }
        std::vector<uint8_t> unpacked;
        std::string_view bytes;
        const Orvo::File::Path path(target);
        if (!ArchiveFileBytes(child, compression, path, unpacked, bytes, reason)) return false;
        if (!Platform::WriteExactFile(target, bytes))  // exactly there: no case-insensitive match, no link
        {
            reason = WithPath("Unable to write target file: $(FILEPATH)", path);
            return false;
        }
    }
    return true;
}

// Builds the "files" tree of an entry.
class TreePackSink final : public ArchivePackSink
{
public:
    explicit TreePackSink(TDBTagRef files) { stack_.push_back(std::move(files)); }
    bool BeginFolder(std::string_view name) override
    {
        stack_.push_back(stack_.back().CreateChildContainer(name));
        return true;
    }
    bool EndFolder() override
    {
        stack_.pop_back();
        return true;
    }
    bool AddFile(std::string_view name, const void* data, size_t size) override
    {
        ACSRawDataCore value;
        value.SetBinary(data, size);
        return stack_.back().AddChildTag(name, TDBTagRef::NewData(value));
    }

private:
    std::vector<TDBTagRef> stack_;
};

// Packs what a walk of the folder hands on into the sink: entries in name order, each file read from the
// descriptor the walk opened; links and special files left out; the folder's own config files left out at
// the top.
class FolderPacker : public Platform::FolderVisitor
{
public:
    FolderPacker(const Orvo::File::Path& folder, bool compress, ArchivePackSink& sink,
                 std::vector<std::string>* leftOut, Orvo::String& reason)
        : folder_(folder), compress_(compress), sink_(sink), leftOut_(leftOut), reason_(reason)
    {}

    Orvo::File::Path PathOf(const std::string& relative) const
    {
        Orvo::File::Path path = folder_;
        if (!relative.empty()) path.AddPath(relative);
        return path;
    }
    Want Wanted(const std::string& folder, const Platform::FolderEntry& e) override
    {
        if (folder.empty() && e.type != Platform::EntryType::kFolder &&
            (Orvo::EqualsNoCase(e.name, "config.txt") || Orvo::EqualsNoCase(e.name, "config.chump")))
            return Want::kPass;
        if (!IsSafeArchiveFileName(e.name))
        {
            reason_ = Orvo::String::Format("File name cannot be stored in an archive: %s", e.name.c_str());
            return Want::kStop;
        }
        if (++count_ > kMaxArchiveFiles)
        {
            reason_ = "Too many files to archive";
            return Want::kStop;
        }
        return Want::kVisit;
    }
    bool EnterFolder(const std::string& path, const Platform::Folder&) override
    {
        return sink_.BeginFolder(path.substr(path.rfind('/') + 1)) || Failed("Unable to pack folder: %s", path);
    }
    bool LeaveFolder(const std::string& path) override
    {
        return sink_.EndFolder() || Failed("Unable to pack folder: %s", path);
    }
    bool File(const std::string& path, const Platform::OpenedFile& file) override
    {
        if (sink_.IsArchiveFile(Platform::FileIdentity::Of(file.Stat())))
            return Failed("Unable to pack file: %s (the archive would be written over it)", path);
        if (!file.Read(data_, kMaxArchiveFileSize)) return Failed("Unable to read file: %s", path);
        const std::vector<uint8_t>* bytes = &data_;
        if (compress_)
        {
            if (!Orvo::LZSSCompress::Compress(data_.data(), data_.size(), packed_))
                return Failed("Unable to compress file: %s", path);
            bytes = &packed_;
        }
        return sink_.AddFile(path.substr(path.rfind('/') + 1), bytes->data(), bytes->size()) ||
               Failed("Unable to pack file: %s", path);
    }
    void LeftOut(const std::string& path) override
    {
        if (leftOut_) leftOut_->push_back(PathOf(path).c_str());
    }
    // The reason of a walk that failed without one of ours.
    void WalkFailed(const Platform::FolderWalkFailure& f)
    {
        if (!reason_.IsEmpty()) return;
        reason_ = Orvo::String::Format(f.folder ? "Unable to search folder: %s" : "Unable to read file: %s",
                                       PathOf(f.path).c_str());
    }

private:
    bool Failed(const char* format, const std::string& path)
    {
        reason_ = Orvo::String::Format(format, PathOf(path).c_str());
        return false;
    }

    const Orvo::File::Path& folder_;
    bool compress_;
    ArchivePackSink& sink_;
    std::vector<std::string>* leftOut_;
    Orvo::String& reason_;
    size_t count_ = 0;
    std::vector<uint8_t> data_, packed_;
};

}  // namespace

bool OpenPackableFolder(const Orvo::File::Path& folder, Platform::Folder& dir)
{
    // An absolute path (as the daemon names installed folders) is tried as it stands first: resolving it
    // through the engine's files finds the same folder whenever it exists as named.
    if (!folder.IsEmpty() && folder.View().front() == '/' && dir.Open(folder.str())) return true;
    std::string path;
    return Orvo::File::Resolve(folder.View(), path) && dir.Open(path);
}

TDBTagRef GetArchiveEntryFiles(const TDBTagRef& entry) { return entry.GetChildContainer("files"); }

Orvo::String GetArchiveEntryCompression(const TDBTagRef& entry) { return entry.GetChildString("compression", "none"); }

Orvo::String ComputeArchiveFilesDSID(const TDBTagRef& files)
{
    std::string body;
    if (files.IsContainer() && !WriteSoupBinaryBody(files, body)) body.clear();
    uint32_t crc = body.empty() ? 0 : Crc32(body.data(), body.size());
    return Orvo::String::Format("%d:%d", static_cast<int32_t>(crc), static_cast<int32_t>(body.size()));
}

bool CheckArchiveEntryDSID(const TDBTagRef& entry)
{
    if (entry.GetChildType("dsid") != kACSString) return false;
    return entry.GetChildString("dsid").View() == ComputeArchiveFilesDSID(GetArchiveEntryFiles(entry)).View();
}

void SetArchiveEntryDSID(TDBTagRef& entry)
{
    if (!entry.IsContainer()) return;
    entry.SetChildString("dsid", ComputeArchiveFilesDSID(GetArchiveEntryFiles(entry)).View());
}

TDBTagRef MakeInstallableAssetConfig(const TDBTagRef& entry)
{
    TDBTagRef config = entry.Clone();
    if (!config.IsContainer()) return TDBTagRef::NewContainer();
    for (const char* key : {"files", "dsid", "compression", "folder-icon"})
        while (config.HasChild(key)) config.RemoveChild(key);
    return config;
}

Orvo::String GetAssetDisplayName(const TDBTagRef& entry)
{
    for (const char* key : {"username", "name", "asset-filename"})
    {
        Orvo::String text = entry.GetChildString(key);
        if (!text.IsEmpty()) return text;
    }
    return {};
}

bool IsSafeArchiveFileName(std::string_view name)
{
    if (!Platform::IsPlainEntryName(name) || name.find("..") != std::string_view::npos) return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == ':') return false;
    return true;
}

bool ExportFileTree(const TDBTagRef& files, const Orvo::File::Path& folder, std::string_view compression,
                    Orvo::String& reason)
{
    reason = Orvo::String();
    if (ParseCompression(compression) == Compression::kUnknown)
    {
        reason =
            Orvo::String::Format("Unknown archive compression '%.*s'", int(compression.size()), compression.data());
        return false;
    }
    if (folder.IsEmpty())
    {
        reason = "No target folder";
        return false;
    }
    if (files.IsNull()) return Orvo::File::Md(folder.View()) ? true : (reason = "Unable to create folder", false);
    if (!files.IsContainer())
    {
        reason = "Archive entry has no file tree";
        return false;
    }
    size_t count = 0;
    if (!CheckFileTree(files, count, reason)) return false;
    std::string real;
    if (!Orvo::File::Md(folder.View()) || !Orvo::File::ResolveForWriting(folder.View(), real))
    {
        reason = Orvo::String::Format("Unable to create folder: %s", folder.c_str());
        return false;
    }
    return WriteFileTree(files, real, ParseCompression(compression), reason);
}

bool ExportArchiveFile(const TDBTagRef& file, Orvo::String& result, const Orvo::File::Path& target,
                       std::string_view compression, bool allowStoredPath)
{
    result = Orvo::String();
    if (file.GetType() == kACSString)
    {
        if (!allowStoredPath)
        {
            result = WithPath("Archive file refers to a file outside the archive: $(FILEPATH)", target);
            return false;
        }
        return CopyFileAt(Orvo::File::Path(file.GetString()), target, result);
    }
    std::vector<uint8_t> unpacked;
    std::string_view bytes;
    if (!ArchiveFileBytes(file, ParseCompression(compression), target, unpacked, bytes, result)) return false;
    if (!Orvo::File::WriteFile(target.View(), bytes))
    {
        result = WithPath("Unable to write target file: $(FILEPATH)", target);
        return false;
    }
    return true;
}

bool CopyFileAt(const Orvo::File::Path& source, const Orvo::File::Path& target, Orvo::String& result)
{
    result = Orvo::String();
    Orvo::File in;
    if (in.Open(source.View(), Orvo::File::ModeRead) != 0)
    {
        result = WithPath("Unable to open source file: $(FILEPATH)", source);
        return false;
    }
    // Opening the target for writing would empty a source that is the same file.
    std::string src, dst;
    std::error_code ec;
    if (Orvo::File::Resolve(source.View(), src) && Orvo::File::ResolveForWriting(target.View(), dst) &&
        std::filesystem::exists(dst, ec) && std::filesystem::equivalent(src, dst, ec))
        return true;
    Orvo::File out;
    if (out.Open(target.View(), Orvo::File::ModeWrite) != 0)
    {
        result = WithPath("Unable to open target file: $(FILEPATH)", target);
        return false;
    }
    std::vector<uint8_t> block(kCopyBlock);
    const int64_t total = in.Size();
    int64_t copied = 0;
    bool ok = true;
    while (copied < total)
    {
        size_t want = static_cast<size_t>(std::min<int64_t>(total - copied, int64_t(kCopyBlock)));
        size_t got = in.Read(block.data(), want);
        if (got == 0)
        {
            result = WithPath("Unable to read source file: $(FILEPATH)", source);
            ok = false;
            break;
        }
        if (out.Write(block.data(), got) != got)
        {
            result = WithPath("Unable to write target file: $(FILEPATH)", target);
            ok = false;
            break;
        }
        copied += static_cast<int64_t>(got);
    }
    if (ok && !out.Flush())
    {
        result = WithPath("Unable to write target file: $(FILEPATH)", target);
        ok = false;
    }
    out.Close();
    if (!ok) Orvo::File::Delete(target.View());
    return ok;
}

bool CopyFileAt(const Orvo::File::Path& source, const Orvo::File::Path& target)
{
    Orvo::String ignored;
    return CopyFileAt(source, target, ignored);
}

bool LoadPackableAssetConfig(const Orvo::File::Path& folder, TDBTagRef& config, Orvo::String& reason)
{
    Platform::Folder dir;
    if (!OpenPackableFolder(folder, dir))
    {
        config = TDBTagRef();
        reason = Orvo::String::Format("Unable to read the asset config in: %s", folder.c_str());
        return false;
    }
    return LoadPackableAssetConfig(folder, dir, config, reason);
}

bool LoadPackableAssetConfig(const Orvo::File::Path& folder, const Platform::Folder& dir, TDBTagRef& config,
                             Orvo::String& reason, Platform::FileIdentity* readFrom)
{
    config = TDBTagRef();
    if (readFrom) *readFrom = Platform::FileIdentity{};
    // From one listing, as the engine's files find a name: the exact one, else the smallest that equals it
    // without regard to case. "config.chump" when there is one, else "config.txt"; read only when it is a
    // regular file when opened.
    std::vector<Platform::FolderEntry> entries;
    const Platform::FolderEntry* chosen = nullptr;
    if (dir.IsOpen() && dir.List(entries))
    {
        auto find = [&](std::string_view name) -> const Platform::FolderEntry* {
            const Platform::FolderEntry* noCase = nullptr;
            for (const Platform::FolderEntry& e : entries)
            {
                if (e.type == Platform::EntryType::kFolder) continue;
                if (e.name == name) return &e;
                if (!noCase && Orvo::EqualsNoCase(e.name, name)) noCase = &e;
            }
            return noCase;
        };
        chosen = find("config.chump");
        if (!chosen) chosen = find("config.txt");
    }
    Platform::OpenedFile file;
    std::string bytes;
    TDBTagRef loaded;
    const bool opened = chosen && file.Open(dir, chosen->name) == Platform::OpenedFile::Result::kOpened;
    // A configuration is bounded as every configuration file is, and said so when it is past the bound.
    if (opened && file.Size() > Orvo::kMaxConfigFileBytes)
    {
        reason = Orvo::String(Orvo::ConfigFileTooLargeText(folder.str() + "/" + chosen->name));
        return false;
    }
    if (!opened || !file.Read(bytes, Orvo::kMaxConfigFileBytes) ||
        ParseConfigData(loaded, bytes, ConfigFileFormFor(chosen->name, {}),
                        (folder.str() + "/" + chosen->name).c_str()) != ConfigFileResult::kOK ||
        !loaded.IsContainer())
    {
        reason = Orvo::String::Format("Unable to read the asset config in: %s", folder.c_str());
        return false;
    }
    config = MakeInstallableAssetConfig(loaded);
    if (readFrom) *readFrom = Platform::FileIdentity::Of(file.Stat());
    return true;
}

bool PackArchiveFolder(const Orvo::File::Path& folder, bool compress, ArchivePackSink& sink, Orvo::String& reason,
                       std::vector<std::string>* leftOut)
{
    Platform::Folder dir;
    if (!OpenPackableFolder(folder, dir))
    {
        reason = Orvo::String::Format("Unable to search folder: %s", folder.c_str());
        return false;
    }
    return PackArchiveFolder(folder, dir, compress, sink, reason, leftOut);
}

bool PackArchiveFolder(const Orvo::File::Path& folder, const Platform::Folder& dir, bool compress,
                       ArchivePackSink& sink, Orvo::String& reason, std::vector<std::string>* leftOut)
{
    FolderPacker packer(folder, compress, sink, leftOut, reason);
    Platform::FolderWalkFailure failure;
    if (Platform::WalkFolder(dir, packer, &failure)) return true;
    packer.WalkFailed(failure);
    return false;
}

bool MakeArchiveEntryFromFolder(TDBTagRef& entry, const Orvo::File::Path& folder, bool compress, Orvo::String& reason,
                                std::vector<std::string>* leftOut)
{
    reason = Orvo::String();
    if (leftOut) leftOut->clear();
    entry = TDBTagRef();
    TDBTagRef built;
    if (!LoadPackableAssetConfig(folder, built, reason)) return false;
    TDBTagRef files = TDBTagRef::NewContainer();
    TreePackSink sink(files);
    if (!PackArchiveFolder(folder, compress, sink, reason, leftOut)) return false;
    built.SetChildTag("files", files);
    built.SetChildString("compression", compress ? "lzss" : "none");
    SetArchiveEntryDSID(built);
    entry = built;
    return true;
}
