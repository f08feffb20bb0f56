#include "engine/MemoryFile.h"

#include "engine/File.h"

#include <cstring>

namespace Orvo {

bool MemoryFile::Open(File& file, std::string_view name)
{
    Close();
    int64_t size = file.Size();
    if (!file.IsOpen() || size < 0 || static_cast<uint64_t>(size) > kMaxSize || !file.Seek(0)) return false;
    data_.resize(static_cast<size_t>(size));
    data_.resize(file.Read(data_.data(), data_.size()));
    name_.assign(name);
    return true;
}

void MemoryFile::Open(const void* data, size_t size, std::string_view name)
{
    Close();
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (bytes) data_.assign(bytes, bytes + size);
    name_.assign(name);
}

void MemoryFile::Close()
{
    data_.clear();
    data_.shrink_to_fit();
    name_.clear();
    pos_ = 0;
}

bool MemoryFile::Seek(size_t position)
{
    if (position > data_.size()) return false;
    pos_ = position;
    return true;
}

bool MemoryFile::Skip(size_t bytes)
{
    if (bytes > Remaining()) return false;
    pos_ += bytes;
    return true;
}

bool MemoryFile::ReadBytes(void* out, size_t bytes)
{
    if (bytes > Remaining()) return false;
    if (bytes) std::memcpy(out, data_.data() + pos_, bytes);
    pos_ += bytes;
    return true;
}

bool MemoryFile::Read(uint32_t& value)
{
    uint8_t b[4];
    if (!ReadBytes(b, 4)) return false;
    value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool MemoryFile::Read(int32_t& value)
{
    uint32_t u;
    if (!Read(u)) return false;
    value = static_cast<int32_t>(u);
    return true;
}

bool MemoryFile::Read(float& value)
{
    uint32_t u;
    if (!Read(u)) return false;
    std::memcpy(&value, &u, 4);
    return true;
}

bool MemoryFile::Read(uint16_t& value)
{
    uint8_t b[2];
    if (!ReadBytes(b, 2)) return false;
    value = static_cast<uint16_t>(b[0] | b[1] << 8);
    return true;
}

bool MemoryFile::Read(uint8_t& value) { return ReadBytes(&value, 1); }

bool MemoryFile::PeekTag(const char tag[4]) const
{
    return Remaining() >= 4 && std::memcmp(data_.data() + pos_, tag, 4) == 0;
}

}  // namespace Orvo
