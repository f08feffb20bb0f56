#pragma once
// The binary form (SoupBinary.h) written and read piece by piece through a file descriptor, for files too
// large to hold as one tree: content archives and the archive job files. Memory stays bounded by a buffer
// and the largest single value, whatever the size of the file.
#include "core/SoupBinary.h"
#include "core/TDBTagRef.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Writes chunks at increasing positions of a file from `start` on (positional writes; the descriptor's own
// offset is not used), buffered. A container's size is filled in when it closes, and the CRC-32 of a
// container's body can be kept as it is written, so that a checksum of a body (an archive entry's "files")
// needs no second pass. Any failure sticks: every later call fails too.
class SoupStreamWriter
{
public:
    explicit SoupStreamWriter(int fd, uint64_t start = 0);
    SoupStreamWriter(const SoupStreamWriter&) = delete;
    SoupStreamWriter& operator=(const SoupStreamWriter&) = delete;

    // The 16-byte header; its body size is filled in by EndFile, which also flushes.
    bool BeginFile();
    bool EndFile();

    // With `checksum`, the CRC-32 of the container's body is kept as it is written (CloseContainer hands it
    // out); containers inside one that keeps it keep theirs too.
    bool OpenContainer(std::string_view name, bool checksum = false);
    // Closes the innermost container. `bodyCrc` and `bodySize` (when given) get the CRC-32 (0 unless it was
    // kept) and the length of its body, the children chunks as written.
    bool CloseContainer(uint32_t* bodyCrc = nullptr, uint64_t* bodySize = nullptr);
    // One whole chunk holding a node of a tree (a container with everything below it).
    bool WriteTag(std::string_view name, const TDBTagRef& tag);
    // A binary chunk whose payload is `size` bytes from `data`.
    bool WriteBinary(std::string_view name, const void* data, size_t size);
    // Bytes copied as they stand from another file into the innermost container's body: `size` bytes of
    // `fromFd` at `from`. The caller vouches that they are whole chunks.
    bool CopyBytes(int fromFd, uint64_t from, uint64_t size);

    bool Flush();
    bool Ok() const { return ok_; }
    // The next position written.
    uint64_t Position() const { return flushed_ + buffer_.size(); }
    int Depth() const { return static_cast<int>(open_.size()) - 1; }

private:
    struct Open
    {
        uint64_t at = 0;     // position of the size field
        std::string header;  // the chunk's bytes before its body (the size field still a placeholder)
        bool checksum = false;
        uint32_t bodyCrc = 0;
        uint64_t bodySize = 0;
    };
    // Appends bytes of the innermost container's body (counted and checksummed there).
    bool AppendBody(const void* data, size_t size);
    bool AppendRaw(const void* data, size_t size);
    bool Patch(uint64_t at, uint32_t value);
    bool WriteAt(uint64_t at, const void* data, size_t size);

    int fd_;
    uint64_t flushed_;
    std::string buffer_;
    std::vector<Open> open_;  // [0] is the file's body
    uint64_t fileStart_;
    bool ok_ = true;
};

// One chunk's header as the reader found it.
struct SoupChunkInfo
{
    std::string name;
    uint8_t type = 0;
    uint64_t at = 0;         // position of its size field
    uint64_t payloadAt = 0;  // first byte after its type
    uint64_t end = 0;        // first byte after the chunk
    uint64_t PayloadSize() const { return end - payloadAt; }
};

// Reads chunk headers and payloads of a file region through a window buffer (positional reads).
class SoupStreamReader
{
public:
    SoupStreamReader(int fd, uint64_t begin, uint64_t end);

    // The chunk at `at`, which must lie within [`at`, `limit`) and inside the region. False when the bytes
    // there are not a chunk header whose size fits (the data is damaged), or cannot be read.
    bool ReadChunk(uint64_t at, uint64_t limit, SoupChunkInfo& out);
    // Reads `size` bytes at `at` (inside the region) into `out`.
    bool ReadBytes(uint64_t at, void* out, size_t size);
    bool ReadBytes(uint64_t at, size_t size, std::string& out);
    // The chunks of a body as a tree (ReadSoupBinaryBody), for a small part of the file: an entry's tags.
    bool ReadChunkAsTree(const SoupChunkInfo& chunk, TDBTagRef& container);
    // True when the chunks of [begin, end) hold together as the tree reader requires (sizes nest exactly,
    // payloads whole multiples of their element, types known, containers at most kMaxSoupDepth deep below
    // `depth`), reading only headers and the payloads' lengths.
    bool CheckChunks(uint64_t begin, uint64_t end, int depth = 0);

    int Fd() const { return fd_; }
    uint64_t Begin() const { return begin_; }
    uint64_t End() const { return end_; }

private:
    bool Fill(uint64_t at, size_t size);

    int fd_;
    uint64_t begin_, end_;
    std::unique_ptr<char[]> window_;  // its first windowLength_ bytes are the file's at windowAt_
    size_t windowCapacity_ = 0;
    uint64_t windowAt_ = 0;
    size_t windowLength_ = 0;
};

// The header of a binary file at the start of the reader's region: the magic, the version, a body size
// equal to the rest of the region. kOK with `bodyAt` set, else what ReadSoupBinary would answer.
SoupBinaryResult CheckSoupBinaryHeader(SoupStreamReader& in, uint64_t& bodyAt);
