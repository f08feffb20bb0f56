#include "assetdb/VADWireIO.h"

#include <bit>
#include <cstring>

void VADWriter::U16(uint16_t v)
{
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void VADWriter::U32(uint32_t v)
{
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void VADWriter::U64(uint64_t v)
{
    for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void VADWriter::F32(float v) { U32(std::bit_cast<uint32_t>(v)); }

void VADWriter::String(std::string_view text)
{
    U32(static_cast<uint32_t>(text.size() + 1));
    Raw(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    U8(0);
}

void VADWriter::Kuid(const KUID& k)
{
    U32(k.StreamWord0());
    U32(k.StreamWord1());
}

void VADWriter::KuidList(const std::vector<KUID>& list)
{
    U32(static_cast<uint32_t>(list.size()));
    for (const KUID& k : list) Kuid(k);
}

void VADWriter::StringList(const std::vector<std::string>& list)
{
    U32(static_cast<uint32_t>(list.size()));
    for (const std::string& s : list) String(s);
}

void VADWriter::Blob(const uint8_t* data, size_t n)
{
    U32(static_cast<uint32_t>(n));
    Raw(data, n);
}

void VADWriter::PatchU32(size_t offset, uint32_t v)
{
    if (offset + 4 > bytes_.size()) return;
    for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool VADReader::Take(size_t n, const uint8_t*& p)
{
    if (!ok_ || n > size_ - pos_)
    {
        ok_ = false;
        return false;
    }
    p = data_ + pos_;
    pos_ += n;
    return true;
}

uint8_t VADReader::U8()
{
    const uint8_t* p;
    return Take(1, p) ? p[0] : 0;
}

uint16_t VADReader::U16()
{
    const uint8_t* p;
    return Take(2, p) ? static_cast<uint16_t>(p[0] | (p[1] << 8)) : 0;
}

uint32_t VADReader::U32()
{
    const uint8_t* p;
    if (!Take(4, p)) return 0;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t VADReader::U64()
{
    uint64_t lo = U32();
    uint64_t hi = U32();
    return ok_ ? (lo | (hi << 32)) : 0;
}

float VADReader::F32() { return std::bit_cast<float>(U32()); }

std::string VADReader::String()
{
    uint32_t n = U32();
    if (!ok_ || n == 0) return std::string();
    const uint8_t* p;
    if (!Take(n, p)) return std::string();
    if (p[n - 1] != 0)
    {
        ok_ = false;
        return std::string();
    }
    // The text ends at its first zero byte.
    size_t len = strnlen(reinterpret_cast<const char*>(p), n);
    return std::string(reinterpret_cast<const char*>(p), len);
}

KUID VADReader::Kuid()
{
    uint32_t w0 = U32();
    uint32_t w1 = U32();
    return ok_ ? KUID::FromStreamWords(w0, w1) : KUID::Null();
}

uint32_t VADReader::Count(size_t minEntrySize)
{
    uint32_t n = U32();
    if (!ok_) return 0;
    if (minEntrySize > 0 && n > (size_ - pos_) / minEntrySize)
    {
        ok_ = false;
        return 0;
    }
    return n;
}

std::vector<KUID> VADReader::KuidList()
{
    std::vector<KUID> out;
    uint32_t n = Count(8);
    out.reserve(n);
    for (uint32_t i = 0; i < n && ok_; ++i) out.push_back(Kuid());
    if (!ok_) out.clear();
    return out;
}

std::vector<std::string> VADReader::StringList()
{
    std::vector<std::string> out;
    uint32_t n = Count(4);
    out.reserve(n);
    for (uint32_t i = 0; i < n && ok_; ++i) out.push_back(String());
    if (!ok_) out.clear();
    return out;
}

VADBytes VADReader::Blob()
{
    uint32_t n = U32();
    const uint8_t* p;
    if (!ok_ || !Take(n, p)) return VADBytes();
    return VADBytes(p, p + n);
}

bool VADReader::Raw(uint8_t* out, size_t n)
{
    const uint8_t* p;
    if (!Take(n, p)) return false;
    if (n) std::memcpy(out, p, n);
    return true;
}

VADBytes VADReader::Rest()
{
    if (!ok_) return VADBytes();
    VADBytes out(data_ + pos_, data_ + size_);
    pos_ = size_;
    return out;
}
