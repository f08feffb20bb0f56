// The wave file reader on hand-made files: what it records of a good file, and which faults it refuses
// with which reason.
#include "WaveBytes.h"

#include "core/TBuffer.h"
#include "validation/rules/WaveFile.h"
#include "validation/rules/WaveTable.h"

#include <gtest/gtest.h>

namespace {

using namespace wave_bytes;
using TETLib::ReadWaveHeader;
using TETLib::WaveRecord;

struct Case
{
    const char* name;
    std::string bytes;
    int result;
    uint32_t kind = 0;
    uint32_t dataSize = 0;
    uint64_t dataOffset = 0;
    const char* reason = "";
};

TEST(WaveFileTest, ChunkStructureAndFaults)
{
    const std::string fmt = Chunk("fmt ", PcmFormat());
    const std::string data = Chunk("data", Samples(400));
    const std::string riffClaiming4GB = "RIFF" + U32(0xFFFFFFFFu) + "WAVE" + fmt + data;
    const Case cases[] = {
        {"canonical 16-bit PCM", CanonicalWave(), 0, 1, 400, 44},
        {"lower-case riff and wave", Riff(fmt + data, "riff", "wave"), 0, 1, 400, 44},
        {"extensible format", Riff(Chunk("fmt ", ExtensibleFormat()) + data), 0, 2, 400, 68},
        {"odd LIST chunk and its pad byte skipped", Riff(fmt + Chunk("LIST", "INFOx") + data), 0, 1, 400, 58},
        {"unknown chunk after the samples", Riff(fmt + data + Chunk("cue ", std::string(24, '\0'))), 0, 1, 400, 44},
        {"odd last chunk without its pad byte", Riff(fmt + Chunk("data", Samples(401), false)), 0, 1, 401, 44},
        {"RIFF size claiming 4 GB", riffClaiming4GB, 0, 1, 400, 44},
        // A streamed file: the samples run to the file's end, and what is kept of them is in the file.
        {"data chunk claiming 4 GB", Riff(fmt + ChunkClaiming("data", 0xFFFFFFFFu, Samples(400))), 0, 1, 400, 44},
        {"data chunk claiming 4 GB over an odd count", Riff(fmt + ChunkClaiming("data", 0xFFFFFFFFu, Samples(7))), 0, 1,
         7, 44},
        {"file cut short in its samples", CanonicalWave().substr(0, 300), 0, 1, 256, 44},
        // Bytes after the last chunk too few for a chunk header end the file.
        {"one byte after the last chunk", CanonicalWave() + '\x7F', 0, 1, 400, 44},
        {"seven bytes after the last chunk", CanonicalWave() + std::string("LIST\x04\0\0", 7), 0, 1, 400, 44},
        {"a cut-short header after an odd chunk's pad byte", Riff(fmt + Chunk("data", Samples(401))) + "cue", 0, 1, 401,
         44},
        // An extensible format shorter than its 40 bytes still names its kind.
        {"extensible format of 18 bytes", Riff(Chunk("fmt ", ExtensibleFormat().substr(0, 18)) + data), 0, 2, 400, 46},
        {"extensible format tag alone", Riff(Chunk("fmt ", U16(0xFFFE)) + data), 0, 2, 400, 30},
        {"the older 14-byte PCM format block", Riff(Chunk("fmt ", PcmFormat().substr(0, 14)) + data), 0, 1, 400, 42},
        {"PCM format tag alone", Riff(Chunk("fmt ", U16(1)) + data), 0, 1, 400, 30},
        {"a later format chunk serves", Riff(Chunk("fmt ", std::string(42, '\0')) + fmt + data), 0, 1, 400, 94},
        {"no data chunk", Riff(fmt), -2, 1, 0, 0, "no sample data"},
        {"empty data chunk", Riff(fmt + Chunk("data", "")), -2, 1, 0, 44, "is empty"},
        {"no format chunk", Riff(data), -2, 0, 400, 20, "no PCM format"},
        {"format chunk too long to be one", Riff(Chunk("fmt ", std::string(42, '\0')) + data), -2, 0, 400, 70,
         "no PCM format"},
        {"float samples", Riff(Chunk("fmt ", PcmFormat(1, 8000, 32, 3)) + data), -2, 0, 400, 44, "no PCM format"},
        // What a streamed data chunk claims is not read as chunks, nor are its samples looked at.
        {"data chunk claiming 4 GB holding nothing", Riff(fmt + ChunkClaiming("data", 0xFFFFFFFFu, "")), -2, 1, 0, 44,
         "is empty"},
        {"data chunk claiming 4 GB before the format",
         Riff(ChunkClaiming("data", 0xFFFFFFFFu, fmt) + Chunk("fmt ", PcmFormat())), -2, 0, 48, 20, "no PCM format"},
        // Any other chunk must fit in the file.
        {"LIST chunk claiming 4 GB", Riff(fmt + ChunkClaiming("LIST", 0xFFFFFFFFu, "INFO") + data), -2, 1, 0, 0,
         "\"LIST\" chunk claims 4294967295 bytes but only 412 remain"},
        {"format chunk cut short by the file's end", Riff(ChunkClaiming("fmt ", 16, PcmFormat().substr(0, 10))), -2, 0,
         0, 0, "\"fmt \" chunk claims 16 bytes but only 10 remain"},
        {"extensible format too short for its tag", Riff(Chunk("fmt ", std::string(1, '\xFE')) + data), -2, 0, 400, 30,
         "no PCM format"},
        {"header cut short", CanonicalWave().substr(0, 10), -2, 0, 0, 0, "too short"},
        {"not RIFF", Riff(fmt + data, "RIFX"), -2, 0, 0, 0, "not a RIFF/WAVE file"},
        {"not WAVE", Riff(fmt + data, "RIFF", "AVI "), -2, 0, 0, 0, "not a RIFF/WAVE file"},
        {"empty file", "", -2, 0, 0, 0, "too short"},
    };
    for (const Case& c : cases)
    {
        TBuffer stream(c.bytes.data(), c.bytes.size());
        WaveRecord record;
        std::string reason;
        EXPECT_EQ(ReadWaveHeader(&stream, &record, &reason), c.result) << c.name << ": " << reason;
        EXPECT_EQ(record.formatKind, c.kind) << c.name;
        EXPECT_EQ(record.dataSize, c.dataSize) << c.name;
        EXPECT_EQ(record.dataOffset, c.dataOffset) << c.name;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.name << ": " << reason;
        EXPECT_EQ(record.stream, &stream) << c.name;
    }
}

TEST(WaveFileTest, FormatBlockAndArguments)
{
    const std::string bytes = Riff(Chunk("fmt ", PcmFormat(2, 22050, 8)) + Chunk("data", Samples(10)));
    TBuffer stream(bytes.data(), bytes.size());
    WaveRecord record;
    ASSERT_EQ(ReadWaveHeader(&stream, &record), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.format), 16), PcmFormat(2, 22050, 8));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.format + 16), 24), std::string(24, '\0'));

    // An extensible format shorter than 40 bytes: what it has, then zeros.
    const std::string shortExtensible = ExtensibleFormat().substr(0, 22);
    const std::string extensibleBytes = Riff(Chunk("fmt ", shortExtensible) + Chunk("data", Samples(10)));
    TBuffer extensible(extensibleBytes.data(), extensibleBytes.size());
    ASSERT_EQ(ReadWaveHeader(&extensible, &record), 0);
    EXPECT_EQ(record.formatKind, 2u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.format), 40), shortExtensible + std::string(18, '\0'));

    // The older 14-byte PCM block: its fields, then zeros where the bits per sample would be; nothing of the
    // data chunk's header that follows it is read into the block.
    const std::string olderBytes =
        Riff(Chunk("fmt ", PcmFormat(2, 22050, 8).substr(0, 14)) + Chunk("data", Samples(10)));
    TBuffer older(olderBytes.data(), olderBytes.size());
    ASSERT_EQ(ReadWaveHeader(&older, &record), 0);
    EXPECT_EQ(record.formatKind, 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.format), 16),
              PcmFormat(2, 22050, 8).substr(0, 14) + std::string(2, '\0'));

    EXPECT_EQ(ReadWaveHeader(&stream, nullptr), -3);
    EXPECT_EQ(ReadWaveHeader(nullptr, &record), -2);
}

TEST(WaveFileTest, TheWaveTableHolds1024Waves)
{
    const std::string good = CanonicalWave();
    const std::string bad = Riff(Chunk("fmt ", PcmFormat()));
    TETLib::SoundManagerOpenALCWaves table;
    uint32_t slot = 99;
    EXPECT_EQ(table.AddWave(nullptr, &slot), -3);
    TBuffer refused(bad.data(), bad.size());
    EXPECT_EQ(table.AddWave(&refused, &slot), -2);
    EXPECT_EQ(slot, 99u);
    EXPECT_EQ(table.Count(), 0u);
    for (uint32_t i = 0; i < TETLib::SoundManagerOpenALCWaves::kSlots; ++i)
    {
        TBuffer stream(good.data(), good.size());
        ASSERT_EQ(table.AddWave(&stream, &slot), 0);
        ASSERT_EQ(slot, i);
        EXPECT_EQ(table.GetWave(i)->dataOffset, 44u);
    }
    TBuffer one(good.data(), good.size());
    std::string reason;
    EXPECT_EQ(table.AddWave(&one, &slot, &reason), -14);
    EXPECT_EQ(reason, "one sound entry can load at most 1024 sound files, and this is one more");
    EXPECT_EQ(slot, 1023u);
    EXPECT_EQ(table.Count(), 1024u);
    // A full table still reads a file first: a bad one says what is wrong with it.
    TBuffer again(bad.data(), bad.size());
    EXPECT_EQ(table.AddWave(&again, &slot), -2);
    EXPECT_EQ(table.GetWave(1024), nullptr);
}

}  // namespace
