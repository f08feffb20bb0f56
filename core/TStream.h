#pragma once
// The abstract byte stream: little-endian readers and writers over Read/Write/Seek.
//
// A read that runs short sets the stream's error code (kStreamShortRead when no error was set before) and
// yields the reader's default. Lengths read from a stream are checked against what remains before anything
// is allocated.
#include "core/KUID.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Orvo {
class PString;
}

enum TStreamError : int
{
    kStreamOK = 0,
    kStreamWriteFailed = 1,
    kStreamSeekFailed = 2,
    kStreamOpenFailed = 3,
    kStreamShortRead = 4,
};

class TStream
{
public:
    static constexpr uint32_t kLengthBlockPlaceholder = 0xFEEDCEEBu;

    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // Raw access: the number of bytes actually moved.
    virtual size_t Read(void* dst, size_t n) = 0;
    virtual size_t Write(const void* src, size_t n) = 0;
    virtual bool Seek(uint64_t pos) = 0;
    virtual uint64_t Tell() const = 0;
    virtual uint64_t Size() const = 0;

    uint64_t Remaining() const
    {
        uint64_t s = Size(), t = Tell();
        return t < s ? s - t : 0;
    }

    int GetError() const { return error_; }
    bool HasError() const { return error_ != kStreamOK; }
    void SetError(int code) { error_ = code; }
    void ClearError() { error_ = kStreamOK; }

    // Reads exactly n bytes or marks a short read (and fills nothing beyond what arrived).
    bool ReadExact(void* dst, size_t n);
    bool WriteExact(const void* src, size_t n);

    uint8_t ReadUInt8(uint8_t def = 0);
    uint16_t ReadUInt16(uint16_t def = 0);
    uint32_t ReadUInt32(uint32_t def = 0);
    int32_t ReadInt32(int32_t def = 0);
    uint64_t ReadUInt64(uint64_t def = 0);
    bool ReadBool(bool def = false);
    float ReadFloat(float def = 0.0f);
    double ReadDouble(double def = 0.0);
    // u32 length counting the terminating zero, then the bytes. A length above what remains is a short
    // read; the text ends at the first zero byte.
    std::string ReadString(const std::string& def = std::string());
    // The same into `out` (untouched on failure); false on a short read.
    bool ReadStringTo(std::string& out);
    Orvo::PString ReadPString();
    // Two words: content id, then version << 25 | user id. Defaults to the null KUID.
    KUID ReadKUID(const KUID& def = KUID::Null());
    // A u32 count whose entries take at least minEntrySize bytes each: a count the rest of the stream
    // cannot hold is a short read (0), found before anything is allocated for it.
    uint32_t ReadCount(size_t minEntrySize);
    // u32 count, then that many KUIDs; false (and `out` empty) on a short read or more than `max` of them.
    bool ReadKUIDList(std::vector<KUID>& out, uint32_t max = UINT32_MAX);

    bool WriteUInt8(uint8_t v);
    bool WriteUInt16(uint16_t v);
    bool WriteUInt32(uint32_t v);
    bool WriteInt32(int32_t v);
    bool WriteUInt64(uint64_t v);
    bool WriteBool(bool v);
    bool WriteFloat(float v);
    bool WriteDouble(double v);
    bool WriteString(const char* text, size_t len);
    bool WriteString(const std::string& text) { return WriteString(text.data(), text.size()); }
    bool WriteString(const char* text);
    bool WritePString(const Orvo::PString& text);
    bool WriteKUID(const KUID& k);
    bool WriteKUIDList(const std::vector<KUID>& list);

    // Writes the placeholder 0xFEEDCEEB and returns its position.
    uint64_t BeginLengthBlock();
    // Overwrites the placeholder at pos with the number of bytes written after it.
    bool EndLengthBlock(uint64_t pos);
    // Writes a word at an absolute offset and returns to the current position.
    bool WriteUInt32At(uint64_t offset, uint32_t value);

protected:
    void ShortRead()
    {
        if (error_ == kStreamOK) error_ = kStreamShortRead;
    }
    void Failed(int code)
    {
        if (error_ == kStreamOK) error_ = code;
    }

private:
    int error_ = kStreamOK;
};
