#pragma once
// The engine's LZSS block compressor, used for the file data of content archives.
//
// A block is: u32 uncompressed size (little-endian), then groups of one flag byte followed by up to 8
// items, bit 0 of the flag byte describing the first item. A clear bit is one literal byte; a set bit is
// a little-endian u16 match: its low 12 bits hold the distance back minus 1 (window 4096), its high 4 bits
// the length minus 3 (3 to 18 bytes). The last group holds only the items still needed.
//
// Decoding trusts nothing: a match that reaches before the start of the output or past the declared
// size, input that ends early or goes on after the output is complete, and a declared size above the
// caller's limit all fail without reading or writing out of bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orvo {

class LZSSCompress
{
public:
    static constexpr size_t kWindowSize = 4096;
    static constexpr size_t kMinMatch = 3;
    static constexpr size_t kMaxMatch = 18;
    static constexpr size_t kHeaderSize = 4;
    // Default bound on the size a block may declare (archives hold single files of at most this).
    static constexpr uint64_t kDefaultMaxSize = uint64_t(1) << 30;

    // Replaces `out` with the compressed block. False (and `out` empty) when the input is larger than
    // a u32 can describe.
    static bool Compress(const void* data, size_t size, std::vector<uint8_t>& out);

    // Replaces `out` with the decompressed data. False (and `out` empty) for any malformed block or one
    // declaring more than `maxSize` bytes.
    static bool Decompress(const void* data, size_t size, std::vector<uint8_t>& out,
                           uint64_t maxSize = kDefaultMaxSize);

    // The size a block declares; false when it is shorter than its header.
    static bool ReadUncompressedSize(const void* data, size_t size, uint32_t& out);
};

// The engine's short spelling of LZSSCompress::Compress.
inline bool Compress(const void* data, size_t size, std::vector<uint8_t>& out)
{
    return LZSSCompress::Compress(data, size, out);
}

}  // namespace Orvo
