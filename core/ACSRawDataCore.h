#pragma once
// The value of a data tag: a type code and its elements, kept as raw bytes.
// Floats, integers and KUIDs are arrays; a string is one UTF-8 text; binary is raw bytes. Values of up to 16
// bytes (a few numbers, one KUID, a short text) are held in place; longer ones on the heap, or, for the nodes of
// a tree read from text, in that tree's arena (SoupArena).
#include "core/KUID.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum ACSValueType : uint8_t
{
    kACSNull = 0,
    kACSContainer = 1,
    kACSBinary = 2,
    kACSFloat = 3,
    kACSString = 4,
    kACSInteger = 6,
    kACSKUID = 7,
};

// True for the type codes a chunk may carry.
inline bool IsKnownACSType(uint8_t t) { return t <= 4 || t == 6 || t == 7; }

class ACSRawDataCore
{
public:
    ACSRawDataCore() = default;
    ACSRawDataCore(const ACSRawDataCore& o);
    ACSRawDataCore(ACSRawDataCore&& o) noexcept;
    ACSRawDataCore& operator=(const ACSRawDataCore& o);
    ACSRawDataCore& operator=(ACSRawDataCore&& o) noexcept;
    ~ACSRawDataCore() { FreeBytes(); }

    uint8_t GetType() const { return type_; }
    bool IsNull() const { return type_ == kACSNull; }

    // Elements of an array type; 1 for a string; the byte count for binary; 0 for null.
    size_t GetCount() const;

    float GetFloat(size_t i) const;      // 0 when out of range or not a float array
    int32_t GetInt(size_t i) const;      // 0 likewise
    KUID GetKUID(size_t i) const;        // the null KUID likewise
    std::string_view GetString() const;  // the text of a string, the bytes of binary, else empty
    const uint8_t* GetBytes() const { return reinterpret_cast<const uint8_t*>(Bytes()); }
    size_t GetByteSize() const { return size_; }

    void SetNull();
    void SetFloats(const float* v, size_t n);
    void SetInts(const int32_t* v, size_t n);
    void SetKUIDs(const KUID* v, size_t n);
    void SetString(std::string_view text);
    void SetBinary(const void* data, size_t n);
    void SetFloat(float v) { SetFloats(&v, 1); }
    void SetInt(int32_t v) { SetInts(&v, 1); }
    void SetKUID(const KUID& k) { SetKUIDs(&k, 1); }
    // Takes raw element bytes as they are stored (used by readers that already checked the sizes).
    void SetRaw(uint8_t type, const void* bytes, size_t n) { Assign(type, bytes, n); }
    // Refers to bytes held elsewhere for as long as this value lives, without copying them: only for the value
    // of a node made in a SoupArena, with bytes from that same arena. A copy of the value copies the bytes.
    void SetBorrowed(uint8_t type, const char* bytes, size_t n);

    std::vector<float> GetFloats() const;
    std::vector<int32_t> GetInts() const;
    std::vector<KUID> GetKUIDs() const;

    friend bool operator==(const ACSRawDataCore& a, const ACSRawDataCore& b);

private:
    static constexpr size_t kInline = 16;
    enum : uint8_t
    {
        kInPlace = 0,   // in inline_
        kOwned = 1,     // ptr_ from malloc
        kBorrowed = 2,  // ptr_ into an arena
    };
    const char* Bytes() const { return where_ == kInPlace ? inline_ : ptr_; }
    void Assign(uint8_t type, const void* bytes, size_t n);
    void FreeBytes();

    // Floats/ints as 4-byte items, KUIDs as in-memory KUID structs.
    union
    {
        char inline_[kInline];
        char* ptr_;
    };
    uint32_t size_ = 0;
    uint8_t type_ = kACSNull;
    uint8_t where_ = kInPlace;
};
