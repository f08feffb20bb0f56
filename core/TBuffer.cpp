#include "core/TBuffer.h"

#include <cstring>

TBuffer::TBuffer(const void* data, size_t size)
    : bytes_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size)
{}

size_t TBuffer::Read(void* dst, size_t n)
{
    size_t left = pos_ < bytes_.size() ? bytes_.size() - pos_ : 0;
    if (n > left) n = left;
    if (n) std::memcpy(dst, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
}

size_t TBuffer::Write(const void* src, size_t n)
{
    if (n == 0) return 0;
    if (pos_ + n > bytes_.size()) bytes_.resize(pos_ + n);
    std::memcpy(bytes_.data() + pos_, src, n);
    pos_ += n;
    return n;
}

bool TBuffer::Seek(uint64_t pos)
{
    if (pos > bytes_.size()) return false;
    pos_ = static_cast<size_t>(pos);
    return true;
}

std::vector<uint8_t> TBuffer::Take()
{
    std::vector<uint8_t> out = std::move(bytes_);
    bytes_.clear();
    pos_ = 0;
    return out;
}

void TBuffer::Clear()
{
    bytes_.clear();
    pos_ = 0;
    ClearError();
}
