#include "core/Crc32.h"

#include <gtest/gtest.h>

#include <string>

TEST(Crc32, KnownVectorsAndContinuation)
{
    EXPECT_EQ(Crc32("", 0), 0u);
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    const std::string s = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(Crc32(s.data(), s.size()), 0x414FA339u);
    // Feeding the text in two pieces gives the same result as feeding it whole.
    uint32_t part = Crc32(s.data(), 10);
    EXPECT_EQ(Crc32(s.data() + 10, s.size() - 10, part), 0x414FA339u);
}
