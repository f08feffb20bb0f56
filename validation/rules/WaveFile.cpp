#include "validation/rules/WaveFile.h"

#include "core/TStream.h"

#include <algorithm>
#include <cstring>

namespace TETLib {
namespace {

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool IdIs(const uint8_t* id, const char* name)
{
    for (int i = 0; i < 4; ++i)
    {
        uint8_t c = id[i];
        if (c >= 'A' && c <= 'Z') c = uint8_t(c - 'A' + 'a');
        uint8_t n = uint8_t(name[i]);
        if (n >= 'A' && n <= 'Z') n = uint8_t(n - 'A' + 'a');
        if (c != n) return false;
    }
    return true;
}

// The id as the user can read it: printable characters as they are, others as "?".
std::string IdText(const uint8_t* id)
{
    std::string text;
    for (int i = 0; i < 4; ++i) text.push_back(id[i] >= 0x20 && id[i] < 0x7F ? char(id[i]) : '?');
    return text;
}

int Fail(std::string* reason, std::string text)
{
    if (reason != nullptr) *reason = std::move(text);
    return kWaveReadFailed;
}

}  // namespace

int ReadWaveHeader(TStream* stream, WaveRecord* record, std::string* reason)
{
    if (record == nullptr) return kWaveNoRecord;
    *record = WaveRecord();
    record->stream = stream;
    if (stream == nullptr) return Fail(reason, "it cannot be read");

    const uint64_t end = stream->Size();
    uint8_t header[12];
    const uint64_t start = stream->Tell();
    if (start > end || end - start < sizeof header || stream->Read(header, sizeof header) != sizeof header)
        return Fail(reason, "it is too short to be a wave file");
    if (!IdIs(header, "RIFF") || !IdIs(header + 8, "WAVE")) return Fail(reason, "it is not a RIFF/WAVE file");

    for (;;)
    {
        // A chunk header that is not there in full ends the file: a few bytes after the last chunk (a
        // writer's padding) are not a chunk.
        const uint64_t at = stream->Tell();
        if (at >= end || end - at < 8) break;
        uint8_t chunk[8];
        if (stream->Read(chunk, sizeof chunk) != sizeof chunk) break;
        const uint32_t size = Le32(chunk + 4);
        const uint64_t body = at + 8;
        const uint64_t remain = end - body;
        if (IdIs(chunk, "data"))
        {
            // A writer that streams its samples cannot know their size when it writes the header, and leaves
            // a size larger than the file there (often 0xFFFFFFFF): the samples then run to the file's end.
            // What is kept is the part that is in the file.
            record->dataSize = uint32_t(std::min<uint64_t>(size, remain));
            record->dataOffset = body;
        }
        else if (size > remain)
            return Fail(reason, "its \"" + IdText(chunk) + "\" chunk claims " + std::to_string(size) +
                                    " bytes but only " + std::to_string(remain) + " remain");
        else if (IdIs(chunk, "fmt "))
        {
            // A longer format chunk is none this reader knows; a later one may still serve. A shorter one
            // is read into a zeroed block of the full size, so that a format without all its fields still
            // names its kind: the 14-byte format block of older writers (no bits per sample) is PCM, and so
            // is an extensible format cut short.
            if (size <= WaveRecord::kExtensibleFormatBytes)
            {
                uint8_t format[WaveRecord::kExtensibleFormatBytes] = {};
                if (stream->Read(format, size) != size) return Fail(reason, "it cannot be read to its end");
                const uint32_t tag = uint32_t(format[0]) | uint32_t(format[1]) << 8;
                if (tag == 1)
                {
                    record->formatKind = kWaveFormatPCM;
                    std::memcpy(record->format, format, WaveRecord::kPCMFormatBytes);
                }
                else if (tag == 0xFFFE)
                {
                    record->formatKind = kWaveFormatExtensible;
                    std::memcpy(record->format, format, WaveRecord::kExtensibleFormatBytes);
                }
            }
        }
        // Bodies are padded to an even length; a file may end without the last pad byte.
        const uint64_t next = std::min<uint64_t>(body + uint64_t(size) + (size & 1u), end);
        if (!stream->Seek(next)) return Fail(reason, "it cannot be read to its end");
    }

    if (record->formatKind == kWaveFormatNone)
        return Fail(reason, "it has no PCM format (\"fmt \" chunk) this program can read");
    if (record->dataOffset == 0) return Fail(reason, "it has no sample data (\"data\" chunk)");
    if (record->dataSize == 0) return Fail(reason, "its sample data (\"data\" chunk) is empty");
    return kWaveReadOk;
}

}  // namespace TETLib
