#include "textures/TextureStamp.h"

#include "core/Crc32.h"
#include "engine/AsciiTextureResource.h"
#include "engine/FilePath.h"
#include "engine/OIRFFile.h"
#include "engine/PathComponents.h"
#include "platform/RegularFile.h"
#include "textures/TextureTargets.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// A running stamp: the CRC of everything added and the bytes it counted, with each piece's length added
// too, so that bytes moved from one piece to the next change the stamp.
struct StampSum
{
    uint32_t crc = 0;
    uint64_t bytes = 0;
    void Add(const void* data, size_t size)
    {
        crc = Crc32(data, size, crc);
        bytes += size;
    }
    void AddLength(uint64_t length)
    {
        uint8_t b[8];
        for (int i = 0; i < 8; ++i) b[i] = uint8_t(length >> (8 * i));
        crc = Crc32(b, sizeof b, crc);
    }
    void AddPiece(std::string_view text)
    {
        AddLength(text.size());
        Add(text.data(), text.size());
    }
    // A file's bytes, read a block at a time; false when it cannot be read whole or is no regular file (a FIFO
    // is refused, never waited on).
    bool AddFile(const std::string& path)
    {
        int fd = -1;
        if (Platform::OpenRegularFile(path, fd, O_NOFOLLOW) != Platform::RegularFileStatus::kOK) return false;
        std::vector<uint8_t> block(1 << 20);
        uint64_t length = 0;
        bool ok = true;
        for (;;)
        {
            const ssize_t got = ::read(fd, block.data(), block.size());
            if (got < 0)
            {
                ok = false;
                break;
            }
            if (got == 0) break;
            Add(block.data(), size_t(got));
            length += uint64_t(got);
        }
        ::close(fd);
        AddLength(length);
        return ok;
    }
    uint64_t Value() const { return uint64_t(crc) << 32 | uint32_t(bytes ^ (bytes >> 32)); }
};

uint32_t ReadU32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

}  // namespace

bool ComputeTextureStamp(const std::string& descriptionPath, const PStringArray& targets, std::string_view options,
                         uint64_t& stamp)
{
    std::string text, images[2];
    if (!Orvo::AsciiTextureResource::ReadImageNames(descriptionPath, text, images[0], images[1])) return false;
    StampSum sum;
    const uint32_t revision = kTextureCompilerRevision;
    sum.AddPiece(std::string_view(reinterpret_cast<const char*>(&revision), sizeof revision));
    sum.AddPiece(FormatTextureTargetList(targets));
    sum.AddPiece(options);
    sum.AddPiece(text);
    const std::string folder = Orvo::File::Path(descriptionPath).DelName().str();
    for (const std::string& name : images)
    {
        sum.AddPiece(name);
        if (name.empty()) continue;
        if (!Orvo::IsInsideName(name) || !sum.AddFile(folder + name)) return false;
    }
    stamp = sum.Value();
    return true;
}

bool ReadTextureStamp(const std::string& compiledPath, uint64_t& stamp)
{
    int fd = -1;
    if (Platform::OpenRegularFile(compiledPath, fd, O_NOFOLLOW) != Platform::RegularFileStatus::kOK) return false;
    uint8_t head[12], tail[kTextureStampChunkBytes];
    const off_t size = ::lseek(fd, 0, SEEK_END);
    const bool read = size >= off_t(sizeof head + sizeof tail) && ::pread(fd, head, sizeof head, 0) == sizeof head &&
                      ::pread(fd, tail, sizeof tail, size - off_t(sizeof tail)) == sizeof tail;
    ::close(fd);
    // The stamp chunk ends the form, and the form the file.
    if (!read || std::memcmp(head, "OIRF", 4) != 0 || ReadU32(head + 4) != uint64_t(size) - 8 ||
        ReadU32(head + 8) != Orvo::OIRFTag("MMTF") || ReadU32(tail) != Orvo::OIRFTag("TXSR") ||
        ReadU32(tail + 4) != 12 || ReadU32(tail + 8) != 1)
        return false;
    stamp = uint64_t(ReadU32(tail + 12)) | uint64_t(ReadU32(tail + 16)) << 32;
    return true;
}
