#pragma once
// Plug-in types: named, counted descriptors that the engine's plug-in system keeps in one registry,
// keyed by the id of the family they belong to and their name ("bmp" under the texture-reader id).
//
// The program contributes its own types through an exported function "OrvoGetPlugins", found in the
// running executable with dlsym(RTLD_DEFAULT); it is called once, on the first lookup.
#include "engine/AutoReference.h"
#include "engine/PString.h"
#include "engine/ReferenceCount.h"
#include "engine/UId.h"

#include <vector>

namespace Orvo {

class PluginType : public ReferenceCount
{
public:
    PluginType(const UId& familyId, const PString& name) : familyId_(familyId), name_(name) {}

    const UId& GetFamilyId() const { return familyId_; }
    const PString& GetName() const { return name_; }

private:
    UId familyId_;
    PString name_;
};

// The signature of the exported "OrvoGetPlugins": it hands each of its types to `add`.
using PluginAddFunction = void (*)(PluginType* type);
using GetPluginsFunction = void (*)(PluginAddFunction add);

class PluginBase
{
public:
    // The registered type with this family id and name (names compared exactly), with one reference
    // added for the caller, who gives it back with Release(); null when there is none.
    static PluginType* LookupPluginType(const UId& familyId, const PString& name);

    // Adds a type (the registry keeps a reference). A type with the same id and name replaces the older.
    static void RegisterPluginType(PluginType* type);
    // Drops every registered type and lets the next lookup ask the program again.
    static void UnregisterAll();
    static size_t RegisteredCount();
    // Every registered type of that family, in registration order.
    static std::vector<AutoReference<PluginType>> ListPluginTypes(const UId& familyId);
};

}  // namespace Orvo
