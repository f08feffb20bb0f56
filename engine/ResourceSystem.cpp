#include "engine/ResourceSystem.h"

#include "engine/File.h"
#include "engine/PluginType.h"
#include "engine/Resource.h"
#include "engine/ResourceDatabase.h"
#include "engine/ResourceTypeBase.h"
#include "engine/TextCase.h"

#include <vector>

namespace Orvo {
namespace {
bool FileExists(ResourceDatabase* database, std::string_view name)
{
    return database ? database->Exists(name) : File::IsFile(name);
}
}  // namespace

ResourceSystem::~ResourceSystem()
{
    Shutdown();
    std::lock_guard<std::mutex> hold(lock_);
    cache_.clear();
}

bool ResourceSystem::Init(const Options&)
{
    initialised_ = true;
    return true;
}

void ResourceSystem::Shutdown()
{
    if (initialised_) DumpUnusedResourcesFromCache();
    initialised_ = false;
}

ResourceTypeBase* ResourceSystem::FindType(std::string_view name)
{
    ResourceTypeBase* best = nullptr;
    for (const AutoReference<PluginType>& type : PluginBase::ListPluginTypes(ResourceTypeBase::FamilyId()))
    {
        auto* candidate = dynamic_cast<ResourceTypeBase*>(type.Get());
        if (candidate == nullptr || !candidate->Matches(name)) continue;
        if (best == nullptr || candidate->GetExtension().length() > best->GetExtension().length()) best = candidate;
    }
    if (best) best->AddRef();
    return best;
}

Resource* ResourceSystem::Get(std::string_view rawName, ResourceDatabase* database, uint32_t mode)
{
    const std::string name = Resource::ConvertResourceName(rawName);
    if (name.empty()) return nullptr;
    std::string lowered = name;
    LowerInPlace(lowered);
    const Key key(database, lowered);

    AutoReference<Resource> resource;
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto found = cache_.find(key);
        if (found != cache_.end()) resource = found->second;
    }
    if (!resource)
    {
        // The name's own file through the type of its extension, else its text form.
        std::string fileName = name;
        ResourceTypeBase* type = FileExists(database, name) ? FindType(name) : nullptr;
        if (type == nullptr)
        {
            fileName = name + ".txt";
            type = FileExists(database, fileName) ? FindType(fileName) : nullptr;
        }
        if (type == nullptr) return nullptr;
        Resource* made = type->Create(PString(name), database);
        if (made == nullptr)
        {
            type->Release();
            return nullptr;
        }
        made->type_ = type;  // takes the reference FindType added
        made->fileName_ = fileName;
        made->textForm_ = type->IsTextForm();
        std::lock_guard<std::mutex> hold(lock_);
        AutoReference<Resource>& slot = cache_[key];
        if (!slot) slot = made;  // another thread may have made it meanwhile: keep the first
        resource = slot;
        if (resource.Get() != made)
        {
            made->AddRef();
            made->Release();
        }
    }
    if ((mode & GetNoLoad) == 0 && resource->Lock() != Resource::LoadOk)
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto found = cache_.find(key);
        if (found != cache_.end() && found->second == resource) cache_.erase(found);
    }
    Resource* out = resource.Get();
    out->AddRef();
    return out;
}

size_t ResourceSystem::DumpUnusedResourcesFromCache()
{
    std::lock_guard<std::mutex> hold(lock_);
    size_t dropped = 0;
    for (auto it = cache_.begin(); it != cache_.end();)
    {
        if (it->second->GetRefCount() == 1)
        {
            it = cache_.erase(it);
            ++dropped;
        }
        else
            ++it;
    }
    return dropped;
}

size_t ResourceSystem::CachedCount() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return cache_.size();
}

void ResourceSystem::ForgetDatabase(const ResourceDatabase* database)
{
    std::lock_guard<std::mutex> hold(lock_);
    for (auto it = cache_.begin(); it != cache_.end();)
    {
        if (it->first.first == database)
            it = cache_.erase(it);
        else
            ++it;
    }
}

}  // namespace Orvo
