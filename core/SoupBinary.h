#pragma once
// The binary form of a soup (".chump", ".cdp", ".cdp2"), little-endian:
//
//   header  "ACS$" | u32 format version (1) | u32 flags (0) | u32 body size (= file size - 16)
//   body    the root's children as chunks
//   chunk   u32 size of what follows | u16 name length N | N name bytes | u8 type | payload
//           container: child chunks filling the size; binary: raw bytes; float: n x f32;
//           string: UTF-8 bytes without NUL; integer: n x i32; KUID: n x the 8-byte stream form
//
// The reader never reads past the data it is given: every size must nest exactly, payloads must be whole
// multiples of their element size, and containers nest at most kMaxSoupDepth deep.
#include "core/TDBTagRef.h"
#include "core/TStream.h"

#include <cstdint>
#include <string>

enum class [[nodiscard]] SoupBinaryResult{
    kOK = 0,
    kNotValid,      // not a binary soup at all (no "ACS$" header)
    kDamaged,       // the header is ours but the sizes or the chunks do not hold together
    kNewerVersion,  // made by a newer version of the format
};

constexpr uint32_t kSoupBinaryVersion = 1;
constexpr size_t kSoupBinaryHeaderSize = 16;

// True when the data starts with the "ACS$" magic.
bool HasSoupBinaryMagic(const void* data, size_t size);

// Reads a whole file image into a new container; `out` stays null on failure.
SoupBinaryResult ReadSoupBinary(const void* data, size_t size, TDBTagRef& out);
// Reads `size` bytes of a stream as a whole file image; a size beyond what the stream holds is refused as
// damaged before anything is allocated.
SoupBinaryResult ReadSoupBinary(TStream& in, uint64_t size, TDBTagRef& out);
// Reads the children chunks of a body (no header) into a new container.
SoupBinaryResult ReadSoupBinaryBody(const void* data, size_t size, TDBTagRef& out);

// Appends the header and body. False (nothing appended) when the tree cannot be written: nested deeper
// than kMaxSoupDepth, a name longer than 65535 bytes, or a size beyond 32 bits.
bool WriteSoupBinary(const TDBTagRef& tree, std::string& out);
bool WriteSoupBinary(const TDBTagRef& tree, TStream& out);
// Appends the container's children as chunks, without a header.
bool WriteSoupBinaryBody(const TDBTagRef& container, std::string& out);
// Appends one chunk for a named tag.
bool WriteSoupBinaryChunk(std::string_view name, const TDBTagRef& tag, std::string& out);

const char* SoupBinaryResultText(SoupBinaryResult r);
