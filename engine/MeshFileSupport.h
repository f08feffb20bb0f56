#pragma once
// What the mesh files share: padded strings and chunk lengths filled in afterwards.
//
// A padded string is a u32 byte count, the bytes (no terminating NUL), then zero bytes up to the next
// multiple of four ("ab" is 02 00 00 00 'a' 'b' 00 00; the empty string is four zero bytes).
//
// Writers place a length with MarkSizePos (a placeholder at the current position) and fill it in with
// WriteSizeAtMark once the chunk is complete: the length counts the bytes from behind the placeholder
// to the current position.
#include "engine/PString.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Orvo {

class File;
class MemoryFile;

class MeshFileSupport
{
public:
    virtual ~MeshFileSupport() = default;

    static constexpr size_t PaddedSize(size_t length) { return 4 + ((length + 3) & ~size_t(3)); }

    // False, and the position unchanged, when the string with its padding does not fit in the data.
    static bool ReadPaddedString(MemoryFile& in, std::string& out);
    static bool ReadPaddedString(MemoryFile& in, PString& out);

    static bool WritePaddedString(File& out, std::string_view text);
    static bool WriteU32(File& out, uint32_t value);
    static bool WriteI32(File& out, int32_t value) { return WriteU32(out, static_cast<uint32_t>(value)); }
    static bool WriteF32(File& out, float value);
    static bool WriteU16(File& out, uint16_t value);
    static bool WriteBytes(File& out, const void* data, size_t size);

    // The position of a new u32 placeholder written at the current position; -1 when it cannot be written.
    static int64_t MarkSizePos(File& out);
    // Writes, at `mark`, the byte count from behind the placeholder to the current position, and returns
    // to that position. False when the mark is invalid, the count does not fit 32 bits or a write fails.
    static bool WriteSizeAtMark(File& out, int64_t mark);
};

}  // namespace Orvo
