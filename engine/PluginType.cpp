#include "engine/PluginType.h"

#include <dlfcn.h>

#include <mutex>
#include <vector>

namespace Orvo {
namespace {

struct Registry
{
    std::recursive_mutex lock;
    std::vector<PluginType*> types;
    bool programAsked = false;

    // The registry owns its types: they go with it at the end of the process.
    ~Registry()
    {
        for (PluginType* type : types) type->Release();
    }
};

Registry& TheRegistry()
{
    // Process-wide: the program's exported OrvoGetPlugins feeds one registry for every engine user.
    static Registry registry;
    return registry;
}

void AddFromProgram(PluginType* type) { PluginBase::RegisterPluginType(type); }

// Asks the running program for its plug-in types once. Called with the registry lock held (the lock
// is recursive because the program's function registers through RegisterPluginType).
void AskProgramOnce(Registry& r)
{
    if (r.programAsked) return;
    r.programAsked = true;
    void* symbol = dlsym(RTLD_DEFAULT, "OrvoGetPlugins");
    if (symbol != nullptr) reinterpret_cast<GetPluginsFunction>(symbol)(&AddFromProgram);
}

}  // namespace

PluginType* PluginBase::LookupPluginType(const UId& familyId, const PString& name)
{
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> hold(r.lock);
    AskProgramOnce(r);
    for (PluginType* type : r.types)
    {
        if (type->GetFamilyId() == familyId && type->GetName() == name)
        {
            type->AddRef();
            return type;
        }
    }
    return nullptr;
}

void PluginBase::RegisterPluginType(PluginType* type)
{
    if (type == nullptr) return;
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> hold(r.lock);
    type->AddRef();
    for (PluginType*& held : r.types)
    {
        if (held->GetFamilyId() == type->GetFamilyId() && held->GetName() == type->GetName())
        {
            held->Release();
            held = type;
            return;
        }
    }
    r.types.push_back(type);
}

void PluginBase::UnregisterAll()
{
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> hold(r.lock);
    for (PluginType* type : r.types) type->Release();
    r.types.clear();
    r.programAsked = false;
}

std::vector<AutoReference<PluginType>> PluginBase::ListPluginTypes(const UId& familyId)
{
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> hold(r.lock);
    AskProgramOnce(r);
    std::vector<AutoReference<PluginType>> out;
    for (PluginType* type : r.types)
        if (type->GetFamilyId() == familyId) out.emplace_back(type);
    return out;
}

size_t PluginBase::RegisteredCount()
{
    Registry& r = TheRegistry();
    std::lock_guard<std::recursive_mutex> hold(r.lock);
    return r.types.size();
}

}  // namespace Orvo
