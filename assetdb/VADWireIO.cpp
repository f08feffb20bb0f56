#include "assetdb/VADWireIO.h"

#include <algorithm>
#include <cstring>

size_t VADWriter::Write(const void* src, size_t n)
{
    if (n == 0) return 0;
    if (pos_ + n > bytes_.size()) bytes_.resize(pos_ + n);
    std::memcpy(bytes_.data() + pos_, src, n);
    pos_ += n;
    return n;
}

bool VADWriter::Seek(uint64_t pos)
{
    if (pos > bytes_.size()) return false;
    pos_ = static_cast<size_t>(pos);
    return true;
}

void VADWriter::Append(const uint8_t* p, size_t n)
{
    size_t at = bytes_.size();
    bytes_.resize(at + n);
    std::memcpy(bytes_.data() + at, p, n);
    pos_ += n;
}

VADBytes VADWriter::Take()
{
    VADBytes out = std::move(bytes_);
    bytes_.clear();
    pos_ = 0;
    return out;
}

void VADWriter::Clear()
{
    bytes_.clear();
    pos_ = 0;
    ClearError();
}

void VADWriter::String(std::string_view text)
{
    U32(static_cast<uint32_t>(text.size() + 1));
    Put(text.data(), text.size());
    U8(0);
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

size_t VADReader::Read(void* dst, size_t n)
{
    if (HasError()) return 0;
    n = std::min(n, size_ - pos_);
    if (n) std::memcpy(dst, data_ + pos_, n);
    pos_ += n;
    return n;
}

bool VADReader::Seek(uint64_t pos)
{
    if (pos > size_) return false;
    pos_ = static_cast<size_t>(pos);
    return true;
}

std::string VADReader::String()
{
    uint32_t n = U32();
    if (!Ok() || n == 0) return std::string();
    if (n > size_ - pos_)
    {
        Fail();
        return std::string();
    }
    const char* p = reinterpret_cast<const char*>(data_ + pos_);
    // The link's strings always end in their zero; the text ends at its first zero byte.
    if (p[n - 1] != 0)
    {
        Fail();
        return std::string();
    }
    const size_t length = strnlen(p, n);
    if (refuseZeroInStrings_ && length != n - 1)
    {
        Fail();
        return std::string();
    }
    pos_ += n;
    return std::string(p, length);
}

std::vector<KUID> VADReader::KuidList()
{
    std::vector<KUID> out;
    ReadKUIDList(out);
    return out;
}

std::vector<std::string> VADReader::StringList()
{
    std::vector<std::string> out;
    uint32_t n = Count(4);
    out.reserve(n);
    for (uint32_t i = 0; i < n && Ok(); ++i) out.push_back(String());
    if (!Ok()) out.clear();
    return out;
}

VADBytes VADReader::Blob()
{
    uint32_t n = U32();
    if (!Ok() || n > size_ - pos_)
    {
        Fail();
        return VADBytes();
    }
    VADBytes out(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return out;
}

VADBytes VADReader::Rest()
{
    if (!Ok()) return VADBytes();
    VADBytes out(data_ + pos_, data_ + size_);
    pos_ = size_;
    return out;
}
