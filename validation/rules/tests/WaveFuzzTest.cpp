// Damaged wave files, made by seeded random edits of good ones: whatever they hold, the reader ends with a
// result, never reads or seeks past the file, and a file it accepts has its samples inside the file.
// VELMAR_FUZZ_ITERATIONS runs a longer campaign, VELMAR_FUZZ_SEED another one.
#include "WaveBytes.h"

#include "core/TBuffer.h"
#include "validation/rules/WaveFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace {

using namespace wave_bytes;

// A stream that fails the test when a read or a seek reaches past its end.
class StrictBuffer : public TBuffer
{
public:
    using TBuffer::TBuffer;
    size_t Read(void* dst, size_t n) override
    {
        EXPECT_LE(Tell() + n, Size()) << "read past the end";
        return TBuffer::Read(dst, n);
    }
    bool Seek(uint64_t pos) override
    {
        EXPECT_LE(pos, Size()) << "seek past the end";
        return TBuffer::Seek(pos);
    }
};

std::string Mutate(std::string bytes, std::mt19937& rng)
{
    auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    const uint32_t sizes[] = {0, 1, 2, 15, 16, 39, 40, 41, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFFFu};
    const char* const ids[] = {"RIFF", "riff", "WAVE", "fmt ", "FMT ", "data", "DATA", "LIST", "\0\0\0\0"};
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e)
    {
        switch (rng() % 6)
        {
        case 0:  // flip a byte
            if (!bytes.empty()) bytes[pick(bytes.size())] ^= static_cast<char>(1 + rng() % 255);
            break;
        case 1:  // cut the file short
            bytes.resize(pick(bytes.size() + 1));
            break;
        case 2:  // a size word that lies
            if (bytes.size() >= 4) bytes.replace(pick(bytes.size() - 3), 4, U32(sizes[pick(std::size(sizes))]));
            break;
        case 3:  // a chunk id somewhere
            if (bytes.size() >= 4) bytes.replace(pick(bytes.size() - 3), 4, std::string(ids[pick(std::size(ids))], 4));
            break;
        case 4:  // a chunk of any size inserted between chunks or anywhere
            bytes.insert(pick(bytes.size() + 1), ChunkClaiming(std::string(ids[pick(std::size(ids))], 4),
                                                               sizes[pick(std::size(sizes))], Samples(pick(9))));
            break;
        default:  // repeat a run of bytes
            if (!bytes.empty())
            {
                const size_t from = pick(bytes.size());
                const std::string run = bytes.substr(from, 1 + pick(48));
                bytes.insert(pick(bytes.size() + 1), run);
            }
            break;
        }
    }
    return bytes;
}

TEST(WaveFuzzTest, DamagedFilesEndInAResultNeverOutsideTheFile)
{
    const std::string seeds[] = {
        CanonicalWave(),
        Riff(Chunk("fmt ", ExtensibleFormat()) + Chunk("LIST", "INFOISFT\x05\0\0\0abcd") + Chunk("data", Samples(33))),
        Riff(Chunk("LIST", "x") + Chunk("fmt ", PcmFormat(2, 44100, 8)) + Chunk("data", Samples(7), false)),
    };
    const char* env = std::getenv("VELMAR_FUZZ_ITERATIONS");
    const int iterations = env != nullptr ? std::atoi(env) : 20000;
    const char* seed = std::getenv("VELMAR_FUZZ_SEED");
    std::mt19937 rng(seed != nullptr ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10)) : 20260607u);
    int accepted = 0;
    for (int i = 0; i < iterations; ++i)
    {
        const std::string bytes = Mutate(seeds[rng() % std::size(seeds)], rng);
        StrictBuffer stream(bytes.data(), bytes.size());
        TETLib::WaveRecord record;
        std::string reason;
        const int result = TETLib::ReadWaveHeader(&stream, &record, &reason);
        ASSERT_TRUE(result == 0 || result == -2) << "iteration " << i;
        ASSERT_EQ(result != 0, !reason.empty()) << "iteration " << i;
        if (result != 0) continue;
        ++accepted;
        ASSERT_TRUE(record.formatKind == 1 || record.formatKind == 2) << "iteration " << i;
        ASSERT_GT(record.dataSize, 0u) << "iteration " << i;
        ASSERT_LE(record.dataOffset + record.dataSize, bytes.size()) << "iteration " << i;
        if (::testing::Test::HasFailure()) FAIL() << "iteration " << i;
    }
    // The edits must leave some files good, or the campaign tests only the refusals.
    EXPECT_GT(accepted, iterations / 20);
}

}  // namespace
