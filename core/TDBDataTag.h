#pragma once
// A soup node holding one value (ACSRawDataCore).
#include "core/ACSChunk.h"

class TDBDataTag : public ACSChunk
{
public:
    TDBDataTag() = default;
    explicit TDBDataTag(const ACSRawDataCore& data) : data_(data) {}
    explicit TDBDataTag(ACSRawDataCore&& data) : data_(std::move(data)) {}

    uint8_t GetType() const override { return data_.GetType(); }
    const ACSRawDataCore* GetData() const override { return &data_; }
    ACSRawDataCore& Data() { return data_; }
    // The shared null tag refuses to change.
    bool SetData(const ACSRawDataCore& data) override;
    bool SetData(ACSRawDataCore&& data) override;
    ACSChunk* Clone() const override;

    // The shared tag of type 0 that stands for "nothing" (never deleted, never changed).
    static const TDBDataTag* SharedNull();

protected:
    ~TDBDataTag() override = default;

private:
    ACSRawDataCore data_;
};
