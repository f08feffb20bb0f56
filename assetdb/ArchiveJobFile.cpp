#include "assetdb/ArchiveJobFile.h"

#include "core/SoupBinary.h"
#include "core/TFile.h"

#include <cstring>
#include <string>

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
