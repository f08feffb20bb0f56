#pragma once
// Little-endian byte writer and checked reader for the daemon link's payloads.
//
// The same primitive forms as the stream classes use, so a payload can be read with either:
//   u8/u16/u32/u64/i32/f32  little-endian
//   bool                    u8, 0 or 1 (any non-zero reads as true)
//   string                  u32 length counting a terminating zero, then the bytes and the zero
//                           (length 0 is read as the empty text; otherwise the last byte must be 0)
//   KUID                    two u32: content id, then version << 25 | user id's low 25 bits
//   blob                    u32 length, then that many bytes
//
// The reader never reads past its end: a short or malformed read marks it failed and every later read
// yields the default. Counts are checked against what remains before anything is allocated.
#include "core/KUID.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using VADBytes = std::vector<uint8_t>;

class VADWriter
{
public:
    VADWriter() = default;
    explicit VADWriter(VADBytes initial) : bytes_(std::move(initial)) {}

    void U8(uint8_t v) { bytes_.push_back(v); }
    void Bool(bool v) { U8(v ? 1 : 0); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void U64(uint64_t v);
    void F32(float v);
    void String(std::string_view text);
    void Kuid(const KUID& k);
    void KuidList(const std::vector<KUID>& list);
    void StringList(const std::vector<std::string>& list);
    void Blob(const uint8_t* data, size_t n);
    void Blob(const VADBytes& b) { Blob(b.data(), b.size()); }
    void Raw(const uint8_t* data, size_t n) { bytes_.insert(bytes_.end(), data, data + n); }
    // Overwrites a u32 written earlier at offset.
    void PatchU32(size_t offset, uint32_t v);

    size_t Size() const { return bytes_.size(); }
    const VADBytes& Bytes() const { return bytes_; }
    VADBytes Take() { return std::move(bytes_); }

private:
    VADBytes bytes_;
};

class VADReader
{
public:
    VADReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit VADReader(const VADBytes& b) : data_(b.data()), size_(b.size()) {}

    uint8_t U8();
    bool Bool() { return U8() != 0; }
    uint16_t U16();
    uint32_t U32();
    int32_t I32() { return static_cast<int32_t>(U32()); }
    uint64_t U64();
    float F32();
    std::string String();
    KUID Kuid();
    // A u32 count whose entries need at least minEntrySize bytes each; fails when they cannot fit.
    uint32_t Count(size_t minEntrySize);
    std::vector<KUID> KuidList();
    std::vector<std::string> StringList();
    VADBytes Blob();
    // n raw bytes (fails when fewer remain).
    bool Raw(uint8_t* out, size_t n);
    VADBytes Rest();

    void Fail() { ok_ = false; }
    bool Ok() const { return ok_; }
    size_t Remaining() const { return ok_ ? size_ - pos_ : 0; }
    size_t Position() const { return pos_; }
    // True when every read succeeded and every byte was consumed: a payload with bytes left over is as
    // wrong as a short one.
    bool Done() const { return ok_ && pos_ == size_; }

private:
    bool Take(size_t n, const uint8_t*& p);

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};
