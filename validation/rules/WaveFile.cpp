#include "validation/rules/WaveFile.h"

#include "core/TStream.h"

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
        const uint64_t at = stream->Tell();
        if (at >= end) break;
        if (end - at < 8) return Fail(reason, "its last chunk header is cut short");
        uint8_t chunk[8];
        if (stream->Read(chunk, sizeof chunk) != sizeof chunk) return Fail(reason, "it cannot be read to its end");
        const uint32_t size = Le32(chunk + 4);
        const uint64_t body = at + 8;
        if (size > end - body)
            return Fail(reason, "its \"" + IdText(chunk) + "\" chunk claims " + std::to_string(size) +
                                    " bytes but only " + std::to_string(end - body) + " remain");
        if (IdIs(chunk, "fmt "))
        {
            // A longer format chunk is none this reader knows; a later one may still serve.
            if (size <= WaveRecord::kExtensibleFormatBytes)
            {
                uint8_t format[WaveRecord::kExtensibleFormatBytes] = {};
                if (stream->Read(format, size) != size) return Fail(reason, "it cannot be read to its end");
                const uint32_t tag = uint32_t(format[0]) | uint32_t(format[1]) << 8;
                if (tag == 1 && size >= WaveRecord::kPCMFormatBytes)
                {
                    record->formatKind = kWaveFormatPCM;
                    std::memcpy(record->format, format, WaveRecord::kPCMFormatBytes);
                }
                else if (tag == 0xFFFE && size >= WaveRecord::kExtensibleFormatBytes)
                {
                    record->formatKind = kWaveFormatExtensible;
                    std::memcpy(record->format, format, WaveRecord::kExtensibleFormatBytes);
                }
            }
        }
        else if (IdIs(chunk, "data"))
        {
            record->dataSize = size;
            record->dataOffset = body;
        }
        // Bodies are padded to an even length; a file may end without the last pad byte.
        uint64_t next = body + size + (size & 1u);
        if (next > end) next = end;
        if (!stream->Seek(next)) return Fail(reason, "it cannot be read to its end");
    }

    if (record->formatKind == kWaveFormatNone)
        return Fail(reason, "it has no PCM format (\"fmt \" chunk) this program can read");
    if (record->dataOffset == 0) return Fail(reason, "it has no sample data (\"data\" chunk)");
    if (record->dataSize == 0) return Fail(reason, "its sample data (\"data\" chunk) is empty");
    return kWaveReadOk;
}

}  // namespace TETLib
