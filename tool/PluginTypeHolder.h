#pragma once
// Holds one engine plug-in type, looked up by family id and name, from start-up to shutdown.
#include "engine/PString.h"
#include "engine/UId.h"

namespace Orvo {
class PluginType;
}

class PluginTypeHolder
{
public:
    // Looks the type up; holds it when found, nothing otherwise.
    PluginTypeHolder(const Orvo::UId& familyId, const Orvo::PString& name);
    ~PluginTypeHolder();
    PluginTypeHolder(const PluginTypeHolder&) = delete;
    PluginTypeHolder& operator=(const PluginTypeHolder&) = delete;

    Orvo::PluginType* Get() const { return type_; }
    // Takes `type` (already referenced for the holder), releasing the one held before.
    void Reset(Orvo::PluginType* type);

private:
    Orvo::PluginType* type_ = nullptr;
};
