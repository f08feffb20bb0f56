#include "core/Sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(const Sha256Digest& d, size_t bytes = 32)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < bytes; ++i)
    {
        s += digits[d[i] >> 4];
        s += digits[d[i] & 15];
    }
    return s;
}

std::string Hmac(const std::string& key, const std::string& data)
{
    return Hex(HmacSha256(key.data(), key.size(), data.data(), data.size()));
}

}  // namespace

TEST(Sha256, StandardVectorsAndPiecewiseInput)
{
    EXPECT_EQ(Hex(Sha256Of("", 0)), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex(Sha256Of("abc", 3)), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Hex(Sha256Of(two.data(), two.size())),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    const std::string million(1000000, 'a');
    EXPECT_EQ(Hex(Sha256Of(million.data(), million.size())),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    // Every split of a text around the block and padding boundaries gives the digest of the whole.
    std::string text;
    for (int i = 0; i < 130; ++i) text += static_cast<char>('A' + i % 26);
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 130u})
    {
        const Sha256Digest whole = Sha256Of(text.data(), length);
        for (size_t cut = 0; cut <= length; cut += 7)
        {
            Sha256 h;
            h.Update(text.data(), cut);
            h.Update(text.data() + cut, length - cut);
            EXPECT_EQ(h.Finish(), whole) << length << " cut at " << cut;
        }
    }
}

// RFC 4231, test cases 1 to 7.
TEST(Sha256, HmacStandardVectors)
{
    EXPECT_EQ(Hmac(std::string(20, '\x0b'), "Hi There"),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    EXPECT_EQ(Hmac("Jefe", "what do ya want for nothing?"),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_EQ(Hmac(std::string(20, '\xaa'), std::string(50, '\xdd')),
              "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe");
    std::string key4;
    for (int i = 1; i <= 25; ++i) key4 += static_cast<char>(i);
    EXPECT_EQ(Hmac(key4, std::string(50, '\xcd')), "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b");
    const std::string key5(20, '\x0c');
    const std::string data5 = "Test With Truncation";
    EXPECT_EQ(Hex(HmacSha256(key5.data(), key5.size(), data5.data(), data5.size()), 16),
              "a3b6167473100ee06e0c796c2955552b");
    // Keys longer than a block are hashed first.
    const std::string longKey(131, '\xaa');
    EXPECT_EQ(Hmac(longKey, "Test Using Larger Than Block-Size Key - Hash Key First"),
              "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
    EXPECT_EQ(Hmac(longKey, "This is a test using a larger than block-size key and a larger than block-size data. The "
                            "key needs to be hashed before being used by the HMAC algorithm."),
              "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2");
}

TEST(Sha256, DigestsEqualTellsEveryByte)
{
    const Sha256Digest a = Sha256Of("x", 1);
    EXPECT_TRUE(DigestsEqual(a, a));
    for (size_t i = 0; i < a.size(); ++i)
    {
        Sha256Digest b = a;
        b[i] ^= 0x80;
        EXPECT_FALSE(DigestsEqual(a, b)) << i;
    }
}
