#include "core/TDBDataTag.h"

ACSChunk* TDBDataTag::Clone() const
{
    auto* copy = new TDBDataTag(data_);
    copy->AddRef();
    return copy;
}

const TDBDataTag* TDBDataTag::SharedNull()
{
    // Made once and never changed (SetData refuses it); one reference that is never dropped keeps it alive.
    static const TDBDataTag* const null = [] {
        auto* t = new TDBDataTag;
        t->AddRef();
        return t;
    }();
    return null;
}

bool TDBDataTag::SetData(const ACSRawDataCore& data)
{
    if (this == SharedNull()) return false;
    data_ = data;
    return true;
}

bool TDBDataTag::SetData(ACSRawDataCore&& data)
{
    if (this == SharedNull()) return false;
    data_ = std::move(data);
    return true;
}
