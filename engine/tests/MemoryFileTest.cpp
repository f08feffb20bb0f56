#include "engine/MemoryFile.h"
#include "engine/File.h"
#include "engine/tests/ScratchFolder.h"

#include <gtest/gtest.h>

#include <fstream>

using Orvo::MemoryFile;

TEST(MemoryFile, ReadsLittleEndianValuesOnlyWhenWhole)
{
    const unsigned char bytes[] = {'O',  'I',  'R',  'F',  0x01, 0x02, 0x03, 0x04, 0x00, 0x00,
                                   0x80, 0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB, 0xCC};
    MemoryFile m;
    m.Open(bytes, sizeof bytes, "mesh.im");
    EXPECT_EQ(m.Name(), "mesh.im");
    EXPECT_TRUE(m.PeekTag("OIRF"));
    EXPECT_FALSE(m.PeekTag("IDXM"));
    ASSERT_TRUE(m.Skip(4));
    uint32_t u = 0;
    float f = 0;
    int32_t i = 0;
    ASSERT_TRUE(m.Read(u));
    EXPECT_EQ(u, 0x04030201u);
    ASSERT_TRUE(m.Read(f));
    EXPECT_EQ(f, 1.0f);
    ASSERT_TRUE(m.Read(i));
    EXPECT_EQ(i, -1);
    // Three bytes left: a four-byte read takes nothing and does not move.
    u = 7;
    EXPECT_FALSE(m.Read(u));
    EXPECT_EQ(u, 7u);
    EXPECT_EQ(m.Tell(), 16u);
    EXPECT_FALSE(m.Skip(4));
    uint16_t h = 0;
    ASSERT_TRUE(m.Read(h));
    EXPECT_EQ(h, 0xBBAA);
    EXPECT_FALSE(m.Seek(20));
    EXPECT_TRUE(m.Seek(19));
    EXPECT_EQ(m.Remaining(), 0u);
}

TEST(MemoryFile, CopiesAnOpenFile)
{
    ScratchFolder dir;
    const std::string path = dir / "res";
    std::ofstream(path, std::ios::binary) << "abcdef";
    Orvo::File f;
    ASSERT_EQ(f.Open(path, 16, 0), 0);
    f.Seek(3);  // the copy starts at the beginning whatever the position
    MemoryFile m;
    ASSERT_TRUE(m.Open(f, "res"));
    f.Close();
    EXPECT_EQ(m.Size(), 6u);
    char out[6];
    ASSERT_TRUE(m.ReadBytes(out, 6));
    EXPECT_EQ(std::string(out, 6), "abcdef");
    Orvo::File closed;
    EXPECT_FALSE(m.Open(closed, "none"));
}
