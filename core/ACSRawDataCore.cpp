#include "core/ACSRawDataCore.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

static_assert(sizeof(KUID) == 12, "KUID elements are stored as three words");
static_assert(sizeof(ACSRawDataCore) == 24, "a value fits in three words");

ACSRawDataCore::ACSRawDataCore(const ACSRawDataCore& o) { Assign(o.type_, o.Bytes(), o.size_); }

ACSRawDataCore::ACSRawDataCore(ACSRawDataCore&& o) noexcept
{
    if (o.where_ == kOwned)
    {
        ptr_ = o.ptr_;
        size_ = o.size_;
        type_ = o.type_;
        where_ = kOwned;
        o.where_ = kInPlace;
        o.size_ = 0;
        o.type_ = kACSNull;
        return;
    }
    // Borrowed bytes stay with the node that borrowed them: the new value gets a copy of its own.
    try
    {
        Assign(o.type_, o.Bytes(), o.size_);
    }
    catch (...)
    {
        // Out of memory: the value stays null.
    }
}

ACSRawDataCore& ACSRawDataCore::operator=(const ACSRawDataCore& o)
{
    if (this != &o) Assign(o.type_, o.Bytes(), o.size_);
    return *this;
}

ACSRawDataCore& ACSRawDataCore::operator=(ACSRawDataCore&& o) noexcept
{
    if (this == &o) return *this;
    if (o.where_ != kOwned)
    {
        try
        {
            Assign(o.type_, o.Bytes(), o.size_);
        }
        catch (...)
        {
            SetNull();
        }
        return *this;
    }
    FreeBytes();
    ptr_ = o.ptr_;
    size_ = o.size_;
    type_ = o.type_;
    where_ = kOwned;
    o.where_ = kInPlace;
    o.size_ = 0;
    o.type_ = kACSNull;
    return *this;
}

bool operator==(const ACSRawDataCore& a, const ACSRawDataCore& b)
{
    return a.type_ == b.type_ && a.size_ == b.size_ &&
           (a.size_ == 0 || std::memcmp(a.Bytes(), b.Bytes(), a.size_) == 0);
}

void ACSRawDataCore::FreeBytes()
{
    if (where_ == kOwned) std::free(ptr_);
    where_ = kInPlace;
}

void ACSRawDataCore::Assign(uint8_t type, const void* bytes, size_t n)
{
    if (n > UINT32_MAX) throw std::length_error("a configuration value of 4 GiB or more");
    if (n <= kInline)
    {
        // The bytes may be this value's own.
        char copy[kInline];
        if (n) std::memcpy(copy, bytes, n);
        FreeBytes();
        if (n) std::memcpy(inline_, copy, n);
    }
    else
    {
        char* p = static_cast<char*>(std::malloc(n));
        if (!p) throw std::bad_alloc();
        std::memcpy(p, bytes, n);
        FreeBytes();
        ptr_ = p;
        where_ = kOwned;
    }
    size_ = static_cast<uint32_t>(n);
    type_ = type;
}

void ACSRawDataCore::SetBorrowed(uint8_t type, const char* bytes, size_t n)
{
    if (n <= kInline || n > UINT32_MAX) return Assign(type, bytes, n);
    FreeBytes();
    ptr_ = const_cast<char*>(bytes);
    where_ = kBorrowed;
    size_ = static_cast<uint32_t>(n);
    type_ = type;
}

size_t ACSRawDataCore::GetCount() const
{
    switch (type_)
    {
    case kACSFloat:
    case kACSInteger: return size_ / 4;
    case kACSKUID: return size_ / sizeof(KUID);
    case kACSString: return 1;
    case kACSBinary: return size_;
    default: return 0;
    }
}

float ACSRawDataCore::GetFloat(size_t i) const
{
    float v = 0.0f;
    if (type_ == kACSFloat && i < size_ / 4) std::memcpy(&v, Bytes() + i * 4, 4);
    return v;
}

int32_t ACSRawDataCore::GetInt(size_t i) const
{
    int32_t v = 0;
    if (type_ == kACSInteger && i < size_ / 4) std::memcpy(&v, Bytes() + i * 4, 4);
    return v;
}

KUID ACSRawDataCore::GetKUID(size_t i) const
{
    KUID k = KUID::Null();
    if (type_ == kACSKUID && i < size_ / sizeof(KUID))
        std::memcpy(static_cast<void*>(&k), Bytes() + i * sizeof(KUID), sizeof(KUID));
    return k;
}

std::string_view ACSRawDataCore::GetString() const
{
    if (type_ == kACSString || type_ == kACSBinary) return {Bytes(), size_};
    return {};
}

void ACSRawDataCore::SetNull()
{
    FreeBytes();
    type_ = kACSNull;
    size_ = 0;
}

void ACSRawDataCore::SetFloats(const float* v, size_t n) { Assign(kACSFloat, v, n * 4); }

void ACSRawDataCore::SetInts(const int32_t* v, size_t n) { Assign(kACSInteger, v, n * 4); }

void ACSRawDataCore::SetKUIDs(const KUID* v, size_t n) { Assign(kACSKUID, v, n * sizeof(KUID)); }

void ACSRawDataCore::SetString(std::string_view text) { Assign(kACSString, text.data(), text.size()); }

void ACSRawDataCore::SetBinary(const void* data, size_t n) { Assign(kACSBinary, data, n); }

std::vector<float> ACSRawDataCore::GetFloats() const
{
    std::vector<float> v(type_ == kACSFloat ? size_ / 4 : 0);
    if (!v.empty()) std::memcpy(v.data(), Bytes(), v.size() * 4);
    return v;
}

std::vector<int32_t> ACSRawDataCore::GetInts() const
{
    std::vector<int32_t> v(type_ == kACSInteger ? size_ / 4 : 0);
    if (!v.empty()) std::memcpy(v.data(), Bytes(), v.size() * 4);
    return v;
}

std::vector<KUID> ACSRawDataCore::GetKUIDs() const
{
    std::vector<KUID> v(type_ == kACSKUID ? size_ / sizeof(KUID) : 0);
    if (!v.empty()) std::memcpy(static_cast<void*>(v.data()), Bytes(), v.size() * sizeof(KUID));
    return v;
}
