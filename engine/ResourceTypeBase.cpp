#include "engine/ResourceTypeBase.h"

#include "engine/TextCase.h"

namespace Orvo {

const UId& ResourceTypeBase::FamilyId()
{
    static const UId id("52455354-5950-4520-8000-0000000000A1");
    return id;
}

ResourceTypeBase::ResourceTypeBase(const PString& extension, const UId& typeId, const UId& categoryId)
    : PluginType(FamilyId(), extension), typeId_(typeId), categoryId_(categoryId)
{}

bool ResourceTypeBase::IsTextForm() const
{
    const std::string_view ext = GetExtension().View();
    return ext.size() >= 3 && EqualsNoCase(ext.substr(ext.size() - 3), "txt");
}

bool ResourceTypeBase::Matches(std::string_view resourceName) const
{
    const std::string_view ext = GetExtension().View();
    if (ext.empty() || resourceName.size() < ext.size()) return false;
    if (!EqualsNoCase(resourceName.substr(resourceName.size() - ext.size()), ext)) return false;
    return resourceName.size() == ext.size() || resourceName[resourceName.size() - ext.size() - 1] == '.';
}

}  // namespace Orvo
