#include "script/compiler/GSEncodedSource.h"

#include "core/Crc32.h"

#include <cstring>

namespace {

constexpr char kMagic[4] = {'V', 'G', 'S', 'E'};
constexpr uint64_t kKey = 0x5f3a9c1d7e2b4806ull;

// A xorshift64* byte stream keyed by a fixed key and the text length. XOR with it both encodes and decodes.
void ApplyKeyStream(char* data, size_t size)
{
    uint64_t s = kKey ^ (static_cast<uint64_t>(size) * 0x9E3779B97F4A7C15ull);
    if (s == 0) s = kKey;
    for (size_t i = 0; i < size; ++i)
    {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        data[i] = static_cast<char>(static_cast<unsigned char>(data[i]) ^
                                    static_cast<unsigned char>((s * 0x2545F4914F6CDD1Dull) >> 56));
    }
}

void PutU32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t GetU32(const char* p)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

}  // namespace

std::string EncodeGseSource(std::string_view text)
{
    std::string out;
    out.reserve(kGseHeaderSize + text.size());
    out.append(kMagic, 4);
    PutU32(out, kGseVersion);
    PutU32(out, static_cast<uint32_t>(text.size()));
    PutU32(out, Crc32(text.data(), text.size()));
    size_t at = out.size();
    out.append(text);
    ApplyKeyStream(out.data() + at, text.size());
    return out;
}

bool DecodeGseSource(std::string_view file, std::string* text, std::string* error)
{
    auto fail = [&](const char* why) {
        if (error) *error = why;
        return false;
    };
    if (file.size() < kGseHeaderSize || std::memcmp(file.data(), kMagic, 4) != 0) return fail("not an encoded script");
    uint32_t version = GetU32(file.data() + 4);
    if (version > kGseVersion) return fail("encoded script made by a newer version");
    if (version != kGseVersion) return fail("unknown encoded script version");
    uint32_t length = GetU32(file.data() + 8);
    if (file.size() - kGseHeaderSize != length) return fail("encoded script is damaged (wrong length)");
    std::string plain(file.substr(kGseHeaderSize));
    ApplyKeyStream(plain.data(), plain.size());
    if (Crc32(plain.data(), plain.size()) != GetU32(file.data() + 12))
        return fail("encoded script is damaged (checksum mismatch)");
    *text = std::move(plain);
    return true;
}
