#pragma once
// Little-endian byte writer and checked reader for the daemon link's payloads.
//
// The same primitive forms as the stream classes use, so a payload can be read with either:
//   u8/u16/u32/u64/i32/f32  little-endian
//   bool                    u8, 0 or 1 (any non-zero reads as true)
//   string                  u32 length counting a terminating zero, then the bytes and the zero
//                           (length 0 is read as the empty text; otherwise the last byte must be 0; the
//                           text ends at its first zero, or fails the read with RefuseZeroInStrings)
//   KUID                    two u32: content id, then version << 25 | user id's low 25 bits
//   blob                    u32 length, then that many bytes
//
// The reader never reads past its end: a short or malformed read marks it failed and every later read
// yields the default. Counts are checked against what remains before anything is allocated.
#include "core/KUID.h"
#include "core/TStream.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

using VADBytes = std::vector<uint8_t>;

// A payload being written: a stream over growable memory, with the link's names for its writers. The
// primitives append directly (they are the hot path of every request).
class VADWriter : public TStream
{
public:
    VADWriter() = default;
    // Appends to `initial`.
    explicit VADWriter(VADBytes initial) : bytes_(std::move(initial)), pos_(bytes_.size()) {}

    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void* src, size_t n) override;
    bool Seek(uint64_t pos) override;
    uint64_t Tell() const override { return pos_; }
    uint64_t Size() const override { return bytes_.size(); }

    void U8(uint8_t v) { Put(&v, 1); }
    void Bool(bool v) { U8(v ? 1 : 0); }
    void U16(uint16_t v) { Put(&v, 2); }
    void U32(uint32_t v) { Put(&v, 4); }
    void I32(int32_t v) { Put(&v, 4); }
    void U64(uint64_t v) { Put(&v, 8); }
    void F32(float v) { Put(&v, 4); }
    void String(std::string_view text);
    void Kuid(const KUID& k)
    {
        uint32_t w[2] = {k.StreamWord0(), k.StreamWord1()};
        Put(w, 8);
    }
    void KuidList(const std::vector<KUID>& list) { WriteKUIDList(list); }
    void StringList(const std::vector<std::string>& list);
    void Blob(const uint8_t* data, size_t n);
    void Blob(const VADBytes& b) { Blob(b.data(), b.size()); }
    void Raw(const uint8_t* data, size_t n) { Put(data, n); }
    // Overwrites a u32 written earlier at offset.
    void PatchU32(size_t offset, uint32_t v) { WriteUInt32At(offset, v); }

    const VADBytes& Bytes() const { return bytes_; }
    // Hands the bytes over and leaves the writer empty.
    VADBytes Take();
    void Clear();

private:
    void Put(const void* src, size_t n)
    {
        if (pos_ != bytes_.size())
        {
            Write(src, n);
            return;
        }
        const uint8_t* p = static_cast<const uint8_t*>(src);
        if (n > 8) return Append(p, n);
        for (size_t i = 0; i < n; ++i) bytes_.push_back(p[i]);
        pos_ += n;
    }

    void Append(const uint8_t* p, size_t n);

    VADBytes bytes_;
    size_t pos_ = 0;
};

// A payload being read: a read-only stream over memory, with the link's names for its readers and its
// stricter checks for strings. The primitives read the memory directly; lists and counts are the
// stream's own. After the first failed read every later read yields its default.
class VADReader : public TStream
{
public:
    VADReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit VADReader(const VADBytes& b) : data_(b.data()), size_(b.size()) {}

    size_t Read(void* dst, size_t n) override;
    size_t Write(const void*, size_t) override { return 0; }
    bool Seek(uint64_t pos) override;
    uint64_t Tell() const override { return pos_; }
    uint64_t Size() const override { return size_; }

    uint8_t U8() { return Get<uint8_t>(); }
    bool Bool() { return U8() != 0; }
    uint16_t U16() { return Get<uint16_t>(); }
    uint32_t U32() { return Get<uint32_t>(); }
    int32_t I32() { return Get<int32_t>(); }
    uint64_t U64() { return Get<uint64_t>(); }
    float F32() { return Get<float>(); }
    std::string String();
    KUID Kuid()
    {
        uint32_t w0 = U32(), w1 = U32();
        return Ok() ? KUID::FromStreamWords(w0, w1) : KUID::Null();
    }
    // A u32 count whose entries need at least minEntrySize bytes each; fails when they cannot fit.
    uint32_t Count(size_t minEntrySize) { return ReadCount(minEntrySize); }
    std::vector<KUID> KuidList();
    std::vector<std::string> StringList();
    VADBytes Blob();
    // n raw bytes (fails when fewer remain).
    bool Raw(uint8_t* out, size_t n) { return ReadExact(out, n); }
    VADBytes Rest();

    // From now on a string holding a zero byte before its end fails the read: what a request says is taken
    // whole or not at all, never cut at the zero.
    void RefuseZeroInStrings() { refuseZeroInStrings_ = true; }

    void Fail() { SetError(kStreamShortRead); }
    bool Ok() const { return !HasError(); }
    size_t Position() const { return pos_; }
    // True when every read succeeded and every byte was consumed: a payload with bytes left over is as
    // wrong as a short one.
    bool Done() const { return Ok() && pos_ == size_; }

private:
    template <typename T>
    T Get()
    {
        T v{};
        if (HasError() || sizeof(T) > size_ - pos_)
        {
            Fail();
            return T{};
        }
        std::memcpy(&v, data_ + pos_, sizeof(T));
        pos_ += sizeof(T);
        return v;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool refuseZeroInStrings_ = false;
};
