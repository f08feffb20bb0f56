#pragma once
// A counted handle of a soup tag (a container or a data tag), with the accessors the program uses.
//
// Copying adds a reference, destruction drops it. A null handle, the shared null tag and a tag of value
// type 0 all count as empty (IsNull). Child accessors work on a container handle and find nothing on
// anything else; setters first make sure the handle holds a container (a new empty one on an empty
// handle), then replace the first child of the name.
#include "core/ACSChunk.h"
#include "core/KUID.h"

#include "engine/String.h"

#include <string>
#include <vector>

class TDBContainerTag;

class TDBTagRef
{
public:
    TDBTagRef() = default;
    // Takes a reference of its own.
    explicit TDBTagRef(ACSChunk* chunk) : p_(chunk)
    {
        if (p_) p_->AddRef();
    }
    // Takes over a reference the caller holds (as Clone and Create* hand them out).
    static TDBTagRef Adopt(ACSChunk* chunk)
    {
        TDBTagRef r;
        r.p_ = chunk;
        return r;
    }
    TDBTagRef(const TDBTagRef& o) : TDBTagRef(o.p_) {}
    TDBTagRef(TDBTagRef&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    TDBTagRef& operator=(const TDBTagRef& o);
    TDBTagRef& operator=(TDBTagRef&& o) noexcept;
    ~TDBTagRef() { Release(); }

    // A handle of a new empty container.
    static TDBTagRef NewContainer();
    // A handle of a new data tag holding `data`.
    static TDBTagRef NewData(const ACSRawDataCore& data);
    // The shared null tag.
    static TDBTagRef Null();

    void Release();
    ACSChunk* Get() const { return p_; }
    ACSChunk* operator->() const { return p_; }
    // The container, or null when the handle holds something else.
    TDBContainerTag* GetContainer() const;

    bool IsNull() const { return !p_ || p_->GetType() == kACSNull; }
    bool IsContainer() const { return p_ && p_->GetType() == kACSContainer; }
    // 0 none, 1 container, 2 binary, 3 float, 4 string, 6 integer, 7 KUID.
    uint8_t GetType() const { return p_ ? p_->GetType() : 0; }
    // The value of a data tag, or null.
    const ACSRawDataCore* GetData() const { return p_ ? p_->GetData() : nullptr; }
    bool operator==(const TDBTagRef& o) const { return p_ == o.p_; }

    // --- children ---
    bool HasChild(ACSName name) const;
    uint8_t GetChildType(ACSName name) const;
    uint8_t GetChildTypeAt(size_t index) const;
    size_t GetChildCount() const { return p_ ? p_->GetChildCount() : 0; }
    const Orvo::PString& GetChildName(size_t index) const;
    TDBTagRef GetChild(ACSName name) const;
    TDBTagRef GetChildAt(size_t index) const;
    TDBTagRef GetChildContainer(ACSName name) const;
    TDBTagRef GetChildContainerAt(size_t index) const;

    // The named child converted; the default when missing or not convertible.
    Orvo::String GetChildString(ACSName name, std::string_view def = {}) const;
    int32_t GetChildInt(ACSName name, int32_t def = 0) const;
    float GetChildFloat(ACSName name, float def = 0.0f) const;
    bool GetChildBool(ACSName name, bool def = false) const;
    KUID GetChildKUID(ACSName name, const KUID& def = KUID::Null()) const;
    // Every value of the named child as floats / integers / KUIDs; false when none was read.
    bool GetChildFloats(ACSName name, std::vector<float>& out) const;
    bool GetChildInts(ACSName name, std::vector<int32_t>& out) const;
    bool GetChildKUIDs(ACSName name, std::vector<KUID>& out) const;

    // This tag's own value converted, for handles of data tags.
    Orvo::String GetString(std::string_view def = {}) const;
    int32_t GetInt(int32_t def = 0) const;
    float GetFloat(float def = 0.0f) const;
    bool GetBool(bool def = false) const;
    KUID GetKUID(const KUID& def = KUID::Null()) const;

    bool SetChildString(ACSName name, std::string_view value);
    bool SetChildInt(ACSName name, int32_t value);
    bool SetChildInts(ACSName name, const std::vector<int32_t>& values);
    bool SetChildFloat(ACSName name, float value);
    bool SetChildFloats(ACSName name, const float* values, size_t count);
    bool SetChildFloats(ACSName name, const std::vector<float>& values)
    {
        return SetChildFloats(name, values.data(), values.size());
    }
    bool SetChildBool(ACSName name, bool value);  // an integer 1 or 0
    bool SetChildKUID(ACSName name, const KUID& value);
    bool SetChildKUIDs(ACSName name, const std::vector<KUID>& values);
    bool SetChildBinary(ACSName name, const void* data, size_t size);
    bool SetChildNull(ACSName name);
    bool SetChildData(ACSName name, const ACSRawDataCore& data);
    // Stores the given tag itself (shared, not copied) under the name. False when that would make the
    // tree contain itself.
    bool SetChildTag(ACSName name, const TDBTagRef& tag);
    // Appends without looking for an existing child of the name.
    bool AddChildTag(ACSName name, const TDBTagRef& tag);
    // Removes the first child of that name; nothing when absent.
    void RemoveChild(ACSName name);
    // A new empty container appended under the name.
    TDBTagRef CreateChildContainer(ACSName name);

    // Gives an empty handle a new empty container; true when the handle then holds a container.
    bool EnsureContainer();
    // A deep copy (a new container holding copies of the children, for a container handle).
    TDBTagRef Clone() const;

    // The tree in the text config form, for display (names with line breaks are shown as they are).
    std::string ToText() const;
    void PrintToConsole() const;

    // All values of the child "camera" converted to floats, appended; true when at least one was read.
    static bool GetCameraFloats(const TDBTagRef& tree, std::vector<float>& out);

private:
    const ACSRawDataCore* ChildData(ACSName name) const;
    bool SetChildValue(ACSName name, ACSRawDataCore&& data);

    ACSChunk* p_ = nullptr;
};
