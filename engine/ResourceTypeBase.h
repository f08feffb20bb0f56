#pragma once
// Resource types: the plug-in types through which the resource system makes resources. Each names the
// file extension it serves ("im", "lm.txt"; compared without regard to case), its type id and its
// category id. Types are registered in the plug-in registry under the resource-type family
// (PluginBase::RegisterPluginType); the resource system picks the one whose extension is the longest
// that the resource name ends in, so "x.lm.txt" goes to the "lm.txt" type, not to a "txt" type.
#include "engine/PString.h"
#include "engine/PluginType.h"
#include "engine/UId.h"

#include <cstddef>
#include <new>
#include <string_view>

namespace Orvo {

class Resource;
class ResourceDatabase;

class ResourceTypeBase : public PluginType
{
public:
    // The family id under which resource types stand in the plug-in registry.
    static const UId& FamilyId();

    ResourceTypeBase(const PString& extension, const UId& typeId, const UId& categoryId);

    const PString& GetExtension() const { return GetName(); }
    const UId& GetTypeId() const { return typeId_; }
    const UId& GetCategoryId() const { return categoryId_; }
    // True when the extension is a text form (it ends in "txt"): such files are loaded with LoadTxt.
    bool IsTextForm() const;
    // True when `resourceName` is the extension itself or ends in "." + the extension (any case).
    bool Matches(std::string_view resourceName) const;

    // A new resource of this type (no reference taken yet); null when it cannot be made.
    virtual Resource* Create(const PString& name, ResourceDatabase* database) = 0;
    // The size of one resource object of this type.
    virtual size_t GetResourceSize() const = 0;
    // A resource made without a file; none by default.
    virtual Resource* CreateOnTheFly(const PString&, ResourceDatabase*) { return nullptr; }

private:
    UId typeId_;
    UId categoryId_;
};

// The resource type of one resource class R, constructed as R(name, database).
template <class R>
class ResourceType : public ResourceTypeBase
{
public:
    using ResourceTypeBase::ResourceTypeBase;

    Resource* Create(const PString& name, ResourceDatabase* database) override
    {
        return new (std::nothrow) R(name, database);
    }
    size_t GetResourceSize() const override { return sizeof(R); }
};

}  // namespace Orvo
