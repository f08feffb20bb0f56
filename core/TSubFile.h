#pragma once
// A stream over a window [start, start + length) of another stream. Reads and writes stay inside the
// window; positions are relative to its start. The parent must outlive the window.
#include "core/TStream.h"

class TSubFile : public TStream
{
public:
    // The window is clipped to the parent's size when the parent is shorter.
    TSubFile(TStream& parent, uint64_t start, uint64_t length);

    size_t Read(void* dst, size_t n) override;
    size_t Write(const void* src, size_t n) override;
    bool Seek(uint64_t pos) override;
    uint64_t Tell() const override { return pos_; }
    uint64_t Size() const override { return length_; }

private:
    TStream& parent_;
    uint64_t start_;
    uint64_t length_;
    uint64_t pos_ = 0;
};
