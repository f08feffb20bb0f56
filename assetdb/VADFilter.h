#pragma once
// Query filter trees: groups of typed conditions over the database's fields.
//
// A group holds all its children (conjunction); a negated group holds when its conjunction does not. An
// empty group selects every asset.
//
// Wire form (one node, recursively; depth at most kVADFilterMaxDepth, nodes at most kVADFilterMaxNodes):
//   u8 type
//   group    (0): u8 negated | u32 child count | children
//   string   (1): u32 field | string value
//   bool     (2): u32 field | u8 value
//   integer  (3): u32 field | u8 comparison | i32 value
//   time     (4): u32 field | u8 comparison | u64 seconds since 1970-01-01
//   asset id (5): u32 field | KUID
#include "assetdb/VADWireIO.h"
#include "core/KUID.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Field codes of the database's asset fields.
enum VADFilterField : uint32_t
{
    VAD_FIELD_LOCAL = 0,                 // bool: the asset is known locally (installed or built in)
    VAD_FIELD_CATEGORY_LIST = 1,         // string: category pattern ("CMP;MESH|BD;-ACTV")
    VAD_FIELD_KIND = 2,                  // string: the asset's kind
    VAD_FIELD_NAME = 3,                  // string: the asset's name (substring, case-insensitive)
    VAD_FIELD_LOCALLY_AVAILABLE = 4,     // bool: the asset's files are on disk
    VAD_FIELD_OPEN_FOR_EDIT = 5,         // bool
    VAD_FIELD_OBSOLETE = 6,              // bool: a newer version or an obsoleting asset is installed
    VAD_FIELD_BUILTIN = 7,               // bool
    VAD_FIELD_FAULTY = 8,                // bool
    VAD_FIELD_MISSING_DEPENDENCIES = 9,  // bool
    VAD_FIELD_ON_DOWNLOAD_STATION = 10,  // bool
    VAD_FIELD_LOCALLY_ENABLED = 11,      // bool
    VAD_FIELD_AUTHOR = 12,               // integer: author user id
    VAD_FIELD_BUILD = 13,                // integer: build number × 100
    VAD_FIELD_INSTALL_TIME = 14,         // time
    VAD_FIELD_MODIFIED_TIME = 15,        // time
    VAD_FIELD_ASSET_ID = 16,             // asset id: this KUID
    VAD_FIELD_LISTING_PRIVILEGE = 17,    // bool: the asset may be listed
    VAD_FIELD_ARCHIVED = 18,             // bool
    VAD_FIELD_LOCALLY_MODIFIED = 19,     // bool
    VAD_FIELD_PAYWARE = 20,              // bool
    VAD_FIELD_COMPATIBLE = 21,           // bool: usable by this build
};

enum VADFilterCompare : uint8_t
{
    VAD_CMP_EQUAL = 0,
    VAD_CMP_NOT_EQUAL = 1,
    VAD_CMP_LESS = 2,
    VAD_CMP_LESS_EQUAL = 3,
    VAD_CMP_GREATER = 4,
    VAD_CMP_GREATER_EQUAL = 5,
};
constexpr uint8_t kVADCompareCount = 6;

constexpr unsigned kVADFilterMaxDepth = 32;
constexpr unsigned kVADFilterMaxNodes = 4096;

class VADFilterElement
{
public:
    enum Type : uint8_t
    {
        kGroup = 0,
        kString = 1,
        kBool = 2,
        kInteger = 3,
        kTime = 4,
        kAssetID = 5,
    };

    virtual ~VADFilterElement() = default;
    Type GetType() const { return type_; }
    uint32_t GetField() const { return field_; }
    virtual std::unique_ptr<VADFilterElement> Clone() const = 0;

protected:
    VADFilterElement(Type type, uint32_t field) : type_(type), field_(field) {}

private:
    Type type_;
    uint32_t field_;
};

class VADFilterElementGroup : public VADFilterElement
{
public:
    VADFilterElementGroup() : VADFilterElement(kGroup, 0) {}
    VADFilterElementGroup(const VADFilterElementGroup& o);
    VADFilterElementGroup& operator=(const VADFilterElementGroup& o);

    // The group takes ownership of the element.
    VADFilterElement& Add(VADFilterElement* element);
    VADFilterElement& Add(std::unique_ptr<VADFilterElement> element);
    void SetNegated(bool negated) { negated_ = negated; }
    bool IsNegated() const { return negated_; }
    size_t GetChildCount() const { return children_.size(); }
    const VADFilterElement* GetChild(size_t i) const { return i < children_.size() ? children_[i].get() : nullptr; }
    void Clear() { children_.clear(); }
    std::unique_ptr<VADFilterElement> Clone() const override;

private:
    std::vector<std::unique_ptr<VADFilterElement>> children_;
    bool negated_ = false;
};

class VADFilterElementString : public VADFilterElement
{
public:
    VADFilterElementString(uint32_t field, std::string_view value) : VADFilterElement(kString, field), value_(value) {}
    const std::string& GetValue() const { return value_; }
    std::unique_ptr<VADFilterElement> Clone() const override;

private:
    std::string value_;
};

// Holds when the boolean field equals the value (true unless given).
class VADFilterElementBool : public VADFilterElement
{
public:
    explicit VADFilterElementBool(uint32_t field, bool value = true) : VADFilterElement(kBool, field), value_(value) {}
    bool GetValue() const { return value_; }
    std::unique_ptr<VADFilterElement> Clone() const override;

private:
    bool value_;
};

class VADFilterElementInteger : public VADFilterElement
{
public:
    VADFilterElementInteger(uint32_t field, VADFilterCompare cmp, int32_t value)
        : VADFilterElement(kInteger, field), cmp_(cmp), value_(value)
    {}
    VADFilterCompare GetCompare() const { return cmp_; }
    int32_t GetValue() const { return value_; }
    std::unique_ptr<VADFilterElement> Clone() const override;

private:
    VADFilterCompare cmp_;
    int32_t value_;
};

class VADFilterElementTime : public VADFilterElement
{
public:
    VADFilterElementTime(uint32_t field, VADFilterCompare cmp, uint64_t seconds)
        : VADFilterElement(kTime, field), cmp_(cmp), value_(seconds)
    {}
    VADFilterCompare GetCompare() const { return cmp_; }
    uint64_t GetValue() const { return value_; }
    std::unique_ptr<VADFilterElement> Clone() const override;

private:
    VADFilterCompare cmp_;
    uint64_t value_;
};

class VADFilterElementAssetID : public VADFilterElement
{
public:
    VADFilterElementAssetID(uint32_t field, const KUID& kuid) : VADFilterElement(kAssetID, field), kuid_(kuid) {}
    const KUID& GetValue() const { return kuid_; }
    std::unique_ptr<VADFilterElement> Clone() const override;

private:
    KUID kuid_;
};

// Applies a comparison (any unknown comparison is false).
template <typename T>
bool VADFilterCompareValues(VADFilterCompare cmp, const T& a, const T& b)
{
    switch (cmp)
    {
    case VAD_CMP_EQUAL: return a == b;
    case VAD_CMP_NOT_EQUAL: return !(a == b);
    case VAD_CMP_LESS: return a < b;
    case VAD_CMP_LESS_EQUAL: return !(b < a);
    case VAD_CMP_GREATER: return b < a;
    case VAD_CMP_GREATER_EQUAL: return !(a < b);
    }
    return false;
}

void VADEncodeFilter(VADWriter& w, const VADFilterElement& element);
// Reads one node into out; the root of a query must be a group. False on any malformed node.
bool VADDecodeFilter(VADReader& r, std::unique_ptr<VADFilterElement>& out);
