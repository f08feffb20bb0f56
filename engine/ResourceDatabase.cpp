#include "engine/ResourceDatabase.h"

#include "engine/File.h"
#include "engine/ResourceSystem.h"

namespace Orvo {

ResourceDatabase::~ResourceDatabase()
{
    if (system_ != nullptr) system_->ForgetDatabase(this);
}

Resource* ResourceDatabase::Get(std::string_view resourceName, uint32_t mode)
{
    return system_ != nullptr ? system_->Get(resourceName, this, mode) : nullptr;
}

bool ResourceDatabase::Exists(std::string_view resourceName) const { return File::IsFile(GetFileName(resourceName)); }

std::string ResourceDatabase::GetFileName(std::string_view resourceName) const
{
    if (name_.empty()) return std::string(resourceName);
    std::string path(name_.View());
    path += ':';
    path += resourceName;
    return path;
}

}  // namespace Orvo
