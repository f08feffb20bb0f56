#include "core/ACSRawDataCore.h"

#include <cstring>

static_assert(sizeof(KUID) == 12, "KUID elements are stored as three words");

size_t ACSRawDataCore::GetCount() const
{
    switch (type_)
    {
    case kACSFloat:
    case kACSInteger: return bytes_.size() / 4;
    case kACSKUID: return bytes_.size() / sizeof(KUID);
    case kACSString: return 1;
    case kACSBinary: return bytes_.size();
    default: return 0;
    }
}

float ACSRawDataCore::GetFloat(size_t i) const
{
    float v = 0.0f;
    if (type_ == kACSFloat && i < bytes_.size() / 4) std::memcpy(&v, bytes_.data() + i * 4, 4);
    return v;
}

int32_t ACSRawDataCore::GetInt(size_t i) const
{
    int32_t v = 0;
    if (type_ == kACSInteger && i < bytes_.size() / 4) std::memcpy(&v, bytes_.data() + i * 4, 4);
    return v;
}

KUID ACSRawDataCore::GetKUID(size_t i) const
{
    KUID k = KUID::Null();
    if (type_ == kACSKUID && i < bytes_.size() / sizeof(KUID))
        std::memcpy(static_cast<void*>(&k), bytes_.data() + i * sizeof(KUID), sizeof(KUID));
    return k;
}

std::string_view ACSRawDataCore::GetString() const
{
    if (type_ == kACSString || type_ == kACSBinary) return bytes_;
    return {};
}

void ACSRawDataCore::SetNull()
{
    type_ = kACSNull;
    bytes_.clear();
}

void ACSRawDataCore::SetFloats(const float* v, size_t n)
{
    type_ = kACSFloat;
    bytes_.assign(reinterpret_cast<const char*>(v), n * 4);
}

void ACSRawDataCore::SetInts(const int32_t* v, size_t n)
{
    type_ = kACSInteger;
    bytes_.assign(reinterpret_cast<const char*>(v), n * 4);
}

void ACSRawDataCore::SetKUIDs(const KUID* v, size_t n)
{
    type_ = kACSKUID;
    bytes_.assign(reinterpret_cast<const char*>(v), n * sizeof(KUID));
}

void ACSRawDataCore::SetString(std::string_view text)
{
    type_ = kACSString;
    bytes_.assign(text);
}

void ACSRawDataCore::SetBinary(const void* data, size_t n)
{
    type_ = kACSBinary;
    bytes_.assign(static_cast<const char*>(data), n);
}

void ACSRawDataCore::SetRaw(uint8_t type, std::string bytes)
{
    type_ = type;
    bytes_ = std::move(bytes);
}

std::vector<float> ACSRawDataCore::GetFloats() const
{
    std::vector<float> v(type_ == kACSFloat ? bytes_.size() / 4 : 0);
    if (!v.empty()) std::memcpy(v.data(), bytes_.data(), v.size() * 4);
    return v;
}

std::vector<int32_t> ACSRawDataCore::GetInts() const
{
    std::vector<int32_t> v(type_ == kACSInteger ? bytes_.size() / 4 : 0);
    if (!v.empty()) std::memcpy(v.data(), bytes_.data(), v.size() * 4);
    return v;
}

std::vector<KUID> ACSRawDataCore::GetKUIDs() const
{
    std::vector<KUID> v(type_ == kACSKUID ? bytes_.size() / sizeof(KUID) : 0);
    if (!v.empty()) std::memcpy(static_cast<void*>(v.data()), bytes_.data(), v.size() * sizeof(KUID));
    return v;
}
