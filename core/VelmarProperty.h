#pragma once
// Named, reference-counted properties. Results carry one as their source (an asset-id property whose
// value text is the asset's KUID); VelmarPropertyRef is the counted handle that holds one.
#include "core/KUID.h"

#include "engine/PString.h"

#include <atomic>
#include <string>

class VelmarProperty
{
public:
    explicit VelmarProperty(Orvo::PString name) : name_(std::move(name)) {}
    VelmarProperty(const VelmarProperty&) = delete;
    VelmarProperty& operator=(const VelmarProperty&) = delete;

    void AddRef() const { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release() const
    {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    const Orvo::PString& GetName() const { return name_; }
    // The value as text.
    virtual std::string GetValueText() const = 0;

protected:
    virtual ~VelmarProperty() = default;

private:
    Orvo::PString name_;
    mutable std::atomic<int> refs_{0};
};

// A property whose value is a KUID; its value text is the KUID's "<kuid...>" form.
class VelmarPropertyAssetID : public VelmarProperty
{
public:
    VelmarPropertyAssetID(Orvo::PString name, int32_t userId, int32_t contentId, int32_t version)
        : VelmarProperty(std::move(name)), kuid_(userId, contentId, version)
    {}
    VelmarPropertyAssetID(Orvo::PString name, const KUID& kuid) : VelmarProperty(std::move(name)), kuid_(kuid) {}

    const KUID& GetKUID() const { return kuid_; }
    std::string GetValueText() const override { return kuid_.ToString(); }

private:
    KUID kuid_;
};

class VelmarPropertyRef
{
public:
    VelmarPropertyRef() = default;
    // Takes a reference of its own, so `new VelmarPropertyAssetID(...)` can be handed straight in.
    VelmarPropertyRef(const VelmarProperty* p) : p_(p)
    {
        if (p_) p_->AddRef();
    }
    VelmarPropertyRef(const VelmarPropertyRef& o) : VelmarPropertyRef(o.p_) {}
    VelmarPropertyRef(VelmarPropertyRef&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    VelmarPropertyRef& operator=(VelmarPropertyRef o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~VelmarPropertyRef()
    {
        if (p_) p_->Release();
    }

    const VelmarProperty* Get() const { return p_; }
    const VelmarProperty* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // The asset id held, or null when the property is none or not an asset id.
    const VelmarPropertyAssetID* AsAssetID() const { return dynamic_cast<const VelmarPropertyAssetID*>(p_); }
    // The value text, empty for no property.
    std::string GetValueText() const { return p_ ? p_->GetValueText() : std::string(); }

private:
    const VelmarProperty* p_ = nullptr;
};
