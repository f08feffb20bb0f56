#pragma once
// Wave files made byte by byte for the tests: chunks with their sizes as given, so that a size can lie.
#include <cstdint>
#include <string>

namespace wave_bytes {

inline std::string U16(uint32_t v) { return std::string{char(v & 0xFF), char(v >> 8 & 0xFF)}; }
inline std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }

// A chunk: id, size (the body's unless given), body, and a pad byte after an odd body when `pad`.
inline std::string Chunk(const std::string& id, const std::string& body, bool pad = true)
{
    std::string c = id + U32(uint32_t(body.size())) + body;
    if (pad && body.size() % 2 == 1) c.push_back('\0');
    return c;
}
inline std::string ChunkClaiming(const std::string& id, uint32_t size, const std::string& body)
{
    return id + U32(size) + body;
}

// The 16-byte PCM format body.
inline std::string PcmFormat(uint16_t channels = 1, uint32_t rate = 8000, uint16_t bits = 16, uint16_t tag = 1)
{
    const uint16_t align = uint16_t(channels * bits / 8);
    return U16(tag) + U16(channels) + U32(rate) + U32(rate * align) + U16(align) + U16(bits);
}
// The 40-byte extensible format body.
inline std::string ExtensibleFormat()
{
    return PcmFormat(2, 44100, 16, 0xFFFE) + U16(22) + U16(16) + U32(3) + std::string(16, '\x01');
}

// Samples: a short rising tone, 8 bits per step.
inline std::string Samples(size_t bytes)
{
    std::string s(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i) s[i] = char((i * 37) & 0xFF);
    return s;
}

// "RIFF", the size of what follows (unless given), "WAVE", the chunks.
inline std::string Riff(const std::string& chunks, const std::string& riff = "RIFF", const std::string& wave = "WAVE")
{
    return riff + U32(uint32_t(chunks.size() + 4)) + wave + chunks;
}

// The canonical 16-bit mono PCM file: "fmt " at 12, "data" at 36, samples from 44.
inline std::string CanonicalWave(size_t sampleBytes = 400)
{
    return Riff(Chunk("fmt ", PcmFormat()) + Chunk("data", Samples(sampleBytes)));
}

}  // namespace wave_bytes
