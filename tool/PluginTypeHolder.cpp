#include "tool/PluginTypeHolder.h"

#include "engine/PluginType.h"

PluginTypeHolder::PluginTypeHolder(const Orvo::UId& familyId, const Orvo::PString& name)
{
    if (Orvo::PluginType* found = Orvo::PluginBase::LookupPluginType(familyId, name)) Reset(found);
}

PluginTypeHolder::~PluginTypeHolder() { Reset(nullptr); }

void PluginTypeHolder::Reset(Orvo::PluginType* type)
{
    Orvo::PluginType* old = type_;
    type_ = type;
    if (old != nullptr) old->Release();
}
