#include "core/TBuffer.h"
#include "core/TFile.h"
#include "core/TSubFile.h"

#include "engine/PString.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {
void WriteAll(TStream& s)
{
    s.WriteUInt8(0xAB);
    s.WriteUInt16(0xBEEF);
    s.WriteUInt32(0xDEADBEEF);
    s.WriteInt32(-7);
    s.WriteUInt64(0x0123456789ABCDEFull);
    s.WriteBool(true);
    s.WriteFloat(1.5f);
    s.WriteDouble(-2.25);
    s.WriteString("hello");
    s.WritePString(Orvo::PString("world"));
    s.WriteKUID(KUID(3, 4, 5));
}
void ReadAll(TStream& s)
{
    EXPECT_EQ(s.ReadUInt8(), 0xAB);
    EXPECT_EQ(s.ReadUInt16(), 0xBEEF);
    EXPECT_EQ(s.ReadUInt32(), 0xDEADBEEFu);
    EXPECT_EQ(s.ReadInt32(), -7);
    EXPECT_EQ(s.ReadUInt64(), 0x0123456789ABCDEFull);
    EXPECT_TRUE(s.ReadBool());
    EXPECT_EQ(s.ReadFloat(), 1.5f);
    EXPECT_EQ(s.ReadDouble(), -2.25);
    EXPECT_EQ(s.ReadString(), "hello");
    EXPECT_EQ(s.ReadPString(), Orvo::PString("world"));
    EXPECT_EQ(s.ReadKUID(), KUID(3, 4, 5));
    EXPECT_FALSE(s.HasError());
}
}  // namespace

TEST(Stream, BufferAndFileRoundTripEveryType)
{
    TBuffer b;
    WriteAll(b);
    // Strings are a u32 length counting the terminating zero, then the bytes.
    const uint8_t* d = b.Data();
    uint32_t len;
    std::memcpy(&len, d + 32, 4);
    EXPECT_EQ(len, 6u);
    EXPECT_EQ(std::memcmp(d + 36, "hello\0", 6), 0);
    b.Seek(0);
    ReadAll(b);

    std::string path = std::string(VELMAR_TEST_BINARY_DIR) + "/stream_test.bin";
    {
        TFile f(path, TFile::kWrite);
        ASSERT_TRUE(f.IsOpen());
        WriteAll(f);
        EXPECT_EQ(f.Size(), b.Size());
    }
    TFile f(path, TFile::kRead);
    ASSERT_TRUE(f.IsOpen());
    EXPECT_EQ(f.Size(), b.Size());
    ReadAll(f);
    f.Close();
    std::remove(path.c_str());

    TFile missing(path, TFile::kRead);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.GetError(), kStreamOpenFailed);
    TFile folder(VELMAR_TEST_BINARY_DIR, TFile::kRead);
    EXPECT_FALSE(folder.IsOpen());
}

TEST(Stream, ShortReadsSetErrorFourAndYieldDefaults)
{
    TBuffer b;
    b.WriteUInt16(1);
    b.Seek(0);
    EXPECT_EQ(b.ReadUInt32(99), 99u);
    EXPECT_EQ(b.GetError(), kStreamShortRead);
    b.SetError(9);
    EXPECT_EQ(b.ReadUInt32(5), 5u);
    EXPECT_EQ(b.GetError(), 9);  // an earlier error is kept

    // A string length above what remains: a short read, never an allocation of that size.
    TBuffer huge;
    huge.WriteUInt32(0xFFFFFFF0u);
    huge.WriteUInt32(0);
    huge.Seek(0);
    EXPECT_EQ(huge.ReadString("def"), "def");
    EXPECT_EQ(huge.GetError(), kStreamShortRead);

    // Length 0 is tolerated as an empty text; the text ends at its first zero byte.
    TBuffer z;
    z.WriteUInt32(0);
    z.WriteUInt32(4);
    z.Write("ab\0c", 4);
    z.Seek(0);
    EXPECT_EQ(z.ReadString("x"), "");
    EXPECT_EQ(z.ReadString("x"), "ab");
    EXPECT_FALSE(z.HasError());
}

TEST(Stream, LengthBlocksAndWritesAtOffsets)
{
    TBuffer b;
    b.WriteUInt32(1);
    uint64_t at = b.BeginLengthBlock();
    EXPECT_EQ(at, 4u);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(b.Data())[1], 0xFEEDCEEBu);
    b.WriteString("abc");
    EXPECT_TRUE(b.EndLengthBlock(at));
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(b.Data())[1], 8u);
    EXPECT_TRUE(b.WriteUInt32At(0, 42));
    EXPECT_EQ(b.Tell(), b.Size());  // back where it was
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(b.Data())[0], 42u);
    EXPECT_FALSE(b.WriteUInt32At(1000, 1));
    EXPECT_TRUE(b.HasError());
}

TEST(Stream, SubFileStaysInsideItsWindow)
{
    TBuffer b;
    for (uint32_t i = 0; i < 10; ++i) b.WriteUInt32(i);
    TSubFile w(b, 8, 12);  // words 2..4
    EXPECT_EQ(w.Size(), 12u);
    EXPECT_EQ(w.ReadUInt32(), 2u);
    EXPECT_EQ(w.ReadUInt32(), 3u);
    EXPECT_EQ(w.ReadUInt32(), 4u);
    EXPECT_EQ(w.ReadUInt32(77), 77u);
    EXPECT_EQ(w.GetError(), kStreamShortRead);
    EXPECT_FALSE(w.Seek(13));
    EXPECT_TRUE(w.Seek(4));
    w.WriteUInt32(33);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(b.Data())[3], 33u);
    w.Seek(8);
    EXPECT_EQ(w.Write("12345678", 8), 4u);  // clipped at the window's end

    TSubFile past(b, 36, 100);  // clipped to the parent's size
    EXPECT_EQ(past.Size(), 4u);
    TSubFile beyond(b, 1000, 4);
    EXPECT_EQ(beyond.Size(), 0u);
}
