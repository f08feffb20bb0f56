#include "core/Crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

#if defined(__x86_64__)

#define VELMAR_PCLMUL __attribute__((target("pclmul,sse4.1")))

VELMAR_PCLMUL inline __m128i Load128(const unsigned char* q)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// x times the two constants of k (its low and high halves), added to the next 128 bits.
VELMAR_PCLMUL inline __m128i Fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Folding by carry-less multiplication (the method of Intel's paper on CRC computation with PCLMULQDQ): four
// 128-bit lanes folded 64 bytes at a time, then into one lane, then reduced (Barrett) to 32 bits. `crc` is
// the running register (already inverted); `size` is at least 64 and a multiple of 16.
VELMAR_PCLMUL uint32_t FoldPclmul(const unsigned char* p, size_t size, uint32_t crc)
{
    // x^(4*128+64) and x^(4*128) mod P, x^(128+64) and x^128 mod P, x^64 mod P, then P and its Barrett mu.
    const __m128i k1k2 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124);
    const __m128i poly = _mm_set_epi64x(0x1f7011641, 0x1db710641);
    __m128i x1 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load128(p + 16), x3 = Load128(p + 32), x4 = Load128(p + 48);
    p += 64;
    size -= 64;
    for (; size >= 64; p += 64, size -= 64)
    {
        x1 = Fold(x1, k1k2, Load128(p));
        x2 = Fold(x2, k1k2, Load128(p + 16));
        x3 = Fold(x3, k1k2, Load128(p + 32));
        x4 = Fold(x4, k1k2, Load128(p + 48));
    }
    x1 = Fold(x1, k3k4, x2);
    x1 = Fold(x1, k3k4, x3);
    x1 = Fold(x1, k3k4, x4);
    for (; size >= 16; p += 16, size -= 16) x1 = Fold(x1, k3k4, Load128(p));

    // 128 bits to 64, then the Barrett reduction to 32.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), _mm_srli_si128(x1, 4));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

const bool kHavePclmul = [] {
    __builtin_cpu_init();  // this runs among the static initialisers
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}();

#endif

}  // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc)
{
    const auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
#if defined(__x86_64__)
    if (kHavePclmul && size >= 64)
    {
        const size_t bulk = size & ~size_t(15);
        crc = FoldPclmul(p, bulk, crc);
        p += bulk;
        size -= bulk;
    }
#endif
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
