#include "core/TStream.h"

#include "engine/PString.h"

#include <bit>
#include <cstring>
#include <vector>

static_assert(std::endian::native == std::endian::little, "the stream readers assume a little-endian host");

bool TStream::ReadExact(void* dst, size_t n)
{
    if (n == 0) return true;
    if (Read(dst, n) != n)
    {
        ShortRead();
        return false;
    }
    return true;
}

bool TStream::WriteExact(const void* src, size_t n)
{
    if (n == 0) return true;
    if (Write(src, n) != n)
    {
        Failed(kStreamWriteFailed);
        return false;
    }
    return true;
}

namespace {
template <typename T>
T ReadValue(TStream& s, T def)
{
    T v;
    return s.ReadExact(&v, sizeof v) ? v : def;
}
}  // namespace

uint8_t TStream::ReadUInt8(uint8_t def) { return ReadValue(*this, def); }
uint16_t TStream::ReadUInt16(uint16_t def) { return ReadValue(*this, def); }
uint32_t TStream::ReadUInt32(uint32_t def) { return ReadValue(*this, def); }
int32_t TStream::ReadInt32(int32_t def) { return ReadValue(*this, def); }
uint64_t TStream::ReadUInt64(uint64_t def) { return ReadValue(*this, def); }
float TStream::ReadFloat(float def) { return ReadValue(*this, def); }
double TStream::ReadDouble(double def) { return ReadValue(*this, def); }

bool TStream::ReadBool(bool def)
{
    uint8_t b;
    return ReadExact(&b, 1) ? b != 0 : def;
}

bool TStream::ReadStringTo(std::string& out)
{
    uint32_t len;
    if (!ReadExact(&len, 4)) return false;
    if (len > Remaining())
    {
        // Never allocate what the stream cannot hold; leave the position after the length word.
        ShortRead();
        return false;
    }
    std::string s(len, '\0');
    if (!ReadExact(s.data(), len)) return false;
    size_t z = s.find('\0');
    if (z != std::string::npos) s.resize(z);
    out = std::move(s);
    return true;
}

std::string TStream::ReadString(const std::string& def)
{
    std::string s;
    return ReadStringTo(s) ? s : def;
}

KUID TStream::ReadKUID(const KUID& def)
{
    uint32_t w[2];
    if (!ReadExact(w, sizeof w)) return def;
    return KUID::FromStreamWords(w[0], w[1]);
}

uint32_t TStream::ReadCount(size_t minEntrySize)
{
    uint32_t n = ReadUInt32();
    if (HasError()) return 0;
    if (minEntrySize > 0 && n > Remaining() / minEntrySize)
    {
        ShortRead();
        return 0;
    }
    return n;
}

bool TStream::ReadKUIDList(std::vector<KUID>& out, uint32_t max)
{
    out.clear();
    uint32_t n = ReadCount(8);
    if (n > max) ShortRead();
    if (HasError()) return false;
    // The words of the whole list in one read, then decoded.
    std::vector<uint32_t> words(size_t{n} * 2);
    if (!ReadExact(words.data(), words.size() * 4)) return false;
    out.reserve(n);
    for (size_t i = 0; i < words.size(); i += 2) out.push_back(KUID::FromStreamWords(words[i], words[i + 1]));
    return true;
}

bool TStream::WriteKUIDList(const std::vector<KUID>& list)
{
    if (list.size() > UINT32_MAX / 8)
    {
        Failed(kStreamWriteFailed);
        return false;
    }
    std::vector<uint32_t> words;
    words.reserve(1 + list.size() * 2);
    words.push_back(static_cast<uint32_t>(list.size()));
    for (const KUID& k : list)
    {
        words.push_back(k.StreamWord0());
        words.push_back(k.StreamWord1());
    }
    return WriteExact(words.data(), words.size() * 4);
}

bool TStream::WriteUInt8(uint8_t v) { return WriteExact(&v, 1); }
bool TStream::WriteUInt16(uint16_t v) { return WriteExact(&v, 2); }
bool TStream::WriteUInt32(uint32_t v) { return WriteExact(&v, 4); }
bool TStream::WriteInt32(int32_t v) { return WriteExact(&v, 4); }
bool TStream::WriteUInt64(uint64_t v) { return WriteExact(&v, 8); }
bool TStream::WriteBool(bool v) { return WriteUInt8(v ? 1 : 0); }
bool TStream::WriteFloat(float v) { return WriteExact(&v, 4); }
bool TStream::WriteDouble(double v) { return WriteExact(&v, 8); }

bool TStream::WriteString(const char* text, size_t len)
{
    if (len >= 0xFFFFFFFFu)
    {
        Failed(kStreamWriteFailed);
        return false;
    }
    if (!WriteUInt32(static_cast<uint32_t>(len + 1))) return false;
    if (!WriteExact(text, len)) return false;
    return WriteUInt8(0);
}

bool TStream::WriteString(const char* text) { return WriteString(text ? text : "", text ? std::strlen(text) : 0); }

bool TStream::WriteKUID(const KUID& k)
{
    uint32_t w[2] = {k.StreamWord0(), k.StreamWord1()};
    return WriteExact(w, sizeof w);
}

uint64_t TStream::BeginLengthBlock()
{
    uint64_t pos = Tell();
    WriteUInt32(kLengthBlockPlaceholder);
    return pos;
}

bool TStream::EndLengthBlock(uint64_t pos)
{
    uint64_t here = Tell();
    if (here < pos + 4 || here - pos - 4 > 0xFFFFFFFFu)
    {
        Failed(kStreamWriteFailed);
        return false;
    }
    return WriteUInt32At(pos, static_cast<uint32_t>(here - pos - 4));
}

bool TStream::WriteUInt32At(uint64_t offset, uint32_t value)
{
    uint64_t here = Tell();
    if (!Seek(offset))
    {
        Failed(kStreamSeekFailed);
        return false;
    }
    bool ok = WriteUInt32(value);
    if (!Seek(here))
    {
        Failed(kStreamSeekFailed);
        return false;
    }
    return ok;
}

Orvo::PString TStream::ReadPString()
{
    std::string s;
    return ReadStringTo(s) ? Orvo::PString(s) : Orvo::PString();
}

bool TStream::WritePString(const Orvo::PString& text) { return WriteString(text.c_str(), text.length()); }
