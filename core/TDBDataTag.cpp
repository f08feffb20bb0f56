#include "core/TDBDataTag.h"

ACSChunk* TDBDataTag::Clone() const
{
    auto* copy = new TDBDataTag(data_);
    copy->AddRef();
    return copy;
}

TDBDataTag* TDBDataTag::SharedNull()
{
    // Process-wide, like the null value it stands for: one reference that is never dropped keeps it alive.
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
