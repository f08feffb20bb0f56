#include "core/TDBDataTag.h"

ACSChunk* TDBDataTag::Clone() const
{
    auto* copy = new TDBDataTag(data_);
    copy->AddRef();
    return copy;
}

TDBDataTag* TDBDataTag::SharedNull()
{
    // One reference that is never dropped keeps it alive for the whole run.
    static TDBDataTag* const null = [] {
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
