#include "core/TSubFile.h"

TSubFile::TSubFile(TStream& parent, uint64_t start, uint64_t length) : parent_(parent), start_(start), length_(length)
{
    uint64_t size = parent.Size();
    if (start_ > size) start_ = size;
    if (length_ > size - start_) length_ = size - start_;
}

size_t TSubFile::Read(void* dst, size_t n)
{
    uint64_t left = length_ - pos_;
    if (n > left) n = static_cast<size_t>(left);
    if (n == 0 || !parent_.Seek(start_ + pos_)) return 0;
    size_t got = parent_.Read(dst, n);
    pos_ += got;
    return got;
}

size_t TSubFile::Write(const void* src, size_t n)
{
    uint64_t left = length_ - pos_;
    if (n > left) n = static_cast<size_t>(left);
    if (n == 0 || !parent_.Seek(start_ + pos_)) return 0;
    size_t put = parent_.Write(src, n);
    pos_ += put;
    return put;
}

bool TSubFile::Seek(uint64_t pos)
{
    if (pos > length_) return false;
    pos_ = pos;
    return true;
}
