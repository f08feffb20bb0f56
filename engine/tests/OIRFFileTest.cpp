// The OIRF container and the mesh files' padded strings: written, read back, and refused when damaged.
#include "engine/OIRFFile.h"
#include "engine/MemoryFile.h"
#include "engine/MeshFileSupport.h"
#include "engine/tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Orvo;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> out;
    for (int b : list) out.push_back(static_cast<uint8_t>(b));
    return out;
}

}  // namespace

TEST(OIRFFile, WritesNestedLengthsAndReadsThemBack)
{
    ScratchFolder folder;
    const std::string path = folder / "out.bin";
    {
        OIRFFile out;
        ASSERT_EQ(out.OpenOIRF("", path, 257), 0);
        OIRFWriteHeader header(out.GetFile(), OIRFTag("MMTF"));
        {
            OIRFChunkWriter outer(out.GetFile(), OIRFTag("INFO"), 100);
            MeshFileSupport::WritePaddedString(out.GetFile(), "abcde");
            OIRFChunkWriter inner(out.GetFile(), OIRFTag("LEVL"), 2);
            MeshFileSupport::WriteF32(out.GetFile(), 1.5f);
            EXPECT_TRUE(inner.Finish());
            EXPECT_TRUE(outer.Finish());
        }
        EXPECT_TRUE(header.Finish());
    }
    std::string bytes;
    ASSERT_TRUE(File::ReadFile(path, bytes));
    const std::string expected = std::string("OIRF") + std::string("\x2C\0\0\0", 4) + "MMTF" + "INFO" +
                                 std::string("\x20\0\0\0", 4) + std::string("\x64\0\0\0", 4) +
                                 std::string("\x05\0\0\0", 4) + "abcde" + std::string(3, '\0') + "LEVL" +
                                 std::string("\x08\0\0\0\x02\0\0\0", 8) + std::string("\0\0\xC0\x3F", 4);
    EXPECT_EQ(bytes, expected);

    OIRFFile in;
    ASSERT_EQ(in.Open(path), 0);
    EXPECT_EQ(in.GetFormTag(), 0x46544D4Du);
    EXPECT_EQ(in.GetFormEnd(), bytes.size());
    OIRFChunk info;
    ASSERT_TRUE(in.ReadChunk(info));
    EXPECT_EQ(OIRFTagText(info.tag), "INFO");
    EXPECT_EQ(info.version, 100u);
    std::string name;
    ASSERT_TRUE(MeshFileSupport::ReadPaddedString(in.Data(), name));
    EXPECT_EQ(name, "abcde");
    OIRFChunk levl;
    ASSERT_TRUE(OIRFFile::ReadChunk(in.Data(), levl, info.end));
    EXPECT_EQ(levl.end, bytes.size());
    EXPECT_TRUE(in.SkipChunk(info));
    EXPECT_FALSE(in.FindChunk(OIRFTag("INFO"), info));
}

TEST(OIRFFile, RefusesContainersThatDoNotFit)
{
    const struct
    {
        const char* what;
        std::vector<uint8_t> bytes;
        int result;
    } cases[] = {
        {"empty", {}, 3},
        {"smallest", Bytes({'O', 'I', 'R', 'F', 4, 0, 0, 0, 'I', 'D', 'X', 'M'}), 0},
        {"wrong tag", Bytes({'O', 'I', 'R', 'G', 4, 0, 0, 0, 'I', 'D', 'X', 'M'}), 3},
        {"form beyond the data", Bytes({'O', 'I', 'R', 'F', 5, 0, 0, 0, 'I', 'D', 'X', 'M'}), 3},
        {"huge form length", Bytes({'O', 'I', 'R', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'I', 'D', 'X', 'M'}), 3},
        {"no form tag", Bytes({'O', 'I', 'R', 'F', 0, 0, 0, 0}), 3},
    };
    for (const auto& c : cases)
    {
        OIRFFile in;
        EXPECT_EQ(in.OpenMemory(c.bytes.data(), c.bytes.size(), "x"), c.result) << c.what;
    }
    OIRFFile missing;
    EXPECT_EQ(missing.Open("/nonexistent/velmar/x.im"), 2);
}

TEST(OIRFFile, ChunkHeadersAreBoundedByTheirParent)
{
    // A chunk of length 8 inside a form that leaves only 7 bytes for it; then one that fits.
    auto bytes = Bytes({'O', 'I', 'R', 'F', 20, 0, 0,   0, 'L', 'O', 'D', 'M', 'I', 'N',
                        'F', 'O', 9,   0,   0,  0, 100, 0, 0,   0,   1,   2,   3,   4});
    OIRFFile in;
    ASSERT_EQ(in.OpenMemory(bytes.data(), bytes.size(), "x"), 0);
    OIRFChunk chunk;
    EXPECT_FALSE(in.ReadChunk(chunk));
    EXPECT_EQ(in.Data().Tell(), 12u);
    bytes[16] = 8;
    ASSERT_EQ(in.OpenMemory(bytes.data(), bytes.size(), "x"), 0);
    ASSERT_TRUE(in.ReadChunk(chunk));
    EXPECT_EQ(chunk.end, 28u);
    EXPECT_EQ(chunk.dataStart, 24u);
}

TEST(MeshFileSupport, PaddedStringsAreBounded)
{
    const struct
    {
        std::vector<uint8_t> bytes;
        bool ok;
        const char* text;
    } cases[] = {
        {Bytes({0, 0, 0, 0}), true, ""},
        {Bytes({2, 0, 0, 0, 'a', 'b', 0, 0}), true, "ab"},
        {Bytes({4, 0, 0, 0, 'a', 'b', 'c', 'd'}), true, "abcd"},
        {Bytes({2, 0, 0, 0, 'a', 'b'}), false, ""},  // the padding is missing
        {Bytes({0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b', 0, 0}), false, ""},
        {Bytes({1, 0, 0}), false, ""},
    };
    for (const auto& c : cases)
    {
        MemoryFile in;
        in.Open(c.bytes.data(), c.bytes.size(), "s");
        std::string text = "unchanged";
        EXPECT_EQ(MeshFileSupport::ReadPaddedString(in, text), c.ok);
        if (c.ok)
        {
            EXPECT_EQ(text, c.text);
            EXPECT_EQ(in.Remaining(), 0u);
        }
        else
        {
            EXPECT_EQ(text, "unchanged");
            EXPECT_EQ(in.Tell(), 0u);
        }
    }
}
