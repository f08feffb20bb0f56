#pragma once
// A stream over growable memory. Writing past the end grows the buffer.
#include "core/TStream.h"

#include <vector>

class TBuffer : public TStream
{
public:
    TBuffer() = default;
    TBuffer(const void* data, size_t size);
    explicit TBuffer(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    size_t Read(void* dst, size_t n) override;
    size_t Write(const void* src, size_t n) override;
    bool Seek(uint64_t pos) override;  // anywhere up to the end
    uint64_t Tell() const override { return pos_; }
    uint64_t Size() const override { return bytes_.size(); }

    const uint8_t* Data() const { return bytes_.data(); }
    uint8_t* Data() { return bytes_.data(); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    // Hands the bytes over and leaves the buffer empty.
    std::vector<uint8_t> Take();
    void Reserve(size_t n) { bytes_.reserve(n); }
    // Empties the buffer, rewinds it and clears its error.
    void Clear();

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
};
