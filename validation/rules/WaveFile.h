#pragma once
// The wave file reader of the sound check. It walks the chunks of a RIFF/WAVE file and records the
// file's format and where its samples lie, without reading a sample: a 12-byte header ("RIFF", u32 size,
// "WAVE"), then chunks of a four-character id, a u32 little-endian size and that many bytes, each padded
// to an even length.
//
// The file is untrusted: every chunk size is bounded by what remains of the file before it is used, never
// a read or a seek past the end. A chunk that claims more than the file holds is a failure, except the
// "data" chunk: writers that stream their samples leave its size (and the RIFF header's, which is not used)
// wrong, often 0xFFFFFFFF, and its samples then run to the file's end. A chunk header cut short by the
// file's end ends the file, and a format chunk shorter than its format is read as far as it goes.
#include <cstdint>
#include <string>

class TStream;

namespace TETLib {

enum WaveFormatKind : uint32_t
{
    kWaveFormatNone = 0,        // no usable "fmt " chunk seen yet
    kWaveFormatPCM = 1,         // format tag 1
    kWaveFormatExtensible = 2,  // format tag 0xFFFE
};

// One wave file as the reader found it.
struct WaveRecord
{
    static constexpr uint32_t kPCMFormatBytes = 16;
    static constexpr uint32_t kExtensibleFormatBytes = 40;

    uint32_t formatKind = kWaveFormatNone;
    // The "fmt " body: for PCM its first 16 bytes (format tag, channels, sample rate, bytes per second,
    // block align, bits per sample), for the extensible format all 40.
    uint8_t format[kExtensibleFormatBytes] = {};
    uint32_t dataSize = 0;      // bytes of the "data" chunk that the file holds
    uint64_t dataOffset = 0;    // stream position of its first byte
    TStream* stream = nullptr;  // the stream read, not owned
};

constexpr int kWaveReadOk = 0;
constexpr int kWaveReadFailed = -2;
constexpr int kWaveNoRecord = -3;

// Reads the chunk structure from the stream's current position. 0 when it is a RIFF/WAVE file with a PCM
// or extensible format and a "data" chunk with samples in the file; -3 when no record is given; -2 otherwise, with the
// reason (for the user) in `reason` when one is given.
int ReadWaveHeader(TStream* stream, WaveRecord* record, std::string* reason = nullptr);

}  // namespace TETLib
