#pragma once
// CRC-32 (IEEE 802.3, reflected, polynomial 0xEDB88320), as zip and png use it.
#include <cstddef>
#include <cstdint>

// Continues a running CRC: pass the previous result as `crc` (0 to start).
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

// The CRC of two pieces one after the other, from the CRC of each and the length of the second: lets a
// writer checksum a piece whose leading bytes (a size field) are only known after the rest.
uint32_t Crc32Combine(uint32_t first, uint32_t second, uint64_t secondSize);
