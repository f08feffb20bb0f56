#include "core/Crc32.h"

#include <array>
#include <cstring>

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr int kSlices = 16;

constexpr std::array<std::array<uint32_t, 256>, kSlices> MakeTables()
{
    std::array<std::array<uint32_t, 256>, kSlices> t{};
    for (uint32_t i = 0; i < 256; ++i)
    {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? kPolynomial ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (int s = 1; s < kSlices; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    return t;
}

constexpr auto kTables = MakeTables();

inline uint32_t Load32(const unsigned char* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;  // the machine is little-endian, as the formats are
}

// a * b modulo the polynomial (bit-reflected, x^0 in the top bit).
uint32_t MultiplyModP(uint32_t a, uint32_t b)
{
    uint32_t product = 0;
    for (uint32_t m = 1u << 31; m != 0; m >>= 1)
    {
        if (a & m) product ^= b;
        b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
    }
    return product;
}

// x^(8 n) modulo the polynomial: the shift a CRC undergoes over n more bytes.
uint32_t ShiftForBytes(uint64_t n)
{
    uint32_t result = 1u << 31;  // x^0
    uint32_t power = 1u << 23;   // x^8: one byte
    while (n != 0)
    {
        if (n & 1) result = MultiplyModP(power, result);
        power = MultiplyModP(power, power);
        n >>= 1;
    }
    return result;
}

}  // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc)
{
    const auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
    // Sixteen bytes per step (slicing-by-16), then the tail byte by byte.
    while (size >= 16)
    {
        const uint32_t a = Load32(p) ^ crc, b = Load32(p + 4), c = Load32(p + 8), d = Load32(p + 12);
        crc = kTables[15][a & 0xFF] ^ kTables[14][(a >> 8) & 0xFF] ^ kTables[13][(a >> 16) & 0xFF] ^
              kTables[12][a >> 24] ^ kTables[11][b & 0xFF] ^ kTables[10][(b >> 8) & 0xFF] ^
              kTables[9][(b >> 16) & 0xFF] ^ kTables[8][b >> 24] ^ kTables[7][c & 0xFF] ^ kTables[6][(c >> 8) & 0xFF] ^
              kTables[5][(c >> 16) & 0xFF] ^ kTables[4][c >> 24] ^ kTables[3][d & 0xFF] ^ kTables[2][(d >> 8) & 0xFF] ^
              kTables[1][(d >> 16) & 0xFF] ^ kTables[0][d >> 24];
        p += 16;
        size -= 16;
    }
    while (size--) crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t Crc32Combine(uint32_t first, uint32_t second, uint64_t secondSize)
{
    return MultiplyModP(ShiftForBytes(secondSize), first) ^ second;
}
