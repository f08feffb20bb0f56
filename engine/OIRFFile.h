#pragma once
// The engine's chunked container, "OIRF": the tag "OIRF", a u32 length of what follows, a form tag
// ("IDXM", "LODM", "MMTF"), then chunks of {tag, u32 length, u32 version, data}. A chunk's length counts
// the bytes behind its length field, version and nested chunks included. Numbers are little-endian; a tag
// is four ASCII bytes compared as they stand in the file and kept as the little-endian u32 of those bytes
// ("MMTF" is 0x46544D4D).
//
// Reading is bounded: the form must end within the data, and a chunk within the form (or within the
// chunk that holds it). Writing fills every length in when its chunk is complete.
#include "engine/File.h"
#include "engine/MemoryFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Orvo {

constexpr uint32_t OIRFTag(const char (&text)[5])
{
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
           uint32_t(uint8_t(text[3])) << 24;
}
// The four characters of a tag, non-printable bytes shown as "?".
std::string OIRFTagText(uint32_t tag);

// One chunk header as read.
struct OIRFChunk
{
    uint32_t tag = 0;
    uint32_t length = 0;  // bytes behind the length field
    uint32_t version = 0;
    size_t start = 0;      // position of the tag
    size_t dataStart = 0;  // position behind the version
    size_t end = 0;        // position behind the length field + length
};

class OIRFFile
{
public:
    enum [[nodiscard]] Result : int{
        Ok = 0,
        CannotOpen = 2,
        BadFormat = 3,
    };
    // Open modes: bit 0 writes; the other bits are the engine's and ignored here (257 writes).
    static constexpr uint32_t ModeRead = 0;
    static constexpr uint32_t ModeWrite = 1;

    OIRFFile() = default;
    OIRFFile(const OIRFFile&) = delete;
    OIRFFile& operator=(const OIRFFile&) = delete;

    // ---- reading ----
    // Reads the whole file (through File, so substitutions apply) and checks its container header:
    // 0, 2 when it cannot be read, 3 when it is not an OIRF container whose form ends within the data.
    int Open(std::string_view path);
    int OpenMemory(const void* data, size_t size, std::string_view name);
    uint32_t GetFormTag() const { return formTag_; }
    size_t GetFormEnd() const { return formEnd_; }
    MemoryFile& Data() { return data_; }

    // Reads "OIRF", the length and the form tag at the current position. False (position unchanged)
    // when the tag is not "OIRF" or the form would end beyond the data.
    static bool ReadHeader(MemoryFile& in, uint32_t& formTag, size_t& formEnd);
    // Reads a chunk header at the current position. False (position unchanged) when the header does not
    // fit before `limit` or the chunk would end beyond `limit`.
    static bool ReadChunk(MemoryFile& in, OIRFChunk& chunk, size_t limit);
    bool ReadChunk(OIRFChunk& chunk) { return ReadChunk(data_, chunk, formEnd_); }
    // From the current position, steps over sibling chunks up to `limit` until one with `tag` is found
    // (positioned behind its header). False (position unchanged) when there is none.
    bool FindChunk(uint32_t tag, OIRFChunk& chunk, size_t limit);
    bool FindChunk(uint32_t tag, OIRFChunk& chunk) { return FindChunk(tag, chunk, formEnd_); }
    bool SkipChunk(const OIRFChunk& chunk) { return data_.Seek(chunk.end); }

    // ---- writing ----
    // Opens `path` with the mode's access; inside the content source `sourceName` ("<source>:<path>")
    // when that is not empty. 0 when opened, else the File result.
    int OpenOIRF(std::string_view sourceName, std::string_view path, uint32_t mode);
    File& GetFile() { return file_; }
    void Close();

private:
    int CheckHeader();

    MemoryFile data_;
    File file_;
    uint32_t formTag_ = 0;
    size_t formEnd_ = 0;
};

// Writes the container header ("OIRF", a length placeholder, the form tag) on construction and fills
// the form length in with Finish (or on destruction).
class OIRFWriteHeader
{
public:
    OIRFWriteHeader(File& file, uint32_t formTag);
    ~OIRFWriteHeader();
    OIRFWriteHeader(const OIRFWriteHeader&) = delete;
    OIRFWriteHeader& operator=(const OIRFWriteHeader&) = delete;

    // False when any write failed (the header, the data or the length).
    bool Finish();
    bool IsOk() const { return ok_; }

private:
    File& file_;
    int64_t mark_ = -1;
    bool ok_ = false;
    bool finished_ = false;
};

// One chunk being written: the tag, a length placeholder and the version on construction; the length
// is filled in by Finish (or on destruction).
class OIRFChunkWriter
{
public:
    OIRFChunkWriter(File& file, uint32_t tag, uint32_t version);
    ~OIRFChunkWriter();
    OIRFChunkWriter(const OIRFChunkWriter&) = delete;
    OIRFChunkWriter& operator=(const OIRFChunkWriter&) = delete;

    bool Finish();
    bool IsOk() const { return ok_; }

private:
    File& file_;
    int64_t mark_ = -1;
    bool ok_ = false;
    bool finished_ = false;
};

}  // namespace Orvo
