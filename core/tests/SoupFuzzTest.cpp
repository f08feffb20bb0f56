// Random damage to valid files must be refused or read, never crash or read outside the data.
// Also built with the address and undefined-behaviour sanitizers (velmar_core_soup_asan_tests).
#include "core/SoupBinary.h"
#include "core/SoupText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

namespace {

std::string ValidBinaryFile()
{
    TDBTagRef t;
    t.SetChildKUID("kuid", KUID(123, 456, 2));
    t.SetChildString("username", "Loco");
    t.SetChildFloats("pos", std::vector<float>{1, 2, 3});
    t.SetChildInts("ints", {1, 2});
    t.SetChildKUIDs("deps", {KUID(1, 2, 0), KUID(3, 4, 5)});
    t.SetChildBinary("blob", "\x01\x02\x03", 3);
    t.SetChildNull("nothing");
    TDBTagRef box = t.CreateChildContainer("mesh-table");
    box.CreateChildContainer("default").SetChildString("mesh", "a.im");
    box.CreateChildContainer("lod").CreateChildContainer("deeper").SetChildInt("x", 7);
    std::string bytes;
    WriteSoupBinary(t, bytes);
    return bytes;
}

// Reads from a heap block of exactly the data's size, so that any read past it is caught by the sanitizer.
SoupBinaryResult ReadExactBlock(const std::string& data, TDBTagRef& out)
{
    std::unique_ptr<char[]> block(new char[data.size() ? data.size() : 1]);
    std::memcpy(block.get(), data.data(), data.size());
    return ReadSoupBinary(block.get(), data.size(), out);
}

std::string Mutate(std::string s, std::mt19937& rng)
{
    auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e)
    {
        switch (rng() % 6)
        {
        case 0:  // flip one byte
            if (!s.empty()) s[pick(s.size())] ^= static_cast<char>(1 + rng() % 255);
            break;
        case 1:  // truncate
            s.resize(pick(s.size() + 1));
            break;
        case 2:  // insert random bytes
            s.insert(pick(s.size() + 1), std::string(1 + rng() % 8, static_cast<char>(rng())));
            break;
        case 3:  // a random 32-bit word somewhere (hits the size fields)
            if (s.size() >= 4)
            {
                uint32_t v = rng() % 3 ? static_cast<uint32_t>(rng()) : static_cast<uint32_t>(rng() % 64);
                std::memcpy(&s[pick(s.size() - 3)], &v, 4);
            }
            break;
        case 4:  // erase a run
            if (!s.empty())
            {
                size_t at = pick(s.size());
                s.erase(at, 1 + pick(16));
            }
            break;
        default:  // keep the header's body size consistent so the chunks themselves get tested
            if (s.size() >= 16)
            {
                uint32_t body = static_cast<uint32_t>(s.size() - 16);
                std::memcpy(&s[12], &body, 4);
            }
            break;
        }
    }
    return s;
}

}  // namespace

TEST(SoupFuzz, DamagedBinaryFilesNeverCrash)
{
    const std::string valid = ValidBinaryFile();
    std::mt19937 rng(20240611);
    int accepted = 0;
    for (int i = 0; i < 6000; ++i)
    {
        std::string bad = Mutate(valid, rng);
        TDBTagRef t;
        if (ReadExactBlock(bad, t) == SoupBinaryResult::kOK)
        {
            ++accepted;
            // Whatever was accepted writes back to a file that reads again.
            std::string again;
            ASSERT_TRUE(WriteSoupBinary(t, again));
            TDBTagRef u;
            ASSERT_EQ(ReadExactBlock(again, u), SoupBinaryResult::kOK);
            std::string text;
            WriteSoupText(t, text);
        }
        else
        {
            ASSERT_EQ(t.Get(), nullptr);
        }
    }
    EXPECT_GT(accepted, 0);  // some mutations leave a well-formed file
}

TEST(SoupFuzz, DamagedTextFilesNeverCrash)
{
    TDBTagRef t;
    ASSERT_EQ(ReadSoupBinary(ValidBinaryFile().data(), ValidBinaryFile().size(), t), SoupBinaryResult::kOK);
    std::string valid;
    WriteSoupText(t, valid);
    std::mt19937 rng(77);
    for (int i = 0; i < 2000; ++i)
    {
        std::string bad = Mutate(valid, rng);
        TDBTagRef u;
        if (ReadSoupText(bad, "fuzz.txt", u))
        {
            std::string again;
            WriteSoupText(u, again);
            TDBTagRef w;
            ASSERT_TRUE(ReadSoupText(again, "fuzz2.txt", w)) << again;
        }
    }
}
